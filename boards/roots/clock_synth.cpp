// The boards' I2C clock synthesiser settings.
#include "boards/roots/clock_synth.h"

#include "framework/arg_number.h"
#include "platform/number_text.h"

namespace clocksynth {

namespace {

struct FixedRow {
    const char* name;
    DWORD referenceHz;
    BYTE values[8];  // registers 0-7; register 2 is written again with 0xB0 added, then plain
};

constexpr FixedRow kFixedRows[] = {
    {"40,100Mhz", 40000000, {0x02, 0x10, 0x03, 0x14, 0x00, 0x33, 0x00, 0x00}},
    {"40,110Mhz", 40000000, {0x04, 0x10, 0x02, 0x21, 0x00, 0x33, 0x00, 0x00}},
    {"40,133Mhz", 40000000, {0x28, 0x10, 0x02, 0x8F, 0x01, 0x22, 0x00, 0x00}},
    {"40,166Mhz", 40000000, {0x0A, 0x10, 0x01, 0x53, 0x00, 0x33, 0x00, 0x00}},
    {"40,80Mhz", 40000000, {0x02, 0x10, 0x04, 0x14, 0x00, 0x33, 0x00, 0x00}},
    {"40,90Mhz", 40000000, {0x02, 0x10, 0x03, 0x12, 0x00, 0x33, 0x00, 0x00}},
    {"80,80Mhz", 80000000, {0x04, 0x10, 0x04, 0x14, 0x00, 0x33, 0x00, 0x00}},
    {"80,100Mhz", 80000000, {0x04, 0x10, 0x03, 0x14, 0x00, 0x33, 0x00, 0x00}},
    {"80,105Mhz", 80000000, {0x08, 0x10, 0x02, 0x21, 0x00, 0x33, 0x00, 0x00}},  // the same as 110
    {"80,110Mhz", 80000000, {0x08, 0x10, 0x02, 0x21, 0x00, 0x33, 0x00, 0x00}},
    {"80,120Mhz", 80000000, {0x04, 0x10, 0x02, 0x12, 0x00, 0x33, 0x00, 0x00}},
    {"80,125Mhz", 80000000, {0x10, 0x10, 0x02, 0x48, 0x00, 0x33, 0x00, 0x00}},
    {"80,130Mhz", 80000000, {0x08, 0x10, 0x02, 0x27, 0x00, 0x33, 0x00, 0x00}},
    {"80,133Mhz", 80000000, {0x50, 0x10, 0x02, 0x8F, 0x01, 0x22, 0x00, 0x00}},
    {"80,150Mhz", 80000000, {0x08, 0x10, 0x01, 0x1E, 0x00, 0x33, 0x00, 0x00}},
    {"80,160Mhz", 80000000, {0x04, 0x10, 0x01, 0x10, 0x00, 0x33, 0x00, 0x00}},
};
static_assert(std::size(kFixedRows) + 1 == kSettingRows);

using platform::FieldScan;
using platform::NumberFit;

// A synthesiser register holds a byte: the value written to it is refused past that, never cut.
constexpr platform::NumberField kRegisterValueField{0, 0xFF};

// Whether text at p begins with the literal; p moves past it when it does.
bool Skip(const char*& p, const char* literal) {
    const char* q = p;
    for (; *literal; ++literal, ++q)
        if (*q != *literal) return false;
    p = q;
    return true;
}

// One register line, blanks and line ends removed and upper-cased, read as "REG[0X%02X]=0X%02X",
// "REG[%X]=0X%02X" or "REG[%d]=0X%02X" (together: a hexadecimal register, then "]=0X" and the
// value), else as "REG[%d]=%X" for whatever that gives. Every number is read whole: one its field
// does not hold is refused (false, refusal set) instead of being cut to its first digits.
bool ReadRegisterLine(CString line, RegisterWrite& write, CString& refusal) {
    line.MakeUpper();
    for (char c : {'\r', '\n', '\t', ' '}) line.Remove(c);
    const char* const text = line.c_str();
    // The refusal names the number as written: "REG=<register>" or "REG[<register>]=<value>".
    auto refuse = [&](const char* from, const FieldScan& scan, platform::NumberField field) {
        const int at = static_cast<int>(from - text);
        const int close = line.Find(']');
        const CString name = at == 4 ? CString("REG") : line.Left(close + 1);
        refusal = RefusedArgument(name, line.Mid(at, static_cast<int>(scan.end - from)), field);
        return false;
    };
    const char* p = text;
    if (!Skip(p, "REG[")) return true;
    const char* const registerText = p;
    const FieldScan hexReg = platform::ReadField(registerText, platform::NumberForm::Hex, platform::kUnsigned32Field);
    if (hexReg.fit != NumberFit::None) {
        const char* q = hexReg.end;
        const char* const valueText = q + 2;  // its "0X" is part of the value as written
        if (Skip(q, "]=0X")) {
            const FieldScan value = platform::ReadField(q, platform::NumberForm::Hex, kRegisterValueField);
            if (value.fit != NumberFit::None) {
                if (hexReg.fit == NumberFit::OutOfRange) return refuse(registerText, hexReg, platform::kUnsigned32Field);
                if (value.fit == NumberFit::OutOfRange) return refuse(valueText, value, kRegisterValueField);
                write = {static_cast<DWORD>(hexReg.value), static_cast<DWORD>(value.value)};
                return true;
            }
        }
    }
    const FieldScan reg = platform::ReadField(registerText, platform::NumberForm::Decimal, platform::kUnsigned32Field);
    if (reg.fit == NumberFit::OutOfRange) return refuse(registerText, reg, platform::kUnsigned32Field);
    if (reg.fit == NumberFit::None) return true;
    DWORD value = write.value;
    p = reg.end;
    if (Skip(p, "]=")) {
        const FieldScan read = platform::ReadField(p, platform::NumberForm::Hex, kRegisterValueField);
        if (read.fit == NumberFit::OutOfRange) return refuse(p, read, kRegisterValueField);
        if (read.fit == NumberFit::Fits) value = static_cast<DWORD>(read.value);
    }
    write = {static_cast<DWORD>(reg.value), value};
    return true;
}

}  // namespace

std::array<Setting, kSettingRows> MakeSettings() {
    std::array<Setting, kSettingRows> rows;
    rows[0].name = "Reserved";
    for (size_t i = 0; i < std::size(kFixedRows); ++i) {
        Setting& row = rows[i + 1];
        row.name = kFixedRows[i].name;
        row.referenceHz = kFixedRows[i].referenceHz;
        for (DWORD r = 0; r < 8; ++r) row.writes[r] = {r, kFixedRows[i].values[r]};
        row.writes[8] = {2, kFixedRows[i].values[2] + 0xB0u};
        row.writes[9] = {2, kFixedRows[i].values[2]};
    }
    return rows;
}

CString ReadRegisterFile(const CString& text, Setting& row0, CString* refusal) {
    CString mode, refused;
    int next = 0;
    int start = 0;
    while (start <= text.GetLength() && refused.IsEmpty()) {
        int end = text.Find('\n', start);
        if (end < 0) end = text.GetLength();
        const CString line = text.Mid(start, end - start);
        start = end + 1;
        if (line.IsEmpty()) continue;
        if (line.Left(5) == "MODE=") {
            mode = line.Mid(5).Left(Setting::kMaxName);  // the row's name holds no more
            row0.name = mode;
        } else if (line.Left(10) == "FREQUENCY=") {
            const ArgNumber hz =
                ReadArgAfter(line, "FREQUENCY=", platform::NumberForm::Decimal, platform::kUnsigned32Field, "FREQUENCY");
            if (hz.state == ArgRead::Refused) refused = hz.refusal;
            if (hz.state == ArgRead::Read) row0.referenceHz = static_cast<DWORD>(hz.value);
        } else if (next < Setting::kWrites) {  // the row holds ten writes; later lines are ignored
            ReadRegisterLine(line, row0.writes[static_cast<size_t>(next++)], refused);
        }
    }
    if (refusal) *refusal = refused;
    return mode;
}

double ClockHz(const Setting& setting) {
    const auto value = [&](int i) { return setting.writes[static_cast<size_t>(i)].value; };
    const double q = value(0) + 256.0 * (value(1) & 0x0F);
    if (q == 0) return 0;  // no divider programmed: no defined clock
    const int post = (value(1) >> 6) & 3;
    const double a = (value(2) & 0x0F) + 1.0;
    const double b = ((value(2) >> 4) & 0x0F) + 1.0;
    const double p = value(3) + 256.0 * (value(4) & 0x3F);
    return setting.referenceHz * p / ((1 << post) * a * b * q);
}

}  // namespace clocksynth
