// Whole files read into and written from memory blocks, one read or write call per file.
#include "images/file_buffer.h"

#include <cstring>
#include <limits>
#include <new>

#include "images/file_error.h"
#include "platform/files.h"

namespace {
constexpr UINT kReadFlags = CFile::modeRead | CFile::typeBinary;
}  // namespace

CFileBuffer::CFileBuffer(const BYTE* source, DWORD size) {
    if (!source) return;
    pData = new (std::nothrow) BYTE[size];
    if (!pData) return;
    std::memcpy(pData, source, size);
    nSize = size;
}

void CFileBuffer::Free() {
    delete[] pData;
    pData = nullptr;
    nSize = 0;
}

int CFileBuffer::LoadFile(const CString& path) {
    CFile file;
    if (!file.Open(path, kReadFlags)) return 0;
    LONGLONG length = file.GetLength();
    if (length < 0 || uint64_t(length) > std::numeric_limits<DWORD>::max()) return 0;
    const DWORD size = static_cast<DWORD>(length);
    BYTE* block = new (std::nothrow) BYTE[size];
    if (!block) return 0;
    if (file.Read(block, size) != size) {
        delete[] block;
        return 0;
    }
    file.Close();
    delete[] pData;
    pData = block;
    nSize = size;
    return 1;
}

int CFileBuffer::SaveFile(const CString& path) const {
    if (!pData || nSize == 0) return 0;
    return WriteFileFrom(path, pData, nSize);
}

int ReadFileInto(const CString& path, void* buffer, DWORD size) {
    if (size == 0 || !buffer) return 0;
    CFile file;
    if (!file.Open(path, kReadFlags)) return 0;
    LONGLONG length = file.GetLength();
    DWORD n = length < LONGLONG(size) ? static_cast<DWORD>(length) : size;
    return file.Read(buffer, n) == n ? 1 : 0;
}

int WriteFileFrom(const CString& path, const void* buffer, DWORD size) {
    if (size == 0 || !buffer) return 0;
    return images_detail::SaveWhole(path, [&](CFile& file) { return file.Write(buffer, size) ? 1 : 0; }).result;
}
