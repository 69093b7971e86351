// Argument parser: word splitting, the optional-argument pass and the value readers of the argument classes.
#include "devlib/arg_list.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/number_text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

enum NumberScan { kNoNumber, kNumber, kTooLong };

using platform::DigitValue;
using platform::FieldScan;
using platform::NumberFit;
using platform::NumberForm;

constexpr platform::NumberField kAnyInt64{INT64_MIN, INT64_MAX};

// A decimal or 0x-hexadecimal number with an optional sign, read by the shared number reader;
// blanks before it are not skipped here (an argument's value starts at its '=').
FieldScan ScanNumber(const char* text, platform::NumberField field) {
    if (IsBlank(*text)) return FieldScan{NumberFit::None, 0, text, false};
    return platform::ReadField(text, NumberForm::Either, field);
}

// A number for an int value: signed decimal within int, or 0x hexadecimal up to 0xFFFFFFFF (a
// 32-bit word kept as its bit pattern). kTooLong for a number that does not fit: casting it would
// turn 4294967297 into 1.
NumberScan ReadIntValue(const char*& text, int& value) {
    const FieldScan scan = ScanNumber(text, kAnyInt64);
    if (scan.fit == NumberFit::None) return kNoNumber;
    const platform::NumberField field = scan.hex ? platform::NumberField{INT32_MIN, UINT32_MAX} : platform::kSigned32Field;
    if (scan.fit != NumberFit::Fits || scan.value < field.min || scan.value > field.max) return kTooLong;
    value = static_cast<int>(static_cast<uint32_t>(scan.value));
    text = scan.end;
    return kNumber;
}

}  // namespace

ArgListArg::ArgListArg(const char* name, int syntax) : m_syntax(static_cast<DWORD>(syntax)) {
    std::snprintf(m_name, sizeof m_name, "%s", name ? name : "");
}

void ArgListArg::SetDown() { m_occurrences = 0; }

void ArgListArg::PrepForOptArgs() { m_occurrences = 0; }

void ArgListArg::HandleFlag(BOOL on) {
    ++m_occurrences;
    m_flag = on ? 1 : 0;
}

const char* ArgListArg::HandleAssign(const char* text) {
    const char* p = SetupAssign(text);
    GotoNextNonWhite(p);
    int v = 0;
    const NumberScan scan = ReadIntValue(p, v);
    if (scan == kTooLong) return Refuse(text, true);
    if (scan == kNumber) {
        m_flag = v;
    } else {
        static const struct { const char* word; int value; } kWords[] = {
            {"on", 1}, {"off", 0}, {"true", 1}, {"false", 0}, {"yes", 1}, {"no", 0}};
        for (const auto& w : kWords) {
            const size_t n = std::strlen(w.word);
            if (strncasecmp(p, w.word, n) == 0 && !IsNameChar(p[n])) {
                m_flag = w.value;
                p += n;
                break;
            }
        }
    }
    DoPostAssign(p);
    return p;
}

CString ArgListArg::HelpFlag() {
    if (m_syntax != ARG_FLAG) return CString();
    CString s;
    s.Format("    [-]%s\n", m_name);
    return s;
}

const char* ArgListArg::SetupAssign(const char* text) {
    ++m_occurrences;
    return text;
}

void ArgListArg::DoPostAssign(const char*&) {
    if (m_callback) m_callback(this, m_context);
}

char ArgListArg::GetNextNonWhite(const char*& text) {
    if (!text) return 0;
    while (IsBlank(*text)) ++text;
    if (!*text) return 0;
    return *text++;
}

char ArgListArg::GotoNextNonWhite(const char*& text) {
    if (!text) return 0;
    while (IsBlank(*text)) ++text;
    return *text;
}

BOOL ArgListArg::ReadNumber(const char*& text, long long* value) {
    if (!text) return FALSE;
    const FieldScan scan = ScanNumber(text, kAnyInt64);
    if (scan.fit != NumberFit::Fits) return FALSE;
    *value = scan.value;
    text = scan.end;
    return TRUE;
}

const char* ArgListArg::Refuse(const char* text, bool counted) {
    if (counted) --m_occurrences;
    m_refused = true;
    return text;
}

bool ArgListArg::TakeRefused() {
    const bool refused = m_refused;
    m_refused = false;
    return refused;
}

ArgListValues::ArgListValues(const char* name, int count, int syntax)
    : ArgListArg(name, syntax), m_values(new int[static_cast<size_t>(count > 0 ? count : 1)]()), m_count(count > 0 ? count : 0) {}

ArgListValues::ArgListValues(const ArgListValues& other)
    : ArgListArg(other), m_values(new int[static_cast<size_t>(other.m_count > 0 ? other.m_count : 1)]()), m_count(other.m_count) {
    std::copy(other.m_values, other.m_values + m_count, m_values);
}

