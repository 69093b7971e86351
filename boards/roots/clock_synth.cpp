// The boards' I2C clock synthesiser settings.
#include "boards/roots/clock_synth.h"

#include <cstdio>

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

// One register line, blanks and line ends removed and upper-cased, in the first form that gives
// both numbers; the last form is taken for whatever it gives.
void ReadRegisterLine(CString line, RegisterWrite& write) {
    line.MakeUpper();
    for (char c : {'\r', '\n', '\t', ' '}) line.Remove(c);
    unsigned reg = 0, value = 0;
    for (const char* format : {"REG[0X%02X]=0X%02X", "REG[%X]=0X%02X", "REG[%d]=0X%02X"}) {
        if (std::sscanf(line.c_str(), format, &reg, &value) == 2) {
            write = {reg, value};
            return;
        }
    }
    int decimalReg = static_cast<int>(write.reg);
    value = write.value;
    std::sscanf(line.c_str(), "REG[%d]=%X", &decimalReg, &value);
    write = {static_cast<DWORD>(decimalReg), value};
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

CString ReadRegisterFile(const CString& text, Setting& row0) {
    CString mode;
    int next = 0;
    int start = 0;
    while (start <= text.GetLength()) {
        int end = text.Find('\n', start);
        if (end < 0) end = text.GetLength();
        const CString line = text.Mid(start, end - start);
        start = end + 1;
        if (line.IsEmpty()) continue;
        if (line.Left(5) == "MODE=") {
            mode = line.Mid(5).Left(Setting::kMaxName);  // the row's name holds no more
            row0.name = mode;
        } else if (line.Left(10) == "FREQUENCY=") {
            unsigned long hz = 0;
            if (std::sscanf(line.Mid(10).c_str(), "%lu", &hz) == 1) row0.referenceHz = static_cast<DWORD>(hz);
        } else if (next < Setting::kWrites) {  // the row holds ten writes; later lines are ignored
            ReadRegisterLine(line, row0.writes[static_cast<size_t>(next++)]);
        }
    }
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
