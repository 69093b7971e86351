// Whole-file OXD reader: validity, tag look-up by position, revision.
#include "framework/hw/oxd.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"

namespace {

inline BYTE Lower(BYTE c) { return (c >= 'A' && c <= 'Z') ? static_cast<BYTE>(c - 'A' + 'a') : c; }

bool EqualNoCase(const BYTE* a, const BYTE* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// The name part of a path as given: after its last separator, else after a drive colon.
CString FileNamePart(const CString& path) {
    const int cut = std::max({path.ReverseFind('\\'), path.ReverseFind('/'), path.ReverseFind(':')});
    return path.Mid(cut + 1);
}

}  // namespace

COxd::COxd(CString nameOrBytes, int mode) : m_mode(mode) {
    CString fileName;
    if (IsFileMode()) {
        // Sizes and offsets in an image are DWORDs: a larger file is no image, and none of it is read.
        if (!platform::ReadWholeFile(nameOrBytes, m_data, 0xFFFFFFFF)) {
            m_data.clear();
            return;
        }
        fileName = FileNamePart(nameOrBytes);
        // A header length inside the fixed head or past the end of the file would send every tag
        // look-up and GetData outside the bytes read, so such files are not OXD files.
        if (m_data.size() < kTagStart || HeaderLength() < kTagStart || HeaderLength() > m_data.size()) {
            m_data.clear();
            return;
        }
    } else {
        m_data.assign(nameOrBytes.c_str(), nameOrBytes.c_str() + nameOrBytes.GetLength());
        if (m_data.empty()) return;
    }
    m_loaded = true;

    BYTE name[80] = {};
    DWORD length = 0;
    bool ok = GetTagBytes('N', 79, name, &length);
    if (ok && IsFileMode()) {
        const size_t n = std::min({std::strlen(reinterpret_cast<const char*>(name)), size_t{8},
                                   static_cast<size_t>(fileName.GetLength())});
        ok = EqualNoCase(reinterpret_cast<const BYTE*>(fileName.c_str()), name, n);
    }
    if (!ok) {
        m_loaded = false;
        m_data.clear();
    }
}

DWORD COxd::HeaderLength() const {
    return static_cast<DWORD>(m_data[8]) << 24 | static_cast<DWORD>(m_data[9]) << 16 | static_cast<DWORD>(m_data[10]) << 8 |
           m_data[11];
}

BOOL COxd::IsValid() const {
    if (!m_loaded) return FALSE;
    return !IsFileMode() || std::memcmp(m_data.data(), kMagic, 8) == 0;
}

BOOL COxd::GetHeaderSize(DWORD& size) const {
    size = 0;
    if (!IsFileMode() || !IsValid()) return FALSE;
    size = HeaderLength();
    return TRUE;
}

DWORD COxd::GetHeaderEnd() const {
    if (!IsFileMode()) return GetDataSize();
    DWORD size = 0;
    GetHeaderSize(size);
    return size;
}

DWORD COxd::GetTagStart() const { return IsFileMode() ? kTagStart : 0; }

DWORD COxd::GetDataSize() const {
    if (!IsValid()) return 0;
    const DWORD size = static_cast<DWORD>(m_data.size());
    return IsFileMode() ? size - HeaderLength() : size;
}

const BYTE* COxd::GetData() const {
    if (!IsFileMode() || !IsValid()) return nullptr;
    return m_data.data() + HeaderLength();
}

bool COxd::FindTag(char letter, DWORD& start, DWORD& length) const {
    if (!IsValid()) return false;
    const BYTE want = Lower(static_cast<BYTE>(letter));
    if (want < 'a' || want > 'z') return false;
    const DWORD headerEnd = GetHeaderEnd();
    if (headerEnd < 1) return false;
    const DWORD end = headerEnd - 1;  // within the bytes held: headerEnd <= size
    for (DWORD i = GetTagStart(); i < end; ++i) {
        if (m_data[i + 1] != ':' || Lower(m_data[i]) != want) continue;
        DWORD k = i + 2;
        while (k < end && m_data[k] != ';') ++k;
        start = i + 2;
        length = k > start ? k - start : 0;
        return true;
    }
    return false;
}

BOOL COxd::GetTagBytes(char letter, DWORD room, BYTE* buffer, DWORD* length) const {
    if (length) *length = 0;
    if (!IsValid()) return FALSE;
    if (buffer)
        std::memset(buffer, 0, room);
    else
        room = 0;
    DWORD start = 0, valueLength = 0;
    if (!FindTag(letter, start, valueLength)) return FALSE;
    const DWORD n = room ? std::min(room, valueLength) : valueLength;
    if (room) std::memcpy(buffer, m_data.data() + start, std::min(n, room));
    if (length) *length = n;
    return TRUE;
}

BOOL COxd::GetTag(char letter, CString& value) const {
    DWORD start = 0, length = 0;
    if (!FindTag(letter, start, length)) return FALSE;
    value = CString(reinterpret_cast<const char*>(m_data.data() + start), static_cast<int>(length));
    return TRUE;
}

BOOL COxd::IsTagEqual(char letter, DWORD length, const void* bytes) const {
    if (length == 0 || !bytes) return FALSE;
    BYTE value[80] = {};
    DWORD n = 0;
    if (!GetTagBytes(letter, 79, value, &n)) return FALSE;
    return n == length && EqualNoCase(value, static_cast<const BYTE*>(bytes), n);
}

BOOL COxd::GetRevision(CString& revision) const {
    if (!IsValid()) return FALSE;
    revision = "Unknown";
    DWORD length = 0;
    if (!GetTagBytes('R', 0, nullptr, &length)) return FALSE;
    std::vector<BYTE> text(length + 1, 0);
    GetTagBytes('R', length, text.data(), nullptr);
    revision = CString(reinterpret_cast<const char*>(text.data()));
    return TRUE;
}

CString COxd::GetRevisionText() const {
    CString revision;
    if (!GetRevision(revision)) return CString();
    return "REVISION:  " + revision + "\n";
}