ArgListValues& ArgListValues::operator=(const ArgListValues& other) {
    if (this == &other) return *this;
    ArgListArg::operator=(other);
    int* values = new int[static_cast<size_t>(other.m_count > 0 ? other.m_count : 1)]();
    std::copy(other.m_values, other.m_values + other.m_count, values);
    delete[] m_values;
    m_values = values;
    m_count = other.m_count;
    return *this;
}

ArgListValues::~ArgListValues() {
    ArgListValues::SetDown();
    delete[] m_values;
}

void ArgListValues::SetDefaultVal(int value) {
    for (int i = 0; i < m_count; ++i) m_values[i] = value;
}

const char* ArgListValues::HandleAssign(const char* text) {
    const char* p = SetupAssign(text);
    // All or nothing: a list with one number out of range leaves every value as it was.
    std::vector<int> values(m_values, m_values + m_count);
    for (int i = 0; i < m_count; ++i) {
        GotoNextNonWhite(p);
        if (ReadIntValue(p, values[static_cast<size_t>(i)]) == kTooLong) return Refuse(text, true);
        const char* q = p;
        if (GotoNextNonWhite(q) != ',') break;
        p = q + 1;
    }
    std::copy(values.begin(), values.end(), m_values);
    DoPostAssign(p);
    return p;
}

ArgListString::ArgListString(const char* name, int syntax, const char* value) : ArgListArg(name, syntax), m_value(value) {}

const char* ArgListString::HandleAssign(const char* text) {
    const char* p = SetupAssign(text);
    GotoNextNonWhite(p);
    const char* start = p;
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        if (close) {
            m_value = CString(p + 1, static_cast<int>(close - p - 1));
            p = close + 1;
        } else {
            m_value = p + 1;
            p += std::strlen(p);
        }
    } else {
        while (*p && !IsBlank(*p)) ++p;
        m_value = CString(start, static_cast<int>(p - start));
    }
    DoPostAssign(p);
    return p;
}

ArgListKeyword::ArgListKeyword(const char* name, const void* table, int rowSize)
    : ArgListArg(name, ARG_ASSIGN), m_table(static_cast<const BYTE*>(table)), m_rowSize(rowSize) {
    if (m_table && m_rowSize >= static_cast<int>(sizeof(const char*))) {
        while (GetKeywordUnchecked(m_count)) ++m_count;
    }
    m_index = m_count;
}

const char* ArgListKeyword::GetKeywordUnchecked(int i) const {
    const char* text = nullptr;
    std::memcpy(&text, m_table + static_cast<size_t>(i) * static_cast<size_t>(m_rowSize), sizeof text);
    return text;
}

const char* ArgListKeyword::GetKeyword(int i) const {
    if (i < 0 || i >= m_count) return nullptr;
    return GetKeywordUnchecked(i);
}

const char* ArgListKeyword::HandleAssign(const char* text) {
    const char* p = SetupAssign(text);
    GotoNextNonWhite(p);
    m_index = m_count;
    size_t best = 0;
    for (int i = 0; i < m_count; ++i) {
        const char* k = GetKeywordUnchecked(i);
        const size_t n = std::strlen(k);
        if (n > best && strncasecmp(p, k, n) == 0 && !std::isalpha(static_cast<unsigned char>(p[n])) && p[n] != '_') {
            best = n;
            m_index = i;
        }
    }
    if (m_index == m_count) return text;
    p += best;
    DoPostAssign(p);
    return p;
}

ArgListColor::ArgListColor(const char* name, int syntax) : ArgListArg(name, syntax) {}

const char* ArgListColor::HandleAssign(const char* text) {
    const char* p = text;
    GotoNextNonWhite(p);
    long long v = 0;
    bool ok = false;
    if (*p == '#') {
        const char* q = p + 1;
        unsigned long long n = 0;
        for (int d; (d = DigitValue(*q, 16)) >= 0 && n <= 0xFFFFFF; ++q) n = n << 4 | static_cast<unsigned>(d);
        if (n > 0xFFFFFF) return Refuse(text, false);
        if (q != p + 1) {
            m_color = static_cast<DWORD>(n);
            p = q;
            ok = true;
        }
    } else if (*p == '(') {
        const char* q = p + 1;
        int c[3];
        int got = 0;
        for (; got < 3; ++got) {
            GotoNextNonWhite(q);
            if (!ReadNumber(q, &v) || v < 0 || v > 255) break;
            c[got] = static_cast<int>(v);
            const char sep = GetNextNonWhite(q);
            if (got < 2 && sep != ',') break;
            if (got == 2 && sep != ')') break;
        }
        if (got == 3) {
            m_color = static_cast<DWORD>(c[0] << 16 | c[1] << 8 | c[2]);
            p = q;
            ok = true;
        }
    } else {
        // A colour is 24 bits: a number beyond them (or below 0) is refused, not masked.
        const FieldScan scan = ScanNumber(p, platform::NumberField{0, 0xFFFFFF});
        if (scan.fit == NumberFit::OutOfRange) return Refuse(text, false);
        if (scan.fit == NumberFit::Fits) {
            m_color = static_cast<DWORD>(scan.value);
            p = scan.end;
            ok = true;
        }
    }
    if (!ok) return text;
    SetupAssign(text);
    m_components[0] = static_cast<int>(m_color >> 16 & 0xFF);
    m_components[1] = static_cast<int>(m_color >> 8 & 0xFF);
    m_components[2] = static_cast<int>(m_color & 0xFF);
    DoPostAssign(p);
    return p;
}

