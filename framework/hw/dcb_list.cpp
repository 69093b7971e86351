// Building and walking DCB chains.
#include "framework/hw/dcb_list.h"

#include <algorithm>
#include <new>
#include <utility>

bool DCBList::Build(const WexalDCB& dcbTemplate, DWORD first, DWORD last) {
    m_array.reset();
    m_first = m_last = m_cursor = m_count = 0;

    if (first > last) std::swap(first, last);
    // Both ends within the hardware's 1-15 and in order: (0, 0) or a first index above 15 would
    // leave a count of 0 or one that wraps.
    m_first = std::clamp<DWORD>(first, 1, kLastIndex);
    m_last = std::clamp<DWORD>(last, m_first, kLastIndex);
    const DWORD count = m_last - m_first + 1;
    try {
        m_array = std::shared_ptr<WexalDCB[]>(new WexalDCB[count]);
    } catch (const std::bad_alloc&) {
        m_first = m_last = 0;
        return false;
    }
    m_count = count;

    const DWORD frameDwords =
        dcbTemplate.GetLines() * dcbTemplate.GetLineLength() + dcbTemplate.GetInitialLineLength();
    DWORD address = dcbTemplate.GetStartAddress();
    for (DWORD k = 0; k < count; ++k) {
        WexalDCB& dcb = m_array[k];
        dcb = dcbTemplate;
        dcb.GetPortField().SetTag(static_cast<WORD>(m_first + k));
        dcb.GetOpField().SetNext(static_cast<BYTE>(m_first + k + 1));
        dcb.SetStartAddress(address);
        address += frameDwords * 4;
    }
    m_array[count - 1].GetOpField().SetNext(0);
    return true;
}

DCBList DCBList::End(const DCBList& list) {
    DCBList end(list);
    end.SetToEnd();
    return end;
}

bool DCBList::operator==(const DCBList& other) const {
    // A list without its array stands for an empty walk.
    if (!m_array) return other.m_first == other.m_last;
    if (!other.m_array) return m_first == m_last;
    return m_last == other.m_last && m_first == other.m_first && m_cursor == other.m_cursor && m_count == other.m_count;
}

DCBList& DCBList::operator++() {
    if (m_cursor < m_count) ++m_cursor;
    return *this;
}

DCBList DCBList::operator++(int) {
    DCBList before(*this);
    ++*this;
    return before;
}

WexalDCB DCBList::operator*() const {
    if (!m_array || m_count == 0) return WexalDCB();
    return m_array[std::min(m_cursor, m_count - 1)];
}

DCBList WexalDCB::MakeDCBList(DWORD first, DWORD last) const { return DCBList(*this, first, std::min(last, DCBList::kLastIndex)); }
