// CString: formatting, searching, clipping and trimming with the original runtime's semantics.
#include "cstring.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {
const char kBlanks[] = " \t\r\n";

bool InSet(char ch, const char* set) { return ch != '\0' && std::strchr(set, ch) != nullptr; }
}  // namespace

CString::CString(const char* s, int len) {
    if (s && len > 0) m_s.assign(s, strnlen(s, static_cast<size_t>(len)));
}

CString::CString(char ch, int repeat) {
    if (ch && repeat > 0) m_s.assign(static_cast<size_t>(repeat), ch);
}

void CString::SetAt(int i, char ch) {
    if (i < 0 || i >= GetLength()) return;
    if (ch == '\0') m_s.resize(static_cast<size_t>(i));
    else m_s[static_cast<size_t>(i)] = ch;
}

int CString::Compare(const char* s) const { return std::strcmp(m_s.c_str(), s ? s : ""); }
int CString::CompareNoCase(const char* s) const { return strcasecmp(m_s.c_str(), s ? s : ""); }

void CString::FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) { m_s.clear(); return; }
    if (static_cast<size_t>(n) < sizeof small) {
        m_s.assign(small, static_cast<size_t>(n));
    } else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), fmt, args);
        big.resize(static_cast<size_t>(n));
        m_s = std::move(big);
    }
    m_s.resize(std::strlen(m_s.c_str()));  // a %c of NUL ends the string, as it did
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

CString FormatString(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    CString text;
    text.FormatV(fmt, args);
    va_end(args);
    return text;
}

void CString::AppendFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    CString tail;
    tail.FormatV(fmt, args);
    va_end(args);
    m_s += tail.m_s;
}

int CString::Find(char ch, int start) const {
    if (start < 0 || start >= GetLength() || ch == '\0') return -1;
    size_t p = m_s.find(ch, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const char* sub, int start) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t p = m_s.find(sub, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char ch) const {
    if (ch == '\0') return -1;
    size_t p = m_s.rfind(ch);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::FindOneOf(const char* set) const {
    if (!set) return -1;
    size_t p = m_s.find_first_of(set);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_s.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first >= GetLength()) return CString();
    count = std::min(count, GetLength() - first);
    return CString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_s.substr(static_cast<size_t>(GetLength() - count)));
}

CString CString::SpanIncluding(const char* set) const {
    size_t n = 0;
    while (n < m_s.size() && InSet(m_s[n], set)) ++n;
    return CString(m_s.substr(0, n));
}

CString CString::SpanExcluding(const char* set) const {
    size_t n = 0;
    while (n < m_s.size() && !InSet(m_s[n], set)) ++n;
    return CString(m_s.substr(0, n));
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::TrimLeft() { return TrimLeft(kBlanks); }
CString& CString::TrimRight() { return TrimRight(kBlanks); }

CString& CString::TrimLeft(const char* set) {
    size_t n = 0;
    while (n < m_s.size() && InSet(m_s[n], set)) ++n;
    m_s.erase(0, n);
    return *this;
}

CString& CString::TrimRight(const char* set) {
    size_t n = m_s.size();
    while (n > 0 && InSet(m_s[n - 1], set)) --n;
    m_s.resize(n);
    return *this;
}

CString& CString::TrimLeft(char ch) { const char set[2] = {ch, '\0'}; return TrimLeft(set); }
CString& CString::TrimRight(char ch) { const char set[2] = {ch, '\0'}; return TrimRight(set); }

CString& CString::MakeUpper() {
    for (char& c : m_s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower() {
    for (char& c : m_s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(m_s.begin(), m_s.end());
    return *this;
}

int CString::Replace(const char* from, const char* to) {
    if (!from || !*from) return 0;
    std::string repl = to ? to : "";
    size_t flen = std::strlen(from);
    int count = 0;
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = m_s.find(from, pos)) != std::string::npos; pos = hit + flen) {
        out.append(m_s, pos, hit - pos);
        out += repl;
        ++count;
    }
    if (count == 0) return 0;
    out.append(m_s, pos, std::string::npos);
    m_s = std::move(out);
    return count;
}

int CString::Replace(char from, char to) {
    if (from == '\0') return 0;
    int count = 0;
    for (char& c : m_s)
        if (c == from) { c = to; ++count; }
    if (to == '\0' && count) m_s.resize(std::strlen(m_s.c_str()));
    return count;
}

int CString::Remove(char ch) {
    size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return static_cast<int>(before - m_s.size());
}

int CString::Insert(int index, const char* s) {
    index = std::clamp(index, 0, GetLength());
    if (s) m_s.insert(static_cast<size_t>(index), s);
    return GetLength();
}

int CString::Insert(int index, char ch) {
    const char s[2] = {ch, '\0'};
    return Insert(index, s);
}

int CString::Delete(int index, int count) {
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength())
        m_s.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

char* CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) m_s.resize(static_cast<size_t>(minLength), '\0');
    return m_s.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) m_s.resize(std::strlen(m_s.c_str()));
    else m_s.resize(std::min(static_cast<size_t>(newLength), std::strlen(m_s.c_str())));
}

char* CString::GetBufferSetLength(int length) {
    m_s.resize(static_cast<size_t>(std::max(length, 0)), '\0');
    return m_s.data();
}

CString CString::Tokenize(const char* delims, int& start) const {
    if (start < 0) return CString();
    size_t p = static_cast<size_t>(start);
    while (p < m_s.size() && InSet(m_s[p], delims)) ++p;
    if (p >= m_s.size()) { start = -1; return CString(); }
    size_t e = p;
    while (e < m_s.size() && !InSet(m_s[e], delims)) ++e;
    start = static_cast<int>(e + (e < m_s.size() ? 1 : 0));
    return CString(m_s.substr(p, e - p));
}
