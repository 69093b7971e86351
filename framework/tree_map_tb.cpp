// CWexalTreeMapTB: child map, command splitting, device binding and hand-over, "CmdLine" switches, buffered output.
#include "framework/tree_map_tb.h"

#include <cstring>
#include <vector>

#include "devlib/arg_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

// Mark-up does not survive the pre-host buffer, which reaches the host window as raw text; a
// private screen (never attached) strips the codes it knows.
CString StripMarkup(const CString& text) {
    if (text.Find("~*") < 0) return text;
    CResultScreen scratch;
    CString rest = text, plain;
    while (!rest.IsEmpty()) plain += scratch.NextSegment(rest);
    return plain;
}

}  // namespace

CWexalTreeMapTB::CWexalTreeMapTB(CString name) : m_children(std::make_unique<ChildMap>()), m_name(std::move(name)) {
    if (IsEngineering()) PrintColor("Create class " + m_name + "\n", kColorGreen);
}

CWexalTreeMapTB::~CWexalTreeMapTB() {
    CloseLogFiles();
    if (m_children) {
        RemoveFromMap();
        m_children.reset();
    }
}

void CWexalTreeMapTB::PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline) {
    if (!GetCachedOutputCtrl()) {
        BufferPreHostText(StripMarkup(text));
        return;
    }
    CTestBase::PrintStyled(text, colour, background, underline);
}

void CWexalTreeMapTB::PrintColor(CString text, COLORREF colour) {
    if (!GetCachedOutputCtrl()) {
        BufferPreHostText(StripMarkup(text));
        return;
    }
    CTestBase::PrintColor(text, colour);
}

void CWexalTreeMapTB::Print(CString text) {
    if (!GetCachedOutputCtrl()) {
        BufferPreHostText(StripMarkup(text));
        return;
    }
    CTestBase::Print(text);
}

CString CWexalTreeMapTB::ReadCmdLine() {
    std::vector<BYTE> bytes;
    if (!platform::ReadWholeFile("CmdLine", bytes)) return CString();
    bytes.push_back(0);
    return CString(reinterpret_cast<const char*>(bytes.data()));
}

BOOL CWexalTreeMapTB::HasSwitch(const char* upperSwitch) {
    CString text = ReadCmdLine();
    text.MakeUpper();
    return text.Find(upperSwitch) >= 0;
}

BOOL CWexalTreeMapTB::IsAutoRun() { return HasSwitch("-AUTORUN"); }

BOOL CWexalTreeMapTB::IsEngineering() { return HasSwitch("-ENGINEERING"); }

BOOL CWexalTreeMapTB::IsRegression() { return HasSwitch("-REGRESSION"); }

CString CWexalTreeMapTB::GetSwitchValue(CString name) {
    const CParamString switches(ReadCmdLine());
    CString value;
    if (switches.GetValue("/" + name, value, FALSE)) return value;
    if (switches.GetValue("-" + name, value, FALSE)) return value;
    return CString();
}

std::vector<CString>& CWexalTreeMapTB::GetSummary() { return m_summary; }

void CWexalTreeMapTB::ShowTestSummary(DWORD) {
    for (const CString& line : m_summary) Print(line);
}

CString CWexalTreeMapTB::GetName() { return m_name; }

void CWexalTreeMapTB::RefreshHostAttachment() { CTestRegistry::Instance().RefreshHostAttachment(GetResultScreen()); }

DWORD CWexalTreeMapTB::CopyBoardIF(CWexalTreeMapTB* source, CWexalTreeMapTB* destination) {
    if (destination) destination->m_boardIF.Copy(source ? &source->m_boardIF : nullptr);
    RefreshHostAttachment();
    return 1;
}

DWORD CWexalTreeMapTB::TakeBoardIF(CWexalTreeMapTB* source) {
    m_boardIF.Copy(source ? &source->m_boardIF : nullptr);
    RefreshHostAttachment();
    return 1;
}

DWORD CWexalTreeMapTB::SetupDevice(CString deviceText) {
    ArgumentList list;
    list.Set(deviceText);
    DWORD result = m_boardIF.ParseDevice(&list, 0, TRUE);
    if (result == kRunPassed) result = m_boardIF.GetBAR0(TRUE);
    if (result == kRunPassed) result = m_boardIF.GetSDRAM(TRUE);
    if (result == kRunPassed) {
        if (CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace()) {
            sdram->GetSDRAMPointer(KWO_RAMWIN_2, 0x1000000, 0x100);
        } else {
            PrintColor("ERROR:  SDRAM is NULL\n", kColorRed);
            result = 0;
        }
    }
    list.Reset();
    return result;
}

