// CResultScreen: mark-up parsing, formatted runs, taps and host notifications.
#include "framework/result_screen.h"

#include <cstring>

namespace {

enum MarkupKind { kTextColour = 1, kBackColour = 2, kUnderlineOn = 3, kUnderlineOff = 4 };

struct MarkupEntry {
    std::string_view name;
    int kind;
    DWORD value;
};

// The 15 colours as text colours, then as backgrounds, then the two underline switches.
constexpr MarkupEntry kMarkupTable[32] = {
    {"BLACK", kTextColour, 0x000000},        {"DKGRAY", kTextColour, 0x606060},
    {"GRAY", kTextColour, 0x909090},         {"LTGRAY", kTextColour, 0xC0C0C0},
    {"WHITE", kTextColour, 0xFFFFFF},        {"DKRED", kTextColour, 0x0000C0},
    {"RED", kTextColour, 0x0000FF},          {"LTRED", kTextColour, 0x8080FF},
    {"DKYELLOW", kTextColour, 0x00C0E8},     {"YELLOW", kTextColour, 0x00F0FF},
    {"LTYELLOW", kTextColour, 0x80FFFF},     {"GREEN", kTextColour, 0x00A000},
    {"DKBLUE", kTextColour, 0x900000},       {"BLUE", kTextColour, 0xFF0000},
    {"LTBLUE", kTextColour, 0xFFC8BE},
    {"BACK_BLACK", kBackColour, 0x000000},   {"BACK_DKGRAY", kBackColour, 0x606060},
    {"BACK_GRAY", kBackColour, 0x909090},    {"BACK_LTGRAY", kBackColour, 0xC0C0C0},
    {"BACK_WHITE", kBackColour, 0xFFFFFF},   {"BACK_DKRED", kBackColour, 0x0000C0},
    {"BACK_RED", kBackColour, 0x0000FF},     {"BACK_LTRED", kBackColour, 0x8080FF},
    {"BACK_DKYELLOW", kBackColour, 0x00C0E8}, {"BACK_YELLOW", kBackColour, 0x00F0FF},
    {"BACK_LTYELLOW", kBackColour, 0x80FFFF}, {"BACK_GREEN", kBackColour, 0x00A000},
    {"BACK_DKBLUE", kBackColour, 0x900000},  {"BACK_BLUE", kBackColour, 0xFF0000},
    {"BACK_LTBLUE", kBackColour, 0xFFC8BE},
    {"ULINE", kUnderlineOn, CFE_UNDERLINE},  {"NO_ULINE", kUnderlineOff, CFE_UNDERLINE},
};

const MarkupEntry* FindMarkup(std::string_view name) {
    for (const MarkupEntry& e : kMarkupTable)
        if (e.name == name) return &e;
    return nullptr;
}

std::string_view TrimBlanks(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\n";
    size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

constexpr std::string_view kOpener = "~*";
constexpr std::string_view kCloser = "*~";
// The window keeps this many lines above the end in view.
constexpr int kVisibleLines = 40;

}  // namespace

CHARFORMAT2 CResultScreen::InitialFormat() {
    CHARFORMAT2 cf;
    cf.cbSize = sizeof(CHARFORMAT2);
    // Size, colour, face, charset, background and every effect bit: each run is written with all
    // effects off except underline as dwEffects says.
    cf.dwMask = 0xEC03006F;
    cf.dwEffects = 0;
    cf.yHeight = 180;
    cf.yOffset = 0;
    cf.crTextColor = kColorBlack;
    cf.bCharSet = 255;
    cf.bPitchAndFamily = 0x31;  // modern family, fixed pitch
    std::strncpy(cf.szFaceName, "Courier New", sizeof cf.szFaceName - 1);
    cf.crBackColor = kColorWhite;
    return cf;
}

CResultScreen::CResultScreen() : m_format(InitialFormat()) {}

CResultScreen::~CResultScreen() = default;

CRichEditCtrl* CResultScreen::GetHostRichEdit() const {
    return m_host ? m_host->GetOutputCtrl() : nullptr;
}

uintptr_t CResultScreen::NotifyHost(uintptr_t value) {
    CRichEditCtrl* ctrl = GetHostRichEdit();
    if (!ctrl) return 0;
    long start = 0, end = 0;
    ctrl->GetSel(start, end);
    uintptr_t result = m_host->Notify(1, value);
    ctrl->SetSel(start, end);
    return result;
}

uintptr_t CResultScreen::NotifyHostResult(uintptr_t value, BOOL clear) {
    if (!m_host) return 0;
    if (clear == 1) Clear();
    return m_host->Notify(2, value);
}

BOOL CResultScreen::Clear() {
    CRichEditCtrl* ctrl = GetHostRichEdit();
    if (!ctrl) return FALSE;
    ctrl->SetSel(0, -1);
    ctrl->ReplaceSel("", false);
    return TRUE;
}

void CResultScreen::AppendToHostWindow(const CString& text) {
    CRichEditCtrl* ctrl = GetHostRichEdit();
    if (!ctrl || text.IsEmpty()) return;
    long end = ctrl->GetTextLength();
    ctrl->SetSel(end, end);
    ctrl->ReplaceSel(text.c_str(), false);
    ctrl->SetSel(end, ctrl->GetTextLength());
}

void CResultScreen::AppendRun(std::string_view run, CRichEditCtrl* ctrl) {
    m_runBuffer.assign(run);
    long end = ctrl->GetTextLength();
    ctrl->SetSel(end, end);
    ctrl->ReplaceSel(m_runBuffer.c_str(), false);
    ctrl->SetSel(end, ctrl->GetTextLength());
    ctrl->SetSelectionCharFormat(m_format);
    ctrl->LineScroll(ctrl->GetLineCount() - kVisibleLines, 0);
}

std::string_view CResultScreen::NextSegmentOf(std::string_view& rest) {
    size_t searchFrom = 0;
    for (;;) {
        size_t open = rest.find(kOpener, searchFrom);
        size_t close = open == std::string_view::npos ? open : rest.find(kCloser, open + kOpener.size());
        if (close == std::string_view::npos) {
            std::string_view all = rest;
            rest = {};
            return all;
        }
        // Of several openers before one closer the last wins ("~*~*RED*~" prints "~*" then sets red).
        for (size_t next = rest.find(kOpener, open + 1);
             next != std::string_view::npos && next + kOpener.size() <= close;
             next = rest.find(kOpener, next + 1))
            open = next;

        size_t nameStart = open + kOpener.size();
        const MarkupEntry* entry = FindMarkup(TrimBlanks(rest.substr(nameStart, close - nameStart)));
        if (!entry) {
            // An unknown name stays in the text and is printed as it stands.
            searchFrom = close + kCloser.size();
            continue;
        }
        if (open > 0) {
            std::string_view before = rest.substr(0, open);
            rest.remove_prefix(open);
            return before;
        }
        switch (entry->kind) {
        case kTextColour: m_format.crTextColor = entry->value; break;
        case kBackColour: m_format.crBackColor = entry->value; break;
        case kUnderlineOn: m_format.dwEffects |= entry->value; break;
        case kUnderlineOff: m_format.dwEffects &= ~entry->value; break;
        }
        rest.remove_prefix(close + kCloser.size());
        searchFrom = 0;
        if (rest.empty()) return {};
    }
}

CString CResultScreen::NextSegment(CString& rest) {
    std::string_view view(rest.str());
    CString segment(std::string(NextSegmentOf(view)));
    rest = CString(std::string(view));
    return segment;
}

void CResultScreen::Print(const CString& text) {
    CRichEditCtrl* ctrl = GetHostRichEdit();
    std::string_view rest(text.str());
    while (!rest.empty()) {
        std::string_view run = NextSegmentOf(rest);
        if (!run.empty() && ctrl) AppendRun(run, ctrl);
    }
}

void CResultScreen::PrintColor(const CString& text, COLORREF colour) {
    CHARFORMAT2 saved = m_format;
    m_format.dwEffects &= ~CFE_UNDERLINE;
    m_format.crTextColor = colour;
    tagSOutputTap tap;
    tap.colour = colour;
    tap.format = m_format;
    tap.text = text;
    if (m_taps.size() == kKeptTaps) m_taps.pop_front();
    m_taps.push_back(std::move(tap));
    Print(text);
    m_format = saved;
}

void CResultScreen::PrintStyled(const CString& text, COLORREF colour, COLORREF background, BOOL underline) {
    CString styled;
    if (underline == 1) styled += "~*ULINE*~";
    for (const ColourName& c : kColourTable) {
        if (colour == c.value) styled += CString("~*") + c.name + "*~";
        if (background == c.value) styled += CString("~*BACK_") + c.name + "*~";
    }
    styled += text;
    CHARFORMAT2 saved = m_format;
    Print(styled);
    m_format = saved;
}

void CResultScreen::ClearOutputTaps() { m_taps.clear(); }

CResultScreen& GetResultScreen() {
    static CResultScreen screen;
    return screen;
}

namespace {
// Built at load, after the objects that publish tests, like the library's other statics.
struct ResultScreenAtLoad {
    ResultScreenAtLoad() { GetResultScreen(); }
} s_resultScreenAtLoad;
}  // namespace
