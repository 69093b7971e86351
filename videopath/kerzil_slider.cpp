// The keyer's slider sheet: field layout, slider arithmetic, register scripts and the dialog verbs.
#include "videopath/kerzil_slider.h"

#include <algorithm>
#include <climits>
#include <new>
#include <stdexcept>
#include <string>

#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "images/file_error.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "platform/number_text.h"

namespace {

constexpr const char* kScriptExt = "zorvds";
constexpr const char* kHueName = "Hue Angle";

// Where a field lives and how the page labels and prints it.
struct FieldInfo {
    const char* name;
    DWORD intBits;
    DWORD fracBits;
    DWORD isSigned;
    DWORD reg;  // offset in the context block
    DWORD shift;
    const char* left;
    const char* right;
    const char* format;
};

constexpr FieldInfo kField[CKerzilSliderDlg::kFields] = {
    {"Alpha Mult", 1, 10, 0, 0x1C, 0, "0", "1.999", "%f"},
    {"Cb Slope #1", 2, 12, 1, 0x0C, 0, "-2", "+1.999", "%f"},
    {"Cb Slope #2", 2, 12, 1, 0x0C, 16, "-2", "+1.999", "%f"},
    {"Cr Slope #1", 2, 12, 1, 0x08, 0, "-2", "+1.999", "%f"},
    {"Cr Slope #2", 2, 12, 1, 0x08, 16, "-2", "+1.999", "%f"},
    {"Cb Suppress", 11, 0, 1, 0x14, 0, "-512", "511", "%3.0f"},
    {"Cr Suppress", 11, 0, 1, 0x14, 16, "-512", "511", "%3.0f"},
    {"Luma Limit", 10, 0, 0, 0x18, 0, "0", "1023", "%4.0f"},
    {"Luma Peak Suppress", 10, 0, 0, 0x18, 16, "0", "1023", "%4.0f"},
    {"Compare Slope", 10, 0, 1, 0x10, 0, "-512", "511", "%3.0f"},
    {"YCK Mode", 3, 0, 0, 0x10, 16, "0", "7", "%1.0f"},
    {"Offset", 2, 12, 1, 0x04, 16, "-2", "+1.999", "%f"},
    {"YScale", 1, 12, 1, 0x04, 0, "-1", "+0.999", "%f"},
};

// The seven registers in the order scripts hold them and loads write them: the low field, then
// the high one (-1 when the register has only one).
struct ScriptRegister {
    const char* comment;
    DWORD reg;
    int low;
    int high;
};
constexpr ScriptRegister kScript[CKerzilSliderDlg::kRegisters] = {
    {"KERZIL_YCK_A_C3_ALPHA_MULT_R", 0x1C, 0, -1},
    {"KERZIL_YCK_A_C3_CB_SLOPE_R", 0x0C, 1, 2},
    {"KERZIL_YCK_A_C3_CRCB_SUPRESS_R", 0x14, 5, 6},
    {"KERZIL_YCK_A_C3_CR_SLOPE_R", 0x08, 3, 4},
    {"KERZIL_YCK_A_C3_MODE_CS_R", 0x10, 9, 10},
    {"KERZIL_YCK_A_C3_OFFSET_YSCALE_R", 0x04, 12, 11},
    {"KERZIL_YCK_A_C3_YSUPRESS_LL_R", 0x18, 7, 8},
};

DWORD Mask(int index) { return (DWORD(1) << CKerzilSliderDlg::Width(index)) - 1; }

// Runs the file dialog; its answer is not looked at, so Cancel gives the empty name.
CString AskScriptPath(bool save) {
    platform::FileDialog dialog(save, kScriptExt, "", "");
    platform::DoModal(dialog);
    return dialog.GetPathNameWithExt();
}

void ReportUnopened(const CString& path) {
    CString text;
    text.Format("Unable to open file:\r\r\n  %s", path.c_str());
    platform::MessageBox(text.c_str(), "ERROR", platform::MB_OK | platform::MB_TOPMOST);
}

// A whole word that is one decimal number: Fits when it lies in 0..max, OutOfRange for any other
// number (however many digits), None when the word is no number.
platform::FieldScan WholeNumber(const CString& word, int max) {
    platform::FieldScan n = platform::ReadField(word.c_str(), platform::NumberForm::Decimal, {0, max});
    if (n.fit != platform::NumberFit::None && *n.end != '\0') n.fit = platform::NumberFit::None;
    return n;
}

// A field by its index ("3") or its name in any case ("cb slope #2"); -1 when none. The Hue Angle
// slider answers kFields.
int FieldByWord(const CString& word) {
    const platform::FieldScan n = WholeNumber(word, CKerzilSliderDlg::kFields - 1);
    if (n.fit != platform::NumberFit::None) return n.fit == platform::NumberFit::Fits ? int(n.value) : -1;
    for (int i = 0; i < CKerzilSliderDlg::kFields; ++i)
        if (word.CompareNoCase(kField[i].name) == 0) return i;
    return word.CompareNoCase(kHueName) == 0 ? CKerzilSliderDlg::kFields : -1;
}

// A slider position or page in 0..max. A number past max is refused as the lists refuse one,
// naming name and the range; for a word that is no number error stays empty, for the caller's usage.
bool ParsePosition(const CString& word, const char* name, int max, int& position, CString& error) {
    const platform::FieldScan n = WholeNumber(word, max);
    if (n.fit == platform::NumberFit::OutOfRange) {
        error = RefusedArgument(name, word, {0, max});
        error.TrimRight();
    }
    if (n.fit != platform::NumberFit::Fits) return false;
    position = int(n.value);
    return true;
}

}  // namespace

