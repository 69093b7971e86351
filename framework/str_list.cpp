// The image and resolution lists: presets per run mode and the list commands.
#include "framework/str_list.h"

#include <iterator>

#include "framework/arg_number.h"
#include "framework/param_string.h"

namespace {

// Image presets 0 to 3 (1 and 3 are the same list).
const char* const kImagesPlain[] = {"HORZ_WEDGE_BLUE2RED", "RANDOM"};
const char* const kImagesFull[] = {
    "DIAGONAL_LINES",      "GRID",       "SOLID=(Y=400:CB=50:CR=640)", "HORZ_WEDGE",
    "HORZ_WEDGE_BLUE2RED", "HORZ_WEDGE_RED2BLUE", "VERT_WEDGE",        "VERT_WEDGE_BLUE2RED",
    "VERT_WEDGE_RED2BLUE", "RANDOM SEED=0x12345678", "RANDOM",
};
const char* const kImagesRegression[] = {"HORZ_WEDGE_BLUE2RED", "VERT_WEDGE_BLUE2RED", "RANDOM"};

// Resolution presets 0 to 3 (1 and 2 are the same list). Preset 3 keeps its historical, unsorted
// order: the tests run the sizes in this order.
const char* const kResolutionsPlain[] = {"DIM=(720,486)", "DIM=(720,576)"};
const char* const kResolutionsBroadcast[] = {
    "DIM=(720,480)", "DIM=(720,486)", "DIM=(720,576)", "DIM=(1280,720)", "DIM=(1440,1080)", "DIM=(1920,1080)",
};
const char* const kResolutionsAll[] = {
    "DIM=(160,120)",  "DIM=(64,64)",    "DIM=(256,4)",    "DIM=(320,180)",   "DIM=(320,240)",
    "DIM=(360,240)",  "DIM=(360,242)",  "DIM=(360,288)",  "DIM=(360,270)",   "DIM=(480,258)",
    "DIM=(480,270)",  "DIM=(512,384)",  "DIM=(640,360)",  "DIM=(640,480)",   "DIM=(720,480)",
    "DIM=(720,486)",  "DIM=(720,540)",  "DIM=(720,576)",  "DIM=(960,517)",   "DIM=(960,540)",
    "DIM=(1024,768)", "DIM=(1440,1080)", "DIM=(1280,720)", "DIM=(1920,1080)", "DIM=(2048,1536)",
};

struct Preset {
    const char* const* entries;
    int count;
};

template <size_t N>
constexpr Preset MakePreset(const char* const (&entries)[N]) {
    return {entries, static_cast<int>(N)};
}

const Preset kImagePresets[4] = {MakePreset(kImagesPlain), MakePreset(kImagesFull), MakePreset(kImagesRegression),
                                 MakePreset(kImagesFull)};
const Preset kResolutionPresets[4] = {MakePreset(kResolutionsPlain), MakePreset(kResolutionsBroadcast),
                                      MakePreset(kResolutionsBroadcast), MakePreset(kResolutionsAll)};

void AppendPreset(CStrList& list, const Preset& preset) {
    for (int i = 0; i < preset.count; ++i) list.Add(preset.entries[i]);
}

}  // namespace

CStrList::CStrList(const CStrList& other) {
    for (const CString& entry : other.m_entries) CStrList::Add(entry);
}

CStrList& CStrList::operator=(const CStrList& other) {
    // Copy first: emptying a list that is assigned to itself would lose every entry.
    std::vector<CString> entries = other.m_entries;
    FreeStrings();
    for (CString& entry : entries) Add(std::move(entry));
    return *this;
}

void CStrList::Add(CString entry) { m_entries.push_back(std::move(entry)); }

int CStrList::FreeStrings() {
    std::vector<CString>().swap(m_entries);
    return 0;
}

CString CStrList::GetAt(int index) const {
    if (index < 0 || index >= GetCount()) return CString();
    return m_entries[static_cast<size_t>(index)];
}

BOOL CStrList::DoCommand(CString command, CString& output) {
    if (command == "CLEAR") {
        FreeStrings();
        return TRUE;
    }
    if (command == "SHOW") {
        if (m_entries.empty()) output += "List is empty!\n";
        for (size_t i = 0; i < m_entries.size(); ++i)
            output.AppendFormat("Index[%d]\t%s\n", static_cast<int>(i), m_entries[i].c_str());
        return TRUE;
    }

    CParamString params(command);
    CString value;
    if (params.GetValue("REMOVE", value, FALSE)) {
        // Only the result tells of a failed REMOVE (the list command then ends with 2), except
        // for an index no int holds, which is refused in red rather than cut to one.
        const ArgNumber index = ReadArgValue(params, "REMOVE", platform::NumberForm::Decimal, platform::kSigned32Field);
        if (index.state == ArgRead::Refused) output += "~*RED*~" + index.refusal + "~*BLACK*~";
        if (index.state != ArgRead::Read || index.value < 0 || index.value >= GetCount()) return FALSE;
        m_entries.erase(m_entries.begin() + index.value);
        return TRUE;
    }
    if (params.GetValue("ADD", value, FALSE)) {
        Add(value);
        return TRUE;
    }
    return TRUE;
}

BOOL CStrListImages::SetDefaults(int preset, BOOL clear) {
    if (preset < 0 || preset >= static_cast<int>(std::size(kImagePresets))) return FALSE;
    if (clear == TRUE) FreeStrings();
    AppendPreset(*this, kImagePresets[preset]);
    return TRUE;
}

BOOL CStrListResolutions::SetDefaults(int preset) {
    if (preset < 0 || preset >= static_cast<int>(std::size(kResolutionPresets))) return FALSE;
    FreeStrings();
    AppendPreset(*this, kResolutionPresets[preset]);
    return TRUE;
}

int RunStrListCommand(CStrList& list, CString command, CStrListPrinter& out) {
    command.Trim();
    CString output;
    BOOL ok = list.DoCommand(command, output);
    if (!output.IsEmpty()) out.Print(output);
    return ok ? 1 : 2;
}

BOOL LoadStrListPresets(CStrListImages& images, CStrListResolutions& resolutions, int preset, CStrListPrinter& out) {
    BOOL ok = TRUE;
    if (!images.SetDefaults(preset, TRUE)) {
        out.Print("~*RED*~Image Mode is UNDEFINED\n~*BLACK*~");
        ok = FALSE;
    }
    if (!resolutions.SetDefaults(preset)) {
        out.Print("~*RED*~Resolution Mode is UNDEFINED\n~*BLACK*~");
        ok = FALSE;
    }
    return ok;
}