BOOL CWexalTreeMapTB::AddToMap(CWexalTreeMapTB* parent) {
    if (!parent || !parent->m_children) return FALSE;
    return parent->m_children->emplace(GetName(), this).second ? TRUE : FALSE;
}

BOOL CWexalTreeMapTB::RegisterSelf() { return AddToMap(this); }

BOOL CWexalTreeMapTB::RemoveFromMap() {
    if (!m_children) return FALSE;
    return m_children->erase(m_name) ? TRUE : FALSE;
}

CWexalBoardIF CWexalTreeMapTB::MakePartnerBoardIF() {
    CWexalBoardIF partner;
    partner.SetOwner(nullptr);
    partner.Clear();
    partner.Clear();
    partner.SetOwner(this);
    CZorvDevice* device = GetDevice();
    if (!device) return partner;

    const CString tag = device->GetTag();
    if (!tag.IsEmpty()) {
        const char last = tag[tag.GetLength() - 1];
        CString name;
        if (device->GetType() == CZorvDevice::DEVTYPE_BRIMOLA) name.Format("Nuxa%c", last);
        else if (device->GetType() == CZorvDevice::DEVTYPE_NUXA) name.Format("Brimola%c", last);
        partner.SelectDevice(name, TRUE);
        if (partner.GetBAR0(TRUE) != kRunPassed) partner.Clear();
        else if (partner.GetSDRAM(TRUE) != kRunPassed) partner.Clear();
        else if (CWexalSDRAMSpace* sdram = partner.GetWexalSDRAMSpace()) sdram->GetSDRAMPointer(KWO_RAMWIN_2, 0x1000000, 0x100);
        else partner.Clear();
    }
    return partner;
}

// The host's command for a record: the device name, one blank, free text, and the child test
// with its arguments in angle brackets: "Brimola1 Memory tests <CWexal Random Memory Test VERBOSE = 0>".
// Only a blank ends the object; a blank or a tab ends the child name, so a test taking no
// arguments is written "<MemTestB >": bracket text without one is all arguments and no child.
// Text after the last ">" is dropped. Without "<" child and arguments stay empty.
void CWexalTreeMapTB::SplitCommandLine(CString line, CString& object, CString& child, CString& arguments) {
    object.Empty();
    child.Empty();
    arguments.Empty();
    CString rest = line;
    const int blank = line.Find(' ');
    if (blank >= 0) {
        object = line.Left(blank);
        rest = line.Mid(blank + 1);
    }
    const int open = rest.Find('<');
    if (open < 0) return;
    CString bracket = rest.Mid(open + 1);
    const int close = bracket.ReverseFind('>');
    if (close >= 0) bracket = bracket.Left(close);
    const int end = bracket.FindOneOf(" \t");
    if (end >= 0) {
        child = bracket.Left(end);
        arguments = bracket.Mid(end + 1);
    } else {
        arguments = bracket;
    }
}

CTestBase* CWexalTreeMapTB::FindTest(CString line, CString& object, CString& child, CString& arguments) {
    object.Empty();
    child.Empty();
    arguments.Empty();
    CString o, c, a;
    SplitCommandLine(line, o, c, a);
    if (!m_children) return nullptr;
    const auto found = m_children->find(c);
    if (found == m_children->end()) return nullptr;
    object = o;
    child = c;
    arguments = a;
    return found->second;
}

void CWexalTreeMapTB::PrintDateTime(COLORREF colour) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const struct tm t = platform::LocalTime();
    if (t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mon < 0 || t.tm_mon > 11) return;
    CString text;
    text.Format("%s %s %d, %d %d:%02d:%02d\n", kDays[t.tm_wday], kMonths[t.tm_mon], t.tm_mday, t.tm_year + 1900,
                t.tm_hour, t.tm_min, t.tm_sec);
    PrintColor(text, colour);
}

CWexalTreeMapTB::Block32 CWexalTreeMapTB::ReturnBlock32(const Block32* source) {
    Block32 copy{};
    if (source) copy = *source;
    return copy;
}

DWORD* CWexalTreeMapTB::CopyBlock32(DWORD* destination, const DWORD* source) {
    if (!destination) return nullptr;
    if (source) std::memcpy(destination, source, 8 * sizeof(DWORD));
    return destination + 8;
}

CWexalTreeMapTB::OneDword CWexalTreeMapTB::ReturnOne() { return OneDword{1}; }

CProgressCtrl* GetProgressCtrl() {
    CBrimolaTestsApp* app = AfxGetApp();
    CWnd* main = app ? app->GetMainWnd() : nullptr;
    return main ? dynamic_cast<CProgressCtrl*>(main->GetDlgItem(kProgressCtrlId)) : nullptr;
}
