// ZYV table packages: the reader of one package file and the identification of a released package set.
#pragma once

#include <map>
#include <vector>

#include "framework/hw/byte_order.h"
#include "platform/cstring.h"
#include "platform/types.h"

// A package holds the binary tables the codec firmware needs for one video format (VCID). Layout,
// every field a little-endian DWORD:
//   0x00 magic "ZYV1"          0x04 VCID               0x08 flags (bit 0: 10-bit samples)
//   0x0C frame layout (1 frame, 2 separate fields)      0x10 raster width   0x14 raster height
//   0x18 lines per frame        0x1C total lines per frame
//   0x20 maximum compressed frame size in bytes         0x24 number of tables N (1 .. 16)
//   0x28 N directory entries {type, offset, size}; each table lies after the directory, inside the
//   file, its size a non-zero multiple of 4. Types: 0 encode, 1 decode, 128 resolution (records of
//   four DWORDs: active width, active height, lines per frame, total lines per frame).
// The whole file is a multiple of 4 bytes long and at most kMaxFileBytes. A file that breaks any of
// these is refused as a whole: no accessor answers from it.
class CZyvFile {
public:
    static constexpr DWORD kMagic = 0x3156595A;  // "ZYV1" as stored
    static constexpr DWORD kHeaderBytes = 0x28, kEntryBytes = 12, kMaxTables = 16;
    static constexpr DWORD kMaxFileBytes = 1u << 20;
    static constexpr DWORD kTableEncode = 0, kTableDecode = 1, kTableResolution = 128;
    static constexpr DWORD kFrameLayoutFrame = 1, kFrameLayoutFields = 2;
    // Load results.
    enum LoadResult : DWORD { kLoaded = 1, kCannotOpen = 2, kBadLength = 3, kBadHeader = 4, kBadDirectory = 5 };

    explicit CZyvFile(CString fileName) : m_fileName(std::move(fileName)) {}

    // Reads and checks the file: kLoaded (also when already loaded), else the reason it was refused.
    DWORD Load();
    BOOL IsLoaded() const { return m_loaded; }
    const CString& GetFileName() const { return m_fileName; }
    // A one-line reason for the last refused load; empty after a good one.
    const CString& GetLoadError() const { return m_error; }

    // Header fields; 0 before a good load.
    DWORD GetVCID() const { return Field(0x04); }
    BOOL Is10Bit() const { return (Field(0x08) & 1) ? TRUE : FALSE; }
    DWORD GetFrameLayout() const { return Field(0x0C); }
    DWORD GetRasterWidth() const { return Field(0x10); }
    DWORD GetRasterHeight() const { return Field(0x14); }
    DWORD GetLinesPerFrame() const { return Field(0x18); }
    DWORD GetTotalLinesPerFrame() const { return Field(0x1C); }
    DWORD GetMaxCompressedFrameSize() const { return Field(0x20); }
    DWORD GetNumberOfBinaryTables() const { return m_loaded ? static_cast<DWORD>(m_tables.size()) : 0; }
    // The first table of that type: its bytes (valid while the object lives) and size; FALSE and
    // null / 0 when there is none.
    BOOL GetTable(DWORD type, const BYTE*& data, DWORD& size) const;
    // The resolution table as printable lines, one a record; a line saying it is missing otherwise.
    CString FormatResolutionInfo() const;
    // CRC-32 (the MPEG-2 variant, bytes in file order) of the whole file; 0 before a good load.
    DWORD GetFileCrc() const { return m_loaded ? m_crc : 0; }

private:
    struct Table {
        DWORD type, offset, size;
    };
    DWORD Field(DWORD offset) const;
    DWORD Refuse(DWORD code, const char* reason);

    CString m_fileName;
    std::vector<BYTE> m_bytes;
    std::vector<Table> m_tables;
    CString m_error;
    DWORD m_crc = 0;
    BOOL m_loaded = FALSE;
};

// CRC-32 of a package file as DetermineZyvPackage counts it (the whole file as CZyvFile::GetFileCrc);
// FALSE when the file cannot be read or is longer than a package may be.
BOOL ZyvFileChecksum(const CString& path, DWORD& crc);

// A released package set: its date and the files it consists of, each with its checksum.
struct ZyvReleaseFile {
    const char* name;
    DWORD crc;
};
struct ZyvRelease {
    DWORD date;  // yyyymmdd
    ZyvReleaseFile files[15];
};
// The known releases, newest first.
const std::vector<ZyvRelease>& ZyvReleases();

// Fills checksums with every "*.zyv" file of directory (by file name, as found) and its checksum,
// and returns the date of the first known release, newest first, whose files are all there with
// their checksums (names compared without regard to case); 0 when none is. Reads each file once.
DWORD DetermineZyvPackage(CString directory, std::map<CString, DWORD>& checksums);
// DetermineZyvPackage with a scratch map.
DWORD GetZyvPackageDate(CString directory);
