// CFlashImageFile: open, check and read OXD files for the flash tests.
#include "framework/hw/flash_image_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/files.h"

namespace {

constexpr const char* kStatusTexts[] = {
    "No OXD File Open",
    "OXD File Open and Ready",
    "Invalid parameter passed to OXD File class.",
    "Cannot find the OXD file.",
    "Unable to open this file for reading.",
    "Not an OXD File.",
    "Unable to read this file.",
    "Unable to allocate additional memory.",
};

constexpr long kHeadSize = 16;
constexpr long kHeaderTextOffset = 12;

}  // namespace

int CFlashImageFile::Open(const char* pattern) {
    Close();
    if (!pattern) return Fail(kBadParameter);
    const CString found = platform::FindMostRecentFile(pattern);
    if (found.IsEmpty()) return Fail(kNotFound);
    m_path = found;
    const int cut = std::max({m_path.ReverseFind('\\'), m_path.ReverseFind('/'), m_path.ReverseFind(':')});
    m_fileName = m_path.Mid(cut + 1);

    m_stream = platform::OpenFile(m_path, "rb");
    if (!m_stream) return Fail(kCannotOpen);

    struct stat st;
    if (::fstat(::fileno(m_stream), &st) != 0) return Fail(kCannotRead);
    m_fileSize = static_cast<long>(st.st_size);
    if (m_fileSize < kHeadSize) return Fail(kNotOxd);
    BYTE head[kHeadSize];
    if (std::fread(head, 1, sizeof head, m_stream) != sizeof head) return Fail(kCannotRead);

    const long length = static_cast<long>(static_cast<DWORD>(head[8]) << 24 | static_cast<DWORD>(head[9]) << 16 |
                                          static_cast<DWORD>(head[10]) << 8 | head[11]);
    m_dataOffset = length;
    m_dataSize = m_fileSize - length;
    m_headerTextOffset = kHeaderTextOffset;
    m_headerTextSize = length - kHeaderTextOffset;
    if (std::memcmp(head, "ZORV.OXD", 8) != 0 || length < kHeadSize || m_dataSize < 2 || m_dataSize > kMaxDataSize ||
        m_headerTextSize < 0)
        return Fail(kNotOxd);

    try {
        m_headerText.assign(static_cast<size_t>(m_headerTextSize) + 6, '\0');
    } catch (const std::bad_alloc&) {
        return Fail(kNoMemory);
    }
    if (std::fseek(m_stream, kHeaderTextOffset, SEEK_SET) != 0 ||
        std::fread(m_headerText.data(), 1, static_cast<size_t>(m_headerTextSize), m_stream) !=
            static_cast<size_t>(m_headerTextSize)) {
        m_headerText.clear();
        return Fail(kCannotRead);
    }
    return m_status = kReady;
}

int CFlashImageFile::Read(void* buffer, long offset, long size) {
    if (!m_stream) return Fail(kNotFound);
    if (!buffer || offset < 0 || offset > m_dataSize || size < 0 || size > m_dataSize - offset) return Fail(kBadParameter);
    if (std::fseek(m_stream, m_dataOffset + offset, SEEK_SET) != 0) return Fail(kCannotRead);
    // One block of size bytes, as the original read it: an empty block counts as not read.
    if (size == 0 || std::fread(buffer, static_cast<size_t>(size), 1, m_stream) != 1) return Fail(kCannotRead);
    return m_status = kReady;
}

int CFlashImageFile::Close() {
    if (m_stream) std::fclose(m_stream);
    m_stream = nullptr;
    m_path.Empty();
    m_fileName.Empty();
    m_headerText.clear();
    m_fileSize = m_dataOffset = m_dataSize = m_headerTextOffset = m_headerTextSize = 0;
    m_status = kNoFile;
    return 0;
}

const char* CFlashImageFile::GetStatusText(int code) const {
    if (code <= 0) code = m_status;
    if (code <= 0 || code >= 8) return nullptr;
    return kStatusTexts[code];
}
