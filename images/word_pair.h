// CWordPair: a record of two 32-bit words, such as (width, height) or (address, value).
#pragma once

#include "platform/types.h"

class CWordPair {
public:
    CWordPair() = default;
    CWordPair(DWORD first, DWORD second) : m_first(first), m_second(second) {}

    DWORD GetFirst() const { return m_first; }
    DWORD GetSecond() const { return m_second; }
    void SetFirst(DWORD value) { m_first = value; }
    void SetSecond(DWORD value) { m_second = value; }

private:
    DWORD m_first = 0;
    DWORD m_second = 0;
};
