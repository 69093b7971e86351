// OXD firmware image files: the magic, a big-endian header length, letter-tagged header text, the image data.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

// File layout: bytes 0-7 "ZORV.OXD"; 8-11 the header length L, big-endian, which is also where the
// data starts; 12-43 not read here; 44 to L-1 the tag area of entries "X:value;" (X a letter, either
// case). COxd holds a whole file (mode 1) or bytes given in memory (any other mode, searched for
// tags from their first byte, no header) and answers tag questions. A file is valid only when its
// magic is exact, 44 <= L <= its size, it has an "N" tag and that name agrees with the file's own
// name in its first characters (up to 8, case ignored). An invalid reader answers FALSE, 0 or NULL.
class COxd {
public:
    static constexpr const char* kMagic = "ZORV.OXD";
    static constexpr DWORD kTagStart = 44;

    COxd(CString nameOrBytes, int mode);
    virtual ~COxd() = default;

    // L; FALSE (and 0) when invalid or not a file.
    virtual BOOL GetHeaderSize(DWORD& size) const;
    // One past the last byte searched for tags: L for a file, else the data size.
    virtual DWORD GetHeaderEnd() const;
    virtual DWORD GetTagStart() const;
    virtual BOOL IsValid() const;
    // The bytes after the header (a file), or all bytes (memory).
    virtual DWORD GetDataSize() const;
    // The image data of a file; NULL when invalid or in memory mode.
    virtual const BYTE* GetData() const;
    // A tag's value: from the first "X:" (X either case) anywhere in the tag area, up to the next
    // ";" or the last byte of the area, which is never part of a value.
    virtual BOOL GetTag(char letter, CString& value) const;
    // Copies the value into buffer (its first room bytes are zeroed first); length gets the value's
    // length, cut to room when room is not 0. With no buffer and room 0 it reports the full length.
    virtual BOOL GetTagBytes(char letter, DWORD room, BYTE* buffer, DWORD* length) const;
    // The value (its first 79 bytes) equals the bytes, case ignored.
    virtual BOOL IsTagEqual(char letter, DWORD length, const void* bytes) const;
    // "REVISION:  <rev>\n", or "" without an "R" tag.
    virtual CString GetRevisionText() const;
    // The "R" value; "Unknown" and FALSE without one; FALSE and untouched when invalid.
    virtual BOOL GetRevision(CString& revision) const;

private:
    bool FindTag(char letter, DWORD& start, DWORD& length) const;
    bool IsFileMode() const { return m_mode == 1; }
    DWORD HeaderLength() const;

    std::vector<BYTE> m_data;
    bool m_loaded = false;
    int m_mode;
};

// The flash firmware file's reader: the same reader under a type of its own.
class CTriskoOxd : public COxd {
public:
    using COxd::COxd;
};
