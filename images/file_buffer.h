// CFileBuffer and the whole-file helpers: files moved between disk and memory byte for byte.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

// Owner of one byte block holding a whole file. Empty when pData is null or nSize is 0.
class CFileBuffer {
public:
    CFileBuffer() = default;
    // A copy of size bytes at source; an empty buffer when source is null or the copy cannot be had.
    CFileBuffer(const BYTE* source, DWORD size);
    CFileBuffer(const CFileBuffer&) = delete;
    CFileBuffer& operator=(const CFileBuffer&) = delete;
    ~CFileBuffer() { Free(); }

    // 1 when the whole file is now in the buffer; else 0 with the old contents kept (also for a
    // file too large to hold).
    int LoadFile(const CString& path);
    // 1 when the block was written as the whole of path; 0, touching no file, when the buffer is
    // empty or the file cannot be created or written (path then keeps what it held, errno says why).
    int SaveFile(const CString& path) const;
    void Free();

    BYTE* pData = nullptr;
    DWORD nSize = 0;
};

// Reads min(size, file length) bytes into buffer; 1 when all of them arrived.
int ReadFileInto(const CString& path, void* buffer, DWORD size);
// Writes size bytes as the whole of path; 1 when all of them reached it, else 0 with path as it
// was and errno the cause.
int WriteFileFrom(const CString& path, const void* buffer, DWORD size);
