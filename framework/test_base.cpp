// CTestBase: default print slots, report helpers (header, rule, compare dumps), list and number readers.
#include "framework/test_base.h"

#include <algorithm>
#include <ctime>
#include <memory>

#include "framework/result_screen.h"
#include "platform/clock.h"
#include "platform/number_text.h"

namespace {
// Created by the first early print, dropped when GetTestList takes it.
constinit std::unique_ptr<CString> g_preHostText;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How reading a number went: a value, no number there, or a number too wide for its field.
enum class NumberRead { kValue, kNone, kTooWide };

NumberRead ReadOf(const platform::FieldScan& scan) {
    return scan.fit == platform::NumberFit::Fits ? NumberRead::kValue
           : scan.fit == platform::NumberFit::None ? NumberRead::kNone
                                                    : NumberRead::kTooWide;
}

// A 32-bit word in hexadecimal as "%x" reads it: leading white space, an optional sign and "0x",
// then digits; a negative word wraps as "%x" stores it. Digits past 32 bits are too wide, never cut.
NumberRead ReadHex32(const char* s, DWORD& value) {
    constexpr platform::NumberField kWord{-0xFFFFFFFFll, 0xFFFFFFFFll};
    const platform::FieldScan scan = platform::ReadField(s, platform::NumberForm::Hex, kWord);
    if (scan.fit == platform::NumberFit::Fits) value = static_cast<DWORD>(scan.value);
    return ReadOf(scan);
}

// Signed 64-bit decimal, digits up to the first non-digit; none reads as 0.
NumberRead ReadDecimal(const char* s, ULONGLONG& value) {
    const platform::FieldScan scan =
        platform::ReadField(s, platform::NumberForm::Decimal, platform::NumberField{INT64_MIN, INT64_MAX});
    value = static_cast<ULONGLONG>(scan.value);
    return scan.fit == platform::NumberFit::OutOfRange ? NumberRead::kTooWide : NumberRead::kValue;
}

// ParseNumber, telling a number too wide for 64 bits from text that holds none.
NumberRead ReadNumber(CString text, ULONGLONG& value, int mode) {
    value = 0;
    if (text.IsEmpty()) return NumberRead::kNone;
    bool prefixed = text.GetLength() > 2 && text[1] == 'x';
    if (mode != 1 && !prefixed) return ReadDecimal(text.c_str(), value);
    if (mode == 0) text = text.Mid(2);
    if (text.GetLength() > 8) text.TrimRight();
    DWORD high = 0, low = 0;
    if (text.GetLength() <= 8) {
        const NumberRead hex = ReadHex32(text.c_str(), low);
        if (hex != NumberRead::kNone) return value = low, hex;
        return ReadDecimal(text.c_str(), value);
    }
    const NumberRead highRead = ReadHex32(text.Left(text.GetLength() - 8).c_str(), high);
    const NumberRead lowRead = ReadHex32(text.Right(8).c_str(), low);
    if (highRead == NumberRead::kTooWide || lowRead == NumberRead::kTooWide) return NumberRead::kTooWide;
    if (highRead != NumberRead::kValue || lowRead != NumberRead::kValue) return NumberRead::kNone;
    value = (static_cast<ULONGLONG>(high) << 32) | low;
    return NumberRead::kValue;
}

// The index-th item of list and GetListNumber's reading of it.
NumberRead ReadListItem(const CString& list, int index, int mode, CString& item, ULONGLONG& value) {
    value = 0;
    if (!CTestBase::GetListItem(list, index, item)) return NumberRead::kNone;
    if (!item.IsEmpty() && !IsDigit(item[0])) return NumberRead::kNone;
    return ReadNumber(item, value, mode);
}

// Titles of the "all" dump: the column title after the n-th "%s" of the header format (up to 8
// characters, ending at the next conversion), dots trimmed off both ends.
CString TitleAfter(const CString& format, int nth, const char* fallback) {
    int at = -2;
    for (int i = 0; i < nth; ++i) {
        at = format.Find("%s", at + 2);
        if (at < 0) return fallback;
    }
    CString title = format.Mid(at + 2, 8).SpanExcluding("%");
    title.TrimLeft('.');
    title.TrimRight('.');
    return title.IsEmpty() ? CString(fallback) : title;
}
}  // namespace

