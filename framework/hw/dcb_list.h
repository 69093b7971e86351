// DCBList: a chain of DCBs on one channel, one per frame, built from a template and walked as its own iterator.
#pragma once

#include <memory>

#include "framework/hw/wexal_dcb.h"
#include "platform/types.h"

// Position k holds the DCB of index first + k (indices 1-15: a Next of 0 ends a chain, so DCB 0 is
// never part of one). Frames lie back to back in SDRAM. Copies share the DCB array, which the last
// copy to go frees. A list whose array could not be allocated compares equal to its End and
// dereferences to an empty DCB, so a walk over it does nothing.
class DCBList {
public:
    static constexpr DWORD kLastIndex = 15;

    DCBList(const WexalDCB& dcbTemplate, DWORD first, DWORD last) { Build(dcbTemplate, first, last); }
    DCBList(const DCBList&) = default;
    DCBList& operator=(const DCBList&) = default;
    ~DCBList() = default;

    // Copies of the template with Tag = index, Next = index + 1 (0 for the last) and the start
    // address advanced by one frame (Lines x LineLength + InitialLineLength DWORDs) per index. The
    // range may come either way round; first is held within 1-15 and last within first-15. false
    // when the array cannot be allocated.
    bool Build(const WexalDCB& dcbTemplate, DWORD first, DWORD last);
    void CopyFrom(const DCBList& other) { *this = other; }

    void SetToEnd() { m_cursor = m_count; }
    static DCBList End(const DCBList& list);

    bool operator==(const DCBList& other) const;
    bool operator!=(const DCBList& other) const { return !(*this == other); }
    DCBList& operator++();
    DCBList operator++(int);
    // A copy of the DCB at the cursor; at the end, of the last DCB.
    WexalDCB operator*() const;

    bool IsBuilt() const { return m_array != nullptr; }
    DWORD GetFirst() const { return m_first; }
    DWORD GetLast() const { return m_last; }
    DWORD GetCursor() const { return m_cursor; }
    DWORD GetCount() const { return m_count; }

private:
    std::shared_ptr<WexalDCB[]> m_array;
    DWORD m_first = 0;
    DWORD m_last = 0;
    DWORD m_cursor = 0;
    DWORD m_count = 0;
};
