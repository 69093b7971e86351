// Host DMA memory: blocks with a bus address from the device library, and paged buffers with their page table.
#pragma once

#include <memory>
#include <vector>

#include "devlib/dev_types.h"
#include "devlib/devices.h"
#include "platform/types.h"

// One block of host memory the boards can reach by DMA, obtained from and returned to the device
// library. It is valid when it has a device, a size and a host address; a failed allocation
// leaves it invalid but keeps the driver's answer for the caller's message.
class CPagedMemory {
public:
    // With a device and a non-zero size, asks the device for the block; otherwise asks nothing.
    CPagedMemory(CHostPCDevice* device, DWORD size);
    virtual ~CPagedMemory();
    CPagedMemory(const CPagedMemory&) = delete;
    CPagedMemory& operator=(const CPagedMemory&) = delete;

    // Returns the block to the device; the allocation's answer stays.
    void Free();
    BOOL IsValid() const { return m_device && m_size && m_address; }
    // Copies the allocation's answer (status 1 is success) to out and answers IsValid.
    BOOL GetDrvReturn(Drv_Return* out) const;
    // Copies the bus address to out and answers out.
    LARGE_INTEGER* GetPhysAddress(LARGE_INTEGER* out) const;
    ULONGLONG GetBusAddress() const { return static_cast<ULONGLONG>(m_physAddress.QuadPart); }
    // The host address and the size; null and 0 when the block is not allocated.
    DWORD* GetAddress() const { return m_address; }
    DWORD GetSize() const { return m_size; }

private:
    CHostPCDevice* m_device = nullptr;
    DWORD m_size = 0;
    DWORD* m_address = nullptr;
    LARGE_INTEGER m_physAddress{};
    Drv_Return m_allocation;
};

// One entry of a page table as the DMA engine reads it.
struct PageTableEntry {
    DWORD addressLow;   // the page's low bus DWORD plus the entry's offset in the page (no carry)
    DWORD addressHigh;  // the page's high bus DWORD
    DWORD byteCount;    // at most the buffer's entry limit
    DWORD reserved;     // 0
};
static_assert(sizeof(PageTableEntry) == 16, "the engine reads 16-byte entries");

// A large DMA buffer made of equal pages, with a page table in DMA memory (held by the base) that
// lists every page in pieces of at most the entry limit. total / page pages are allocated; a
// remainder below one page is not. When the table or any page cannot be had, or the page size or
// entry limit is 0, the buffer holds no pages and no table: test IsValid (or GetDrvReturn) on
// GetPageTable. Copies work page by page at memory speed.
class CPagedBuffer : public CPagedMemory {
public:
    static constexpr DWORD kMaxEntryBytes = 0x20000;

    CPagedBuffer(CHostPCDevice* device, DWORD totalSize, DWORD pageSize, DWORD maxEntryBytes);
    ~CPagedBuffer() override;

    DWORD GetSize() const { return m_totalSize; }
    DWORD GetPageSize() const { return m_pageSize; }
    DWORD GetEntryLimit() const { return m_entryLimit; }
    CPagedMemory& GetPageTable() { return *this; }
    const CPagedMemory& GetPageTable() const { return *this; }
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    // Page i in allocation order, null outside.
    const CPagedMemory* GetPage(int i) const;

    // The bus address of the page-table entry that holds byte offset of the buffer: the table's
    // own address for offset 0; 0 without a table or for an offset past the last page.
    ULONGLONG GetPageTableAddress(DWORD offset) const;
    // Zero-fills every page.
    void Clear();
    // Copy size bytes (rounded down to whole DWORDs) between a flat array and the pages in order.
    // false when size exceeds the buffer, the buffer has no pages, or the pages end before size.
    bool CopyIn(const BYTE* source, int size);
    bool CopyOut(BYTE* destination, int size) const;
    // Whether the pages in order equal source over size bytes rounded down to whole DWORDs.
    bool Compare(const BYTE* source, DWORD size) const;

private:
    void FreePages();

    DWORD m_totalSize;
    DWORD m_pageSize;
    DWORD m_entryLimit;
    std::vector<std::unique_ptr<CPagedMemory>> m_pages;
};