void ArgumentList::Set(const char* text) {
    Reset();
    const char* src = text ? text : "";
    m_text = static_cast<char*>(std::malloc(std::strlen(src) + 1));
    if (!m_text) return;
    std::strcpy(m_text, src);
    m_current = m_text;
}

void ArgumentList::Reset() {
    std::free(m_text);
    m_text = nullptr;
    m_current = nullptr;
    m_words.clear();
    m_split = false;
}

CString ArgumentList::Get(const char*& text) {
    if (!text) return CString();
    while (IsBlank(*text)) ++text;
    std::string word;
    if (*text == '"') {
        const char* close = std::strchr(text + 1, '"');
        const char* end = close ? close : text + std::strlen(text);
        word.assign(text + 1, end);
        text = close ? close + 1 : end;
    } else {
        const char* start = text;
        while (*text && !IsBlank(*text)) ++text;
        word.assign(start, text);
    }
    return CString(word);
}

const char* ArgumentList::Index(int n) {
    if (!m_text || n < 0) return nullptr;
    if (!m_split) {
        const char* p = m_text;
        while (GotoNextNonWhiteStatic(p)) m_words.push_back(Get(p).str());
        m_split = true;
    }
    return n < static_cast<int>(m_words.size()) ? m_words[static_cast<size_t>(n)].c_str() : nullptr;
}

int ArgumentList::HandleOptArgs(ArgListArg* const* table, const char* text, char** leftover) {
    if (leftover) *leftover = nullptr;
    const char* p = text ? text : m_current;
    if (table)
        for (ArgListArg* const* a = table; *a; ++a) (*a)->PrepForOptArgs();
    std::string rest;
    int unrecognised = 0;
    // An empty word ("") goes back as its quotes: an empty string would end the block early and
    // hide every word after it.
    auto giveBack = [&](const std::string& word) {
        rest += word.empty() ? std::string("\"\"") : word;
        rest += '\0';
        ++unrecognised;
    };
    while (p && GotoNextNonWhiteStatic(p)) {
        const char* start = p;
        const bool negated = *p == '-';
        const char* name = negated ? p + 1 : p;
        const char* nameEnd = name;
        while (IsNameChar(*nameEnd)) ++nameEnd;
        const size_t len = static_cast<size_t>(nameEnd - name);
        bool taken = false;
        if (len && table) {
            for (ArgListArg* const* a = table; *a && !taken; ++a) {
                ArgListArg* arg = *a;
                if (std::strlen(arg->GetName()) != len || strncasecmp(arg->GetName(), name, len) != 0) continue;
                const char* after = nameEnd;
                const char next = ArgListArg::GotoNextNonWhite(after);
                const int syntax = arg->GetSyntax();
                if (next == '=' && !negated && syntax != ArgListArg::ARG_FLAG) {
                    arg->TakeRefused();
                    p = arg->HandleAssign(after + 1);
                    taken = true;
                    if (arg->TakeRefused()) {
                        // A value the argument cannot hold: the assignment goes back whole, naming it.
                        p = after + 1;
                        giveBack(std::string(name, len) + "=" + Get(p).str());
                    }
                } else if (next != '=' && syntax != ArgListArg::ARG_ASSIGN && (IsBlank(*nameEnd) || !*nameEnd)) {
                    arg->HandleFlag(negated ? FALSE : TRUE);
                    p = nameEnd;
                    taken = true;
                }
            }
        }
        if (!taken) {
            p = start;
            giveBack(Get(p).str());
        }
    }
    if (unrecognised && leftover) {
        rest += '\0';
        *leftover = static_cast<char*>(std::malloc(rest.size()));
        if (*leftover) std::memcpy(*leftover, rest.data(), rest.size());
    }
    return unrecognised;
}

CString ArgumentList::Help(ArgListArg* const* table) {
    CString text;
    if (table)
        for (ArgListArg* const* a = table; *a; ++a) text += (*a)->Help();
    return text;
}
