// Script buffers, page memory and the handle lists of the Tcl test.
#include "boards/tcl/tcl_buffers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "devlib/devices.h"
#include "framework/hw/paged_memory.h"

namespace {

// Element access over plain bytes, by byte offset rounded down to the element's width.
template <class T>
void Store(BYTE* data, DWORD offset, T value) {
    std::memcpy(data + (offset / sizeof(T)) * sizeof(T), &value, sizeof(T));
}

template <class T>
T Load(const BYTE* data, DWORD offset) {
    T value;
    std::memcpy(&value, data + (offset / sizeof(T)) * sizeof(T), sizeof(T));
    return value;
}

}  // namespace

// ---- CBuffer ----

CBuffer::CBuffer(DWORD size) {
    if (size % 4 != 0) return;
    // calloc: a large buffer's zero pages are not touched (and so not taken) until used.
    m_data = static_cast<BYTE*>(std::calloc(size ? size : 1, 1));
    if (m_data) m_size = size;
}

CBuffer::~CBuffer() {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

bool CBuffer::SetByte(DWORD offset, BYTE value) { return m_data && (Store(m_data, offset, value), true); }
bool CBuffer::SetShort(DWORD offset, WORD value) { return m_data && (Store(m_data, offset, value), true); }
bool CBuffer::SetWord(DWORD offset, DWORD value) { return m_data && (Store(m_data, offset, value), true); }
BYTE CBuffer::GetByte(DWORD offset) const { return m_data ? Load<BYTE>(m_data, offset) : 0xFF; }
WORD CBuffer::GetShort(DWORD offset) const { return m_data ? Load<WORD>(m_data, offset) : 0xFFFF; }
DWORD CBuffer::GetWord(DWORD offset) const { return m_data ? Load<DWORD>(m_data, offset) : 0xFFFFFFFF; }

// ---- PageMemory ----

PageMemory::PageMemory(DWORD size) {
    if (CHostPCDevice* host = GetZorvHardware()) m_memory = std::make_unique<CPagedMemory>(host, size);
}

PageMemory::~PageMemory() = default;

bool PageMemory::SetByte(DWORD offset, BYTE value) {
    BYTE* data = GetData();
    return data && (Store(data, offset, value), true);
}
bool PageMemory::SetShort(DWORD offset, WORD value) {
    BYTE* data = GetData();
    return data && (Store(data, offset, value), true);
}
bool PageMemory::SetWord(DWORD offset, DWORD value) {
    BYTE* data = GetData();
    return data && (Store(data, offset, value), true);
}
BYTE PageMemory::GetByte(DWORD offset) const {
    if (!m_memory) return 0;
    return GetData() ? Load<BYTE>(GetData(), offset) : 0xFF;
}
WORD PageMemory::GetShort(DWORD offset) const {
    if (!m_memory) return 0;
    return GetData() ? Load<WORD>(GetData(), offset) : 0xFFFF;
}
DWORD PageMemory::GetWord(DWORD offset) const {
    if (!m_memory) return 0;
    return GetData() ? Load<DWORD>(GetData(), offset) : 0xFFFFFFFF;
}

// Size 0 whenever there is no host address, so no command moves bytes through a null pointer.
DWORD PageMemory::GetSize() const { return GetData() ? m_memory->GetSize() : 0; }
BYTE* PageMemory::GetData() const { return m_memory ? reinterpret_cast<BYTE*>(m_memory->GetAddress()) : nullptr; }
ULONGLONG PageMemory::GetPhysicalAddress() const { return GetData() ? m_memory->GetBusAddress() : 0; }

// ---- TclBufferView ----

bool TclBufferView::SetByte(DWORD offset, BYTE value) const {
    return buffer ? buffer->SetByte(offset, value) : page && page->SetByte(offset, value);
}
bool TclBufferView::SetShort(DWORD offset, WORD value) const {
    return buffer ? buffer->SetShort(offset, value) : page && page->SetShort(offset, value);
}
bool TclBufferView::SetWord(DWORD offset, DWORD value) const {
    return buffer ? buffer->SetWord(offset, value) : page && page->SetWord(offset, value);
}
BYTE TclBufferView::GetByte(DWORD offset) const {
    return buffer ? buffer->GetByte(offset) : page ? page->GetByte(offset) : BYTE{0xFF};
}
WORD TclBufferView::GetShort(DWORD offset) const {
    return buffer ? buffer->GetShort(offset) : page ? page->GetShort(offset) : WORD{0xFFFF};
}
DWORD TclBufferView::GetWord(DWORD offset) const {
    return buffer ? buffer->GetWord(offset) : page ? page->GetWord(offset) : DWORD{0xFFFFFFFF};
}

// ---- CTclHandles ----

CTclHandles::~CTclHandles() {
    DeleteAllBuffers();
    DeleteAllPageMemory();
}

DWORD CTclHandles::NextHandle() {
    // The counter wraps after 2^32 handles; it skips 0 and any handle still alive, so a handle
    // never names two objects.
    do {
        ++m_counter;
    } while (m_counter == 0 || IsBuffer(m_counter) || IsPageMemory(m_counter));
    return m_counter;
}

DWORD CTclHandles::AddBuffer(std::unique_ptr<CBuffer> buffer) {
    if (!buffer) return 0;
    const DWORD handle = NextHandle();
    m_buffers.push_back({handle, std::move(buffer)});
    return handle;
}

DWORD CTclHandles::AddPageMemory(std::unique_ptr<PageMemory> memory) {
    if (!memory) return 0;
    const DWORD handle = NextHandle();
    m_pages.push_back({handle, std::move(memory)});
    return handle;
}

CBuffer* CTclHandles::FindBuffer(DWORD handle) const {
    for (const auto& e : m_buffers)
        if (e.handle == handle) return e.object.get();
    return nullptr;
}

PageMemory* CTclHandles::FindPageMemory(DWORD handle) const {
    for (const auto& e : m_pages)
        if (e.handle == handle) return e.object.get();
    return nullptr;
}

bool CTclHandles::Lookup(DWORD handle, TclBufferView* view) const {
    TclBufferView found;
    if ((found.buffer = FindBuffer(handle))) {
        found.size = found.buffer->GetSize();
        found.data = found.buffer->GetData();
    } else if ((found.page = FindPageMemory(handle))) {
        found.size = found.page->GetSize();
        found.data = found.page->GetData();
    } else {
        return false;
    }
    if (view) *view = found;
    return true;
}

namespace {

template <class List>
bool EraseHandle(List& list, DWORD handle) {
    auto it = std::find_if(list.begin(), list.end(), [handle](const auto& e) { return e.handle == handle; });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

template <class List>
std::vector<DWORD> HandlesOf(const List& list) {
    std::vector<DWORD> out;
    out.reserve(list.size());
    for (const auto& e : list) out.push_back(e.handle);
    return out;
}

}  // namespace

bool CTclHandles::DeleteBuffer(DWORD handle) { return EraseHandle(m_buffers, handle); }
bool CTclHandles::DeletePageMemory(DWORD handle) { return EraseHandle(m_pages, handle); }
// Deleted in creation order, as the objects were made.
void CTclHandles::DeleteAllBuffers() {
    for (auto& e : m_buffers) e.object.reset();
    m_buffers.clear();
}
void CTclHandles::DeleteAllPageMemory() {
    for (auto& e : m_pages) e.object.reset();
    m_pages.clear();
}

std::vector<DWORD> CTclHandles::BufferHandles() const { return HandlesOf(m_buffers); }
std::vector<DWORD> CTclHandles::PageMemoryHandles() const { return HandlesOf(m_pages); }

CString CTclHandles::Format(DWORD handle) {
    CString text;
    text.Format("0x%X", handle);
    return text;
}
