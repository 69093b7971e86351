// Script buffers (heap) and page memory (host DMA memory) that Tcl scripts hold by handle, and their lists.
#pragma once

#include <memory>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

class CPagedMemory;

// The largest script buffer the commands create (CreateBuffer, LoadImage): 256 MiB. Buffers live
// from one command run to the next, so an unbounded size would let a few calls take the host's
// memory.
constexpr DWORD kMaxScriptBuffer = 0x10000000;

// Plain heap memory a script fills, compares, saves and moves to and from SDRAM. Only a size that
// is a multiple of 4 gets storage (zero-filled, its pages taken from the system only as they are
// first written); any other size gives a buffer of size 0 and no
// data, whose setters answer false and whose getters answer all ones. Elements are addressed by
// byte offset rounded down to the element's width; offsets are not checked here (the commands do).
class CBuffer {
public:
    explicit CBuffer(DWORD size);
    virtual ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    bool SetByte(DWORD offset, BYTE value);
    bool SetShort(DWORD offset, WORD value);
    bool SetWord(DWORD offset, DWORD value);
    BYTE GetByte(DWORD offset) const;
    WORD GetShort(DWORD offset) const;
    DWORD GetWord(DWORD offset) const;

    DWORD GetSize() const { return m_size; }
    BYTE* GetData() const { return m_data; }

    // Read directly by the commands, as the size and data of the buffer.
    DWORD m_size = 0;
    BYTE* m_data = nullptr;
};

// Host DMA memory from the device library's root host device, with a bus address. Without a host
// device (or when the allocation failed) it has size 0, no data and bus address 0; its setters then
// answer false and its getters 0 (no host memory object) or all ones (no host address).
class PageMemory {
public:
    explicit PageMemory(DWORD size);
    virtual ~PageMemory();
    PageMemory(const PageMemory&) = delete;
    PageMemory& operator=(const PageMemory&) = delete;

    bool SetByte(DWORD offset, BYTE value);
    bool SetShort(DWORD offset, WORD value);
    bool SetWord(DWORD offset, DWORD value);
    BYTE GetByte(DWORD offset) const;
    WORD GetShort(DWORD offset) const;
    DWORD GetWord(DWORD offset) const;

    DWORD GetSize() const;
    BYTE* GetData() const;
    ULONGLONG GetPhysicalAddress() const;

private:
    std::unique_ptr<CPagedMemory> m_memory;
};

// What a handle names, seen as bytes: the script buffer or the page memory (one of them is set),
// its size and its data (null without storage).
struct TclBufferView {
    CBuffer* buffer = nullptr;
    PageMemory* page = nullptr;
    DWORD size = 0;
    BYTE* data = nullptr;

    bool SetByte(DWORD offset, BYTE value) const;
    bool SetShort(DWORD offset, WORD value) const;
    bool SetWord(DWORD offset, DWORD value) const;
    BYTE GetByte(DWORD offset) const;
    WORD GetShort(DWORD offset) const;
    DWORD GetWord(DWORD offset) const;
};

// The Tcl test's two lists, each in creation order, owning their objects. A handle is a 32-bit
// number handed out by a counter, never 0 and never that of a live object of either list, so a
// handle names at most one object and a deleted object's handle names nothing until reused.
class CTclHandles {
public:
    CTclHandles() = default;
    ~CTclHandles();
    CTclHandles(const CTclHandles&) = delete;
    CTclHandles& operator=(const CTclHandles&) = delete;

    // Append the object to its list; answer its new handle (0 for a null object, not added).
    DWORD AddBuffer(std::unique_ptr<CBuffer> buffer);
    DWORD AddPageMemory(std::unique_ptr<PageMemory> memory);

    bool IsBuffer(DWORD handle) const { return FindBuffer(handle) != nullptr; }
    bool IsPageMemory(DWORD handle) const { return FindPageMemory(handle) != nullptr; }
    CBuffer* FindBuffer(DWORD handle) const;
    PageMemory* FindPageMemory(DWORD handle) const;
    // A script buffer first, then a page memory; false when the handle names neither.
    bool Lookup(DWORD handle, TclBufferView* view) const;

    // Remove (order of the rest kept) and delete; false when absent.
    bool DeleteBuffer(DWORD handle);
    bool DeletePageMemory(DWORD handle);
    void DeleteAllBuffers();
    void DeleteAllPageMemory();

    size_t BufferCount() const { return m_buffers.size(); }
    size_t PageMemoryCount() const { return m_pages.size(); }
    // Handles in list order.
    std::vector<DWORD> BufferHandles() const;
    std::vector<DWORD> PageMemoryHandles() const;

    // "0x%X" of the handle, as scripts see it.
    static CString Format(DWORD handle);

private:
    DWORD NextHandle();

    template <class T>
    struct Entry {
        DWORD handle;
        std::unique_ptr<T> object;
    };
    std::vector<Entry<CBuffer>> m_buffers;
    std::vector<Entry<PageMemory>> m_pages;
    DWORD m_counter = 0;
};