CTestBase::~CTestBase() = default;

void CTestBase::ClearOutputTaps() { GetResultScreen().ClearOutputTaps(); }

void CTestBase::EmptyHook() {}

DWORD CTestBase::Help(CString subTest) {
    (void)subTest;
    ShowHelp();
    return kRunPassed;
}

void CTestBase::ShowHelp() {}

void CTestBase::PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline) {
    GetResultScreen().PrintStyled(text, colour, background, underline);
}

void CTestBase::PrintColor(CString text, COLORREF colour) { GetResultScreen().PrintColor(text, colour); }

void CTestBase::Print(CString text) { GetResultScreen().Print(text); }

void CTestBase::PrintTimeStamp() {
    struct tm now = platform::LocalTime();
    CString stamp;
    stamp.Format("%02d/%02d - %02d:%02d:%02d", now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    PrintColor(stamp, kColorBlack);
}

void CTestBase::PrintHeader(CString description, CString name) {
    ClearOutputTaps();
    if (name.IsEmpty()) name = m_codeName;
    PrintBlack(CString('-', 72));
    PrintTimeStamp();
    CString line;
    if (name.GetLength() + description.GetLength() > 52)
        line.Format("\t%s\n    (%s)\n", name.c_str(), description.c_str());
    else
        line.Format("\t%s (%s)", name.c_str(), description.c_str());
    PrintBlack(line);
}

void CTestBase::PrintCompare(const char* headerFormat, const char* addressFormat, DWORD base, DWORD step,
                             int perLine, int count, const DWORD* expected, const DWORD* actual) {
    if (count < 1 || !expected || !actual) return;
    const CString header = headerFormat ? headerFormat : "   %sExpected%s  %s.Actual.%s\n";
    const char* address = addressFormat ? addressFormat : "  ";
    if (perLine < 1 || perLine > 10) perLine = 8;

    CString piece;
    if (std::all_of(expected, expected + count, [&](DWORD v) { return v == expected[0]; })) {
        piece.Format(" %s is all %8.8X.  %s is:\n", TitleAfter(header, 1, "Expected").c_str(), expected[0],
                     TitleAfter(header, 3, "Actual").c_str());
        PrintColor(piece, kColorBlack);
        for (int row = 0; row < count; row += perLine) {
            piece.Format(address, base + static_cast<DWORD>(row) * step);
            PrintColor(piece, kColorBlack);
            for (int i = row; i < std::min(count, row + perLine); ++i) {
                piece.Format(" %8.8X", actual[i]);
                PrintColor(piece, actual[i] != expected[0] ? kColorRed : kColorBlack);
            }
            PrintColor("\n", kColorBlack);
        }
        return;
    }

    const int pairs = std::max(perLine & ~1, 2) / 2;
    const int filler = std::clamp((5 - pairs) * 9, 0, 36);
    const CString dotsA('.', 18 - (filler + 1) / 2);
    const CString dotsB('.', 18 - filler / 2);
    piece.Format(header.c_str(), dotsA.c_str(), dotsB.c_str(), dotsA.c_str(), dotsB.c_str());
    PrintColor(piece, kColorBlack);
    for (int row = 0; row < count; row += pairs) {
        piece.Format(address, base + static_cast<DWORD>(row) * step);
        piece += ' ';
        for (int i = row; i < row + pairs; ++i) {
            if (i < count) piece.AppendFormat("%8.8X ", expected[i]);
            else piece += "         ";
        }
        PrintColor(piece, kColorBlack);
        for (int i = row; i < std::min(count, row + pairs); ++i) {
            piece.Format(" %8.8X", actual[i]);
            PrintColor(piece, actual[i] != expected[i] ? kColorRed : kColorBlack);
        }
        PrintColor("\n", kColorBlack);
    }
}

void CTestBase::PrintCompareDwords(int count, const DWORD* expected, const DWORD* actual) {
    PrintCompare(nullptr, nullptr, 0, 0, 8, count, expected, actual);
}

void CTestBase::PrintRule(int width, int unused, COLORREF colour) {
    (void)unused;
    if (width < 0 || width > 80) width = 72;
    PrintColor(CString('=', width) + "\n", colour);
}

void CTestBase::PrintGreen(CString text) { PrintColor(text + "\n", kColorGreen); }
void CTestBase::PrintRed(CString text) { PrintColor(text + "\n", kColorRed); }
void CTestBase::PrintBlack(CString text) { PrintColor(text + "\n", kColorBlack); }

void CTestBase::PrintColorFormat(COLORREF colour, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    PrintColor(text, colour);
}

BOOL CTestBase::GetListItem(CString list, int index, CString& item) {
    item.Empty();
    if (list.IsEmpty()) return FALSE;
    for (int i = 0; i < index; ++i) {
        int comma = list.Find(',');
        if (comma < 0) return FALSE;
        list = list.Mid(comma + 1);
    }
    int comma = list.Find(',');
    item = comma < 0 ? list : list.Left(comma);
    item.TrimLeft();
    return TRUE;
}

BOOL CTestBase::GetListNumber(CString list, int index, ULONGLONG& value, int mode) {
    CString item;
    if (ReadListItem(list, index, mode, item, value) == NumberRead::kValue) return TRUE;
    value = 0;
    return FALSE;
}

ArgNumber CTestBase::ReadListNumber(CString list, int index, int mode, platform::NumberField field, const char* name) {
    ArgNumber number;
    CString item;
    ULONGLONG value = 0;
    const NumberRead read = ReadListItem(list, index, mode, item, value);
    if (read == NumberRead::kNone) return number;
    if (read == NumberRead::kValue && value >= static_cast<ULONGLONG>(field.min) && value <= static_cast<ULONGLONG>(field.max)) {
        number.state = ArgRead::Read;
        number.value = static_cast<long long>(value);
        return number;
    }
    number.state = ArgRead::Refused;
    number.refusal = RefusedArgument(name, item.SpanExcluding(" \t"), field);
    return number;
}

BOOL CTestBase::GetListRange(CString list, int index, ULONGLONG& from, ULONGLONG& to, int mode) {
    from = to = 0;
    CString item;
    if (!GetListItem(list, index, item)) return FALSE;
    item.TrimLeft();
    if (item.IsEmpty() || (!IsDigit(item[0]) && item[0] != '-')) return FALSE;
    int dash = item.Find('-');
    if (dash < 0) {
        if (!ParseNumber(item, from, mode)) return FALSE;
        to = from;
        return TRUE;
    }
    if (dash > 0 && !ParseNumber(item.Left(dash), from, mode)) return FALSE;
    // Nothing readable after the dash leaves the range open upwards; a number too wide for it
    // is no open end but a mistake.
    switch (ReadNumber(item.Mid(dash + 1), to, mode)) {
    case NumberRead::kValue: break;
    case NumberRead::kNone: to = ~0ull; break;
    case NumberRead::kTooWide: from = to = 0; return FALSE;
    }
    return TRUE;
}

BOOL CTestBase::ParseNumber(CString text, ULONGLONG& value, int mode) {
    if (ReadNumber(text, value, mode) == NumberRead::kValue) return TRUE;
    value = 0;
    return FALSE;
}

void CTestBase::BufferPreHostText(const CString& text) {
    if (!g_preHostText) g_preHostText = std::make_unique<CString>();
    *g_preHostText += text;
}

CString CTestBase::TakePreHostText(BOOL release) {
    if (!g_preHostText) return CString();
    CString text = *g_preHostText;
    if (release) g_preHostText.reset();
    return text;
}