CKerzilSliderDlg::CKerzilSliderDlg() {
    for (int i = 0; i < kFields; ++i) m_Desc[i] = {kField[i].intBits, kField[i].fracBits, kField[i].isSigned};
}

int CKerzilSliderDlg::Width(int index) {
    if (index < 0 || index >= kFields) return -1;
    return int(kField[index].intBits + kField[index].fracBits);
}

const char* CKerzilSliderDlg::FieldName(int index) { return index >= 0 && index < kFields ? kField[index].name : ""; }

RegisterPtr CKerzilSliderDlg::SetRegisterBlock(DWORD offset, RegisterPtr regs) {
    const RegisterPtr previous = m_pRegs;
    m_RegOffset = offset;
    m_pRegs = regs;
    m_offsetLabel.Format("BAR0 Offset:  0x%08X", offset);
    // READHW=4294967297 is no 1: only the number typed counts.
    const ArgNumber readHw =
        ReadArgValue(CParamString(m_ArgText), "READHW", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (readHw.state == ArgRead::Read && readHw.value == 1) ReadAllFields();
    else ClearAllFields();
    RefreshTexts();
    return previous;
}

void CKerzilSliderDlg::SetField(int index, DWORD value) {
    const FieldInfo& f = kField[index];
    const RegisterRef reg = m_pRegs[f.reg / 4];
    const DWORD mask = Mask(index) << f.shift;
    reg = (reg.Read() & ~mask) | ((value << f.shift) & mask);
    m_Value[index] = value;
}

DWORD CKerzilSliderDlg::GetField(int index, BOOL cached) {
    if (!cached) m_Value[index] = (m_pRegs[kField[index].reg / 4].Read() >> kField[index].shift) & Mask(index);
    return m_Value[index];
}

void CKerzilSliderDlg::ReadAllFields() {
    for (int i = 0; i < kFields; ++i) GetField(i, FALSE);
}

void CKerzilSliderDlg::ClearAllFields() {
    for (int i = 0; i < kFields; ++i) SetField(i, 0);
}

DWORD CKerzilSliderDlg::SliderToField(int index, int position) {
    const DWORD v = DWORD(position);  // the slider's minimum is 0
    if (!kField[index].isSigned) return v;
    const DWORD half = (Mask(index) + 1) / 2;
    return v < half ? v | half : v - half;  // half is the sign bit
}

double CKerzilSliderDlg::Interpret(int index, DWORD raw) {
    const FieldInfo& f = kField[index];
    const DWORD r = raw & 0xFFFF;
    if (f.fracBits == 0) {
        if (!f.isSigned || f.intBits >= 32 || !(r & (DWORD(1) << (f.intBits - 1)))) return double(r);
        return double(r) - double(DWORD(1) << f.intBits);
    }
    const double scale = double(DWORD(1) << f.fracBits);
    const DWORD whole = r >> f.fracBits;
    const double fraction = double(r - (whole << f.fracBits)) / scale;
    if (!f.isSigned || !(r & (DWORD(1) << (f.intBits + f.fracBits - 1)))) return double(whole) + fraction;
    return fraction - (double(DWORD(1) << f.intBits) - double(whole));
}

void CKerzilSliderDlg::RefreshTexts() {
    if (!m_pRegs) return;
    for (int i = 0; i < kFields; ++i) {
        if (m_bHex) m_valueText[i].Format("0x%04X", m_Value[i]);
        else m_valueText[i].Format(kField[i].format, Interpret(i, m_Value[i]));
    }
}

void CKerzilSliderDlg::SliderChanged(int index, int position) {
    m_position[index] = position;
    const DWORD value = SliderToField(index, position);
    if (value == GetField(index, TRUE)) return;
    SetField(index, value);
    RefreshTexts();
}

void CKerzilSliderDlg::HueChanged(int position) {
    m_huePosition = position;
    m_hueText.Format("%d", position);
    RefreshTexts();
}

void CKerzilSliderDlg::SetHex(BOOL hex) {
    m_bHex = hex;
    RefreshTexts();
}

CString CKerzilSliderDlg::ComposeScript() const {
    CString text;
    text.Format("#SCRIPT \"YCK %s\"\n", m_contextLabel.c_str());
    for (const ScriptRegister& r : kScript) {
        DWORD value = m_Value[r.low] & Mask(r.low);
        if (r.high >= 0) value |= (m_Value[r.high] & Mask(r.high)) << 16;
        text.AppendFormat("\n;%s\nBAR0 %05X = %08X\n", r.comment, m_RegOffset + r.reg, value);
    }
    text += "\n#ENDSCRIPT\n";
    return text;
}

void CKerzilSliderDlg::SaveScript() {
    const CString path = AskScriptPath(true);
    if (path.IsEmpty()) {
        ReportUnopened(path);
        return;
    }
    // The script replaces the file only whole: one that cannot be written leaves it as it was.
    const CString text = ComposeScript();
    const images_detail::SaveOutcome saved =
        images_detail::SaveWhole(path, [&](CFile& file) { return file.Write(text.c_str(), UINT(text.GetLength())) ? 1 : 0; });
    if (!saved.opened) {
        ReportUnopened(path);
    } else if (saved.result != 1) {
        CString message;
        message.Format("Unable to write file:\r\r\n  %s\r\r\n", path.c_str());
        platform::MessageBox(images_detail::SaveFailureText(message, saved.error).c_str(), "ERROR", platform::MB_OK | platform::MB_TOPMOST);
    }
}

void CKerzilSliderDlg::LoadScript() {
    const CString path = AskScriptPath(false);
    CFile file;
    if (path.IsEmpty() || !file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) {
        ReportUnopened(path);
        return;
    }
    // The script is taken as one CString: a longer file is refused whole, never read in part.
    if (file.GetLength() > INT_MAX) {
        CString text;
        text.Format("Unable to read file:\r\r\n  %s\r\r\nIt is more than 2 GiB, larger than a script may be.", path.c_str());
        platform::MessageBox(text.c_str(), "ERROR", platform::MB_OK | platform::MB_TOPMOST);
        return;
    }
    std::string text;
    try {
        text.resize(size_t(file.GetLength()));
    } catch (const std::bad_alloc&) {
        return;  // abandoned silently, as a load that cannot have its memory
    } catch (const std::length_error&) {
        return;
    }
    text.resize(file.Read(text.data(), UINT(text.size())));
    file.Close();
    const CString script(text);  // ends at the first NUL, as the text the original scanned did
    for (const ScriptRegister& r : kScript) {
        const DWORD value = FindRegisterValue(script, m_RegOffset + r.reg);
        SetField(r.low, value & Mask(r.low));
        if (r.high >= 0) SetField(r.high, (value >> 16) & Mask(r.high));
    }
    RefreshTexts();
}

DWORD CKerzilSliderDlg::FindRegisterValue(const CString& script, DWORD offset) {
    CString key;
    key.Format("BAR0 %05X =", offset);
    const int at = script.Find(key.c_str());
    if (at < 0) return 0;
    const int start = at + key.GetLength();
    // The last line of a file need not end in a line feed: its value runs to the end of the text.
    const int lineEnd = script.Find('\n', start);
    CString value = lineEnd < 0 ? script.Mid(start) : script.Mid(start, lineEnd - start);
    value.Trim();
    // A value past 32 bits makes the line unreadable, as text that is no number does: never cut to fit.
    const platform::FieldScan read =
        platform::ReadField(value.c_str(), platform::NumberForm::Hex, platform::kUnsigned32Field);
    return read.fit == platform::NumberFit::Fits ? DWORD(read.value) : 0;
}

CString CKerzilSliderDlg::Describe() const {
    CString s;
    s.Format("%s  %s\nDisplay: %s\n", m_contextLabel.c_str(), m_offsetLabel.c_str(),
             m_bHex ? "Hexadecimal" : "Interpreted");
    for (int i = 0; i < kFields; ++i)
        s.AppendFormat("%2d %-18s slider %5d of 0..%-5u [%s .. %s]  %s\n", i, kField[i].name, m_position[i],
                       unsigned(Mask(i)), kField[i].left, kField[i].right, m_valueText[i].c_str());
    s.AppendFormat("   %-18s slider %5d of 0..%-5d [0 .. 360]  %s\n", kHueName, m_huePosition, kHueMax,
                   m_hueText.c_str());
    return s;
}

COptionsSheetKerzilSlider::COptionsSheetKerzilSlider(CString args, DWORD firstOffset, RegisterPtr firstRegister,
                                                     void* parent) {
    (void)parent;
    for (int i = 0; i < kPages; ++i) {
        CString label;
        label.Format("Context #%d", i);
        m_pages[i].SetContextLabel(label);
        m_pages[i].SetArgText(args);
        m_pages[i].SetRegisterBlock(firstOffset + 0x40 * DWORD(i), firstRegister + 0x10 * i);
    }
}

int COptionsSheetKerzilSlider::DoModal() { return platform::DoModal(*this); }

CString COptionsSheetKerzilSlider::Describe() const {
    CString s;
    s.Format("Page %d of %d (every tab reads \"#\")\n", m_active, kPages);
    s += m_pages[m_active].Describe();
    s += "Actions: page <0-14>, release <field> <position>, hue <position>, hex \"Hexadecimal\", interpreted "
         "\"Interpreted\", save \"Save Script\", load \"Load Script\", ok, cancel\n"
         "Disabled: set \"Set\" (each field), setall \"Set All\", readhw \"Read HW\"\n";
    return s;
}

bool COptionsSheetKerzilSlider::Apply(const platform::DialogAction& action, CString& error) {
    const CString& verb = action.verb;
    const auto& args = action.args;
    CKerzilSliderDlg& page = m_pages[m_active];
    if (verb == "page") {
        int n = 0;
        if (args.size() != 1 || !ParsePosition(args[0], "page", kPages - 1, n, error)) {
            if (error.IsEmpty()) error.Format("Give a page from 0 to %d", kPages - 1);
            return false;
        }
        m_active = n;
        return true;
    }
    if (verb == "release" || verb == "hue") {
        const bool hue = verb == "hue";
        if (args.size() != (hue ? 1u : 2u)) {
            error = hue ? "Give the slider position" : "Give a field and the slider position";
            return false;
        }
        const int field = hue ? CKerzilSliderDlg::kFields : FieldByWord(args[0]);
        if (field < 0) {
            error.Format("No slider \"%s\"", args[0].c_str());
            return false;
        }
        const bool hueSlider = field == CKerzilSliderDlg::kFields;
        const int max = hueSlider ? CKerzilSliderDlg::kHueMax : int(Mask(field));
        int position = 0;
        if (!ParsePosition(args.back(), hueSlider ? kHueName : kField[field].name, max, position, error)) {
            if (error.IsEmpty()) error.Format("The slider runs from 0 to %d", max);
            return false;
        }
        if (hueSlider) page.HueChanged(position);
        else page.SliderChanged(field, position);
        return true;
    }
    if (verb == "hex" || verb == "hexadecimal" || verb == "interpreted") {
        page.SetHex(verb != "interpreted");
        return true;
    }
    if (verb == "save" || verb == "load") {
        if (verb == "save") page.SaveScript();
        else page.LoadScript();
        return true;
    }
    // "Set", "Set All" and "Read HW" are laid out disabled and have no action behind them.
    if (verb == "set" || verb == "setall" || verb == "readhw") {
        error.Format("\"%s\" is disabled", verb == "set" ? "Set" : verb == "setall" ? "Set All" : "Read HW");
        return false;
    }
    error = "Unknown action";
    return false;
}
