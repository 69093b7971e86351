// The flash tests' OXD reader: the newest file matching a pattern, its checked head, data read on demand.
#pragma once

#include <cstdio>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

// Keeps the file open and answers every call with a status code that GetStatusText turns into text.
class CFlashImageFile {
public:
    enum Status {
        kNoFile = 0,         // "No OXD File Open"
        kReady = 1,          // "OXD File Open and Ready"
        kBadParameter = 2,   // "Invalid parameter passed to OXD File class."
        kNotFound = 3,       // "Cannot find the OXD file."
        kCannotOpen = 4,     // "Unable to open this file for reading."
        kNotOxd = 5,         // "Not an OXD File."
        kCannotRead = 6,     // "Unable to read this file."
        kNoMemory = 7,       // "Unable to allocate additional memory."
    };
    static constexpr long kMaxDataSize = 0x300000;

    CFlashImageFile() = default;
    ~CFlashImageFile() { Close(); }
    CFlashImageFile(const CFlashImageFile&) = delete;
    CFlashImageFile& operator=(const CFlashImageFile&) = delete;

    // Opens the newest file matching pattern and checks its head: the magic, a header length of at
    // least 16 and between 2 bytes and 3 MiB of data behind it. Keeps the header text (bytes 12 to
    // L - 1). After a failed check the file stays open until Close or the next Open.
    int Open(const char* pattern);
    // size bytes of the image data from offset into buffer, read as one block (a size of 0 is not a
    // block and answers kCannotRead).
    int Read(void* buffer, long offset, long size);
    // Closes the file and forgets everything; answers 0.
    int Close();
    // The text of a code, or of the current status for a code of 0 or below; NULL for codes
    // outside 1-7.
    const char* GetStatusText(int code) const;

    int GetStatus() const { return m_status; }
    const CString& GetPath() const { return m_path; }
    const CString& GetFileName() const { return m_fileName; }
    long GetFileSize() const { return m_fileSize; }
    long GetDataOffset() const { return m_dataOffset; }
    long GetDataSize() const { return m_dataSize; }
    long GetHeaderTextOffset() const { return m_headerTextOffset; }
    long GetHeaderTextSize() const { return m_headerTextSize; }
    // The header text followed by at least two zero bytes; NULL when none has been read.
    const char* GetHeaderText() const { return m_headerText.empty() ? nullptr : m_headerText.data(); }

private:
    int Fail(int status) { return m_status = status; }

    int m_status = kNoFile;
    CString m_path;
    CString m_fileName;
    FILE* m_stream = nullptr;
    long m_fileSize = 0;
    long m_dataOffset = 0;
    long m_dataSize = 0;
    long m_headerTextOffset = 0;
    long m_headerTextSize = 0;
    std::vector<char> m_headerText;
};
