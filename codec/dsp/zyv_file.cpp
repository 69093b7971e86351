// ZYV package reader, its whole-file checksum and the table of released package sets.
#include "codec/dsp/zyv_file.h"

#include <cstring>

#include "framework/hw/crc32.h"
#include "platform/files.h"

namespace {

DWORD LoadDword(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;  // stored little-endian, as the host reads it
}

DWORD BytesCrc(const std::vector<BYTE>& bytes) {
    DWORD crc = 0xFFFFFFFF;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) crc = Crc32Word(crc, SwapDword(LoadDword(&bytes[i])));
    return crc;
}

// The whole file, when it can be read and is no longer than a package may be.
bool ReadWhole(const CString& path, std::vector<BYTE>& bytes, bool& tooLong) {
    tooLong = false;
    CFile::Status status;
    if (!CFile::GetStatus(path, status)) return false;
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) return false;
    const LONGLONG length = file.GetLength();
    if (length < 0) return false;
    if (length > static_cast<LONGLONG>(CZyvFile::kMaxFileBytes)) {
        tooLong = true;
        return false;
    }
    bytes.resize(static_cast<size_t>(length));
    return length == 0 || file.Read(bytes.data(), static_cast<UINT>(length)) == static_cast<UINT>(length);
}

}  // namespace

DWORD CZyvFile::Refuse(DWORD code, const char* reason) {
    m_error.Format("ZYV file[%s]: %s", m_fileName.c_str(), reason);
    m_bytes.clear();
    m_tables.clear();
    m_loaded = FALSE;
    return code;
}

DWORD CZyvFile::Load() {
    if (m_loaded) return kLoaded;
    m_error.Empty();
    bool tooLong = false;
    if (!ReadWhole(m_fileName, m_bytes, tooLong)) return Refuse(tooLong ? kBadLength : kCannotOpen, tooLong ? "longer than a package may be" : "cannot be read");
    const DWORD length = static_cast<DWORD>(m_bytes.size());
    if (length < kHeaderBytes || length % 4 != 0) return Refuse(kBadLength, "length is not a whole package");
    if (LoadDword(&m_bytes[0]) != kMagic) return Refuse(kBadHeader, "not a ZYV package");
    const DWORD count = LoadDword(&m_bytes[0x24]);
    if (count == 0 || count > kMaxTables) return Refuse(kBadHeader, "table count out of range");
    const DWORD directoryEnd = kHeaderBytes + count * kEntryBytes;
    if (directoryEnd > length) return Refuse(kBadDirectory, "directory runs past the end of the file");
    for (DWORD i = 0; i < count; ++i) {
        const BYTE* entry = &m_bytes[kHeaderBytes + i * kEntryBytes];
        const Table table{LoadDword(entry), LoadDword(entry + 4), LoadDword(entry + 8)};
        // Compared as differences so that no sum can wrap.
        if (table.size == 0 || table.size % 4 != 0 || table.offset < directoryEnd || table.offset > length ||
            table.size > length - table.offset)
            return Refuse(kBadDirectory, "a table lies outside the file");
        m_tables.push_back(table);
    }
    m_crc = BytesCrc(m_bytes);
    m_loaded = TRUE;
    return kLoaded;
}

DWORD CZyvFile::Field(DWORD offset) const { return m_loaded ? LoadDword(&m_bytes[offset]) : 0; }

BOOL CZyvFile::GetTable(DWORD type, const BYTE*& data, DWORD& size) const {
    data = nullptr;
    size = 0;
    if (!m_loaded) return FALSE;
    for (const Table& table : m_tables) {
        if (table.type != type) continue;
        data = &m_bytes[table.offset];
        size = table.size;
        return TRUE;
    }
    return FALSE;
}

CString CZyvFile::FormatResolutionInfo() const {
    const BYTE* data = nullptr;
    DWORD size = 0;
    if (!GetTable(kTableResolution, data, size)) return "No resolution table\n";
    CString text, line;
    for (DWORD at = 0, n = 0; at + 16 <= size; at += 16, ++n) {
        line.Format("Resolution[%u]  Width[%u]  Height[%u]  Lines[%u]  TotalLines[%u]\n", n, LoadDword(data + at),
                    LoadDword(data + at + 4), LoadDword(data + at + 8), LoadDword(data + at + 12));
        text += line;
    }
    return text;
}

BOOL ZyvFileChecksum(const CString& path, DWORD& crc) {
    crc = 0;
    std::vector<BYTE> bytes;
    bool tooLong = false;
    if (!ReadWhole(path, bytes, tooLong)) return FALSE;
    // A partial last word enters padded with zero bytes.
    while (bytes.size() % 4) bytes.push_back(0);
    crc = BytesCrc(bytes);
    return TRUE;
}

DWORD DetermineZyvPackage(CString directory, std::map<CString, DWORD>& checksums) {
    checksums.clear();
    if (directory.IsEmpty()) return 0;
    std::map<CString, DWORD> byUpperName;
    CFileFind find;
    for (BOOL more = find.FindFile(directory + "\\*.zyv"); more;) {
        more = find.FindNextFile();
        if (find.IsDirectory()) continue;
        DWORD crc = 0;
        if (!ZyvFileChecksum(find.GetFilePath(), crc)) continue;
        checksums[find.GetFileName()] = crc;
        CString upper = find.GetFileName();
        byUpperName[upper.MakeUpper()] = crc;
    }
    for (const ZyvRelease& release : ZyvReleases()) {
        bool all = true;
        for (const ZyvReleaseFile& file : release.files) {
            CString upper(file.name);
            const auto it = byUpperName.find(upper.MakeUpper());
            if (it == byUpperName.end() || it->second != file.crc) {
                all = false;
                break;
            }
        }
        if (all) return release.date;
    }
    return 0;
}

DWORD GetZyvPackageDate(CString directory) {
    std::map<CString, DWORD> scratch;
    return DetermineZyvPackage(std::move(directory), scratch);
}
