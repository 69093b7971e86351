// CString: the byte string of the library's Windows heritage, with the behaviours the test code relies on.
#pragma once

#include <compare>
#include <cstdarg>
#include <string>
#include <string_view>

#include "types.h"

// A byte string ended at its first NUL, as the original runtime's string class was.
// Positions are int; Find answers -1 when nothing is found; Left/Mid/Right clip to the
// string instead of failing; Trim removes blanks, tabs, CR and LF; == is case-sensitive.
class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}
    CString(const char* s, int len);
    CString(char ch, int repeat = 1);
    CString(const std::string& s) : m_s(s.c_str()) {}
    CString(std::string_view s) : CString(std::string(s)) {}

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    const char* c_str() const { return m_s.c_str(); }
    operator const char*() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }

    char GetAt(int i) const { return (i >= 0 && i < GetLength()) ? m_s[static_cast<size_t>(i)] : '\0'; }
    char operator[](int i) const { return GetAt(i); }
    void SetAt(int i, char ch);

    CString& operator=(const char* s) { m_s = s ? s : ""; return *this; }
    CString& operator+=(const CString& s) { m_s += s.m_s; return *this; }
    CString& operator+=(const char* s) { if (s) m_s += s; return *this; }
    CString& operator+=(char ch) { if (ch) m_s += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    // Byte order. Spelled out so that containers of CString never fall back to comparing the
    // const char* conversions.
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.m_s <=> b.m_s; }

    // Byte comparison: <0, 0, >0.
    int Compare(const char* s) const;
    int CompareNoCase(const char* s) const;

    // printf-style formatting; the arguments are the C types the format names.
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* set) const;
    CString SpanExcluding(const char* set) const;

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& TrimLeft(const char* set);
    CString& TrimRight(const char* set);
    CString& TrimLeft(char ch);
    CString& TrimRight(char ch);
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // Replaces every occurrence; answers how many were replaced.
    int Replace(const char* from, const char* to);
    int Replace(char from, char to);
    int Remove(char ch);
    int Insert(int index, const char* s);
    int Insert(int index, char ch);
    int Delete(int index, int count = 1);

    // Writable buffer of at least minLength bytes; ReleaseBuffer(-1) ends the string at its first NUL.
    char* GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);
    char* GetBufferSetLength(int length);

    // The next token of delimiters from position start (which is advanced); "" and start -1 at the end.
    CString Tokenize(const char* delims, int& start) const;

private:
    std::string m_s;
};

// A printf-style text as a CString, for the places that build a line before they print it.
CString FormatString(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// std::hash support so CString can key unordered maps.
template <>
struct std::hash<CString> {
    size_t operator()(const CString& s) const noexcept { return std::hash<std::string>()(s.str()); }
};
