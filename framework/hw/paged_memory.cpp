// Host DMA blocks from the device library, and paged buffers: page allocation, page table, flat copies.
#include "framework/hw/paged_memory.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---- CPagedMemory ----

CPagedMemory::CPagedMemory(CHostPCDevice* device, DWORD size) {
    if (!device || !size) return;
    void* address = nullptr;
    LARGE_INTEGER bus{};
    m_allocation = device->Malloc(size, &address, &bus);
    if (m_allocation.status != DRV_SUCCESS) return;
    m_device = device;
    m_size = size;
    m_address = static_cast<DWORD*>(address);
    m_physAddress = bus;
}

CPagedMemory::~CPagedMemory() {
    if (IsValid()) Free();
}

void CPagedMemory::Free() {
    if (m_address && m_device) m_device->Free(m_address);
    m_device = nullptr;
    m_size = 0;
    m_address = nullptr;
    m_physAddress.QuadPart = 0;
}

BOOL CPagedMemory::GetDrvReturn(Drv_Return* out) const {
    if (out) *out = m_allocation;
    return IsValid();
}

LARGE_INTEGER* CPagedMemory::GetPhysAddress(LARGE_INTEGER* out) const {
    if (out) *out = m_physAddress;
    return out;
}

// ---- CPagedBuffer ----

namespace {

DWORD EntryLimit(DWORD maxEntryBytes) { return std::min(maxEntryBytes, CPagedBuffer::kMaxEntryBytes); }

ULONGLONG CeilDiv(ULONGLONG a, ULONGLONG b) { return (a + b - 1) / b; }

// Bytes of the page table: room for one entry per entry limit of the total, and never less than
// the pages' own entries (a page larger than the limit and not a multiple of it needs one more).
// 0 refuses the buffer: no page or entry size, or a table beyond 32 bits.
DWORD TableBytes(DWORD total, DWORD pageSize, DWORD entryLimit) {
    if (!pageSize || !entryLimit) return 0;
    const ULONGLONG byTotal = CeilDiv(total, entryLimit);
    const ULONGLONG byPages = ULONGLONG{total / pageSize} * CeilDiv(pageSize, entryLimit);
    const ULONGLONG bytes = 16 * std::max(byTotal, byPages);
    return bytes > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(bytes);
}

}  // namespace

CPagedBuffer::CPagedBuffer(CHostPCDevice* device, DWORD totalSize, DWORD pageSize, DWORD maxEntryBytes)
    : CPagedMemory(device, TableBytes(totalSize, pageSize, EntryLimit(maxEntryBytes))),
      m_totalSize(totalSize),
      m_pageSize(pageSize),
      m_entryLimit(EntryLimit(maxEntryBytes)) {
    if (!IsValid()) return;

    const DWORD pageCount = m_totalSize / m_pageSize;
    m_pages.reserve(pageCount);
    for (DWORD i = 0; i < pageCount; ++i) {
        std::unique_ptr<CPagedMemory> page(new (std::nothrow) CPagedMemory(device, m_pageSize));
        if (!page || !page->IsValid()) {
            FreePages();
            Free();
            return;
        }
        m_pages.push_back(std::move(page));
    }

    PageTableEntry* entry = reinterpret_cast<PageTableEntry*>(GetAddress());
    for (const auto& page : m_pages) {
        const ULONGLONG bus = page->GetBusAddress();
        const DWORD low = static_cast<DWORD>(bus), high = static_cast<DWORD>(bus >> 32);
        for (DWORD offset = 0;; offset += m_entryLimit) {
            const DWORD rest = m_pageSize - offset;
            *entry++ = PageTableEntry{low + offset, high, std::min(m_entryLimit, rest), 0};
            if (rest <= m_entryLimit) break;
        }
    }
}

CPagedBuffer::~CPagedBuffer() {
    FreePages();
    Free();
}

void CPagedBuffer::FreePages() {
    for (auto& page : m_pages) page->Free();
    m_pages.clear();
}

const CPagedMemory* CPagedBuffer::GetPage(int i) const {
    return i >= 0 && i < GetPageCount() ? m_pages[static_cast<size_t>(i)].get() : nullptr;
}

ULONGLONG CPagedBuffer::GetPageTableAddress(DWORD offset) const {
    if (!IsValid()) return 0;
    if (offset == 0) return GetBusAddress();
    const DWORD page = offset / m_pageSize;
    if (page >= m_pages.size()) return 0;
    // A page larger than the entry limit spans several entries; name the one holding the offset.
    const ULONGLONG entry = ULONGLONG{page} * CeilDiv(m_pageSize, m_entryLimit) + (offset % m_pageSize) / m_entryLimit;
    return GetBusAddress() + 16 * entry;
}

void CPagedBuffer::Clear() {
    if (!IsValid()) return;
    for (const auto& page : m_pages) std::memset(page->GetAddress(), 0, page->GetSize());
}

bool CPagedBuffer::CopyIn(const BYTE* source, int size) {
    if (size < 0) return false;
    DWORD left = static_cast<DWORD>(size) & ~3u;
    if (left > m_totalSize || m_pages.empty()) return false;
    if (left && !source) return false;
    for (const auto& page : m_pages) {
        if (!left) break;
        const DWORD n = std::min(left, page->GetSize());
        std::memcpy(page->GetAddress(), source, n);
        source += n;
        left -= n;
    }
    return left == 0;
}

bool CPagedBuffer::CopyOut(BYTE* destination, int size) const {
    if (size < 0) return false;
    DWORD left = static_cast<DWORD>(size) & ~3u;
    if (left > m_totalSize || m_pages.empty()) return false;
    if (left && !destination) return false;
    for (const auto& page : m_pages) {
        if (!left) break;
        const DWORD n = std::min(left, page->GetSize());
        std::memcpy(destination, page->GetAddress(), n);
        destination += n;
        left -= n;
    }
    return left == 0;
}

bool CPagedBuffer::Compare(const BYTE* source, DWORD size) const {
    DWORD left = size & ~3u;
    if (left > m_totalSize) return false;
    if (m_pages.empty()) return left == 0;
    if (left && !source) return false;
    for (const auto& page : m_pages) {
        if (!left) break;
        const DWORD n = std::min(left, page->GetSize());
        if (std::memcmp(page->GetAddress(), source, n) != 0) return false;
        source += n;
        left -= n;
    }
    return left == 0;
}
