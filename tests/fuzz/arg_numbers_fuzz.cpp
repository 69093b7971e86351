// Fuzz target arg_numbers: the readers of the tests' numeric arguments, against a reading of the digits of their own.
#include <cstdlib>
#include <cstring>
#include <string>

#include "devlib/arg_list.h"
#include "framework/arg_number.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

using platform::NumberFit;
using platform::NumberForm;

// The fields the tests' numbers land in: int, 32-bit word, a frame count, a colour, and the widest.
constexpr platform::NumberField kFields[] = {platform::kSigned32Field, platform::kUnsigned32Field, {1, 15}, {0, 0xFFFFFF},
                                             {INT64_MIN, INT64_MAX}};
constexpr NumberForm kForms[] = {NumberForm::Decimal, NumberForm::Hex, NumberForm::Prefixed, NumberForm::Either};

// The number the text types in the form, worked out digit by digit in 128 bits (a magnitude past
// 2^100 stays there, beyond every field). False when the form sees no number there.
bool Typed(const char* text, NumberForm form, __int128& value) {
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    bool negative = false;
    if (form != NumberForm::Prefixed && (*p == '-' || *p == '+')) negative = *p++ == '-';
    const bool prefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::strchr("0123456789abcdefABCDEF", p[2]) && p[2];
    int base = 10;
    if (form == NumberForm::Prefixed && !prefix) return false;
    if (form == NumberForm::Hex || (prefix && form != NumberForm::Decimal)) base = 16;
    if (prefix && base == 16) p += 2;
    const __int128 cap = static_cast<__int128>(1) << 100;
    __int128 magnitude = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        const char c = *p;
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        if (d >= base) break;
        magnitude = magnitude > cap ? magnitude : magnitude * base + d;
    }
    if (digits == 0) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

// The reader's answer must be the typed number when it fits, and a refusal exactly when it does not.
bool Agrees(const char* text, NumberForm form, platform::NumberField field) {
    const platform::FieldScan scan = platform::ReadField(text, form, field);
    __int128 typed = 0;
    if (!Typed(text, form, typed)) return scan.fit == NumberFit::None;
    const bool inside = typed >= field.min && typed <= field.max;
    if (!inside) return scan.fit == NumberFit::OutOfRange;
    return scan.fit == NumberFit::Fits && scan.value == typed;
}

}  // namespace

int FuzzArgNumbers(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    for (NumberForm form : kForms)
        for (const platform::NumberField& field : kFields)
            if (!Agrees(text.c_str(), form, field)) {
                std::fprintf(stderr, "broken promise: a value is either refused or equals the number typed\n");
                return 1;
            }
    // The readers over a test's whole text: a read value is always inside its field.
    const CString command(text);
    const ArgNumber frames = ReadArgAfter(command, "FRAMES=", NumberForm::Decimal, {1, 15}, "FRAMES");
    const ArgNumber verbose = ReadArgValue(CParamString(command), "VERBOSE", NumberForm::Decimal, platform::kSigned32Field);
    const ArgNumber address = ReadArgValue(CParamString(command), "ADDRESS", NumberForm::Prefixed, platform::kUnsigned32Field);
    const int dimAt = command.Find("DIM=(");
    const ArgSize dim = dimAt >= 0 ? ReadArgSize(command.c_str() + dimAt + 5, false, {1, 2048}, "DIM") : ArgSize{};
    if ((frames.state == ArgRead::Read && (frames.value < 1 || frames.value > 15)) ||
        (verbose.state == ArgRead::Read && (verbose.value < INT32_MIN || verbose.value > INT32_MAX)) ||
        (address.state == ArgRead::Read && (address.value < 0 || address.value > UINT32_MAX)) ||
        (dim.state == ArgRead::Read && (dim.x < 1 || dim.x > 2048 || dim.y < 1 || dim.y > 2048)) ||
        ((frames.state == ArgRead::Refused) == frames.refusal.IsEmpty()))
        return std::fprintf(stderr, "broken promise: a read argument lies inside its field\n"), 1;
    // The parser's int list (a decimal int, or a 0x word kept as its bits): the value is the number
    // typed, or the assignment comes back whole. Texts with blanks or '=' would hold more words.
    if (text.find_first_of(" \t\r\n=") != std::string::npos) return 0;
    ArgListValues values("VAL", 1);
    values.SetDefaultVal(7);
    ArgListArg* const table[] = {&values, nullptr};
    ArgumentList list;
    char* leftover = nullptr;
    const std::string assignment = "VAL=" + text;
    list.HandleOptArgs(table, assignment.c_str(), &leftover);
    const bool refused = leftover && std::strncmp(leftover, "VAL=", 4) == 0;
    std::free(leftover);
    __int128 typed = 0;
    if (!Typed(text.c_str(), NumberForm::Either, typed)) return refused ? (std::fprintf(stderr, "broken promise: only numbers are refused\n"), 1) : 0;
    const char* digits = text.c_str() + (text[0] == '-' || text[0] == '+');
    const bool hex = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const bool fits = typed >= INT32_MIN && typed <= (hex ? __int128{UINT32_MAX} : __int128{INT32_MAX});
    if (refused == fits || (fits && values[0] != static_cast<int>(static_cast<uint32_t>(typed))))
        return std::fprintf(stderr, "broken promise: a list value is the number typed or refused\n"), 1;
    return 0;
}
