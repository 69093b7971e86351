// CFlashImageID: the image ID record at the end of a flash segment (revision, installer text, OXD header text).
#pragma once

#include <string>
#include <vector>

#include "framework/hw/flash_prom.h"
#include "framework/hw/image_id.h"
#include "platform/cstring.h"
#include "platform/types.h"

// The record is a stored format: boards programmed long ago are read by later versions, so the
// layout never changes. In bytes from the segment start, S the segment size:
//   S-8 revision (u16), S-6 header length 8 (u16), S-4 text offset T (u32, 0xFFFFFFFF: no text);
//   T.. the text list (NUL-ended texts, then an empty one; L bytes), zero up to the header;
//   0xFF from T rounded down to 32 up to T.
// T = (S - 8 - L) rounded down to even. Without text only the last 32 bytes are written. Nothing
// before the record's 32-byte unit is touched. Flash words hold byte 2i low, 2i + 1 high.
// An older form (header length 4) held the text's position as an absolute flash word address.
class CFlashImageID : public ProgMemDevImageID {
public:
    static constexpr int kGranule = 32;            // one 16-word buffered flash write
    static constexpr int kMaxSegmentBytes = 0x800000;
    static constexpr int kReportRecordWords = 0x10000;
    static constexpr int kMaxEnvironmentChars = 19;

    CFlashImageID() = default;

    // Segment start and size and the free words after the image, all in flash words. A negative
    // start, a size above the flash or free space below 8 bytes leave no place for a record.
    void SetGeometry(int startWords, int freeWords, int sizeWords);
    // The header from the OXD header text: characters 1-4 read as hexadecimal (up to the first
    // character that is no hex digit).
    void SetRevisionFrom(const char* headerText);
    // Stores the text list; FALSE (no text kept) when it does not fit the free space.
    BOOL SetTexts(const std::vector<std::string>& texts);

    // Byte address of the record in the flash, -1 when it has no place.
    int GetRecordAddress();
    // Writes the record from its address to the segment end in 32-byte units; FALSE when it has no
    // place or a write fails (units written before stay written).
    BOOL WriteId();
    // Reads the record at the segment's end; FALSE when none is there (an erased segment reads as
    // length 0xFFFF).
    BOOL ReadId();

    CFlashPROM& Flash() { return m_flash; }
    WORD GetRevision() const { return m_revision; }
    // The byte offset of the text list read or placed, -1 when there is none.
    int GetTextOffset() const { return m_textOffset; }
    // The texts of the list read back (the empty text that ends it not included).
    const std::vector<std::string>& GetTexts() const { return m_texts; }

    // " Filename:     <file>\n Installer:    <domain> - <user>\n Install Date: <date>\n", the
    // environment values cut to 19 characters and the local date as "Saturday, December 05, 2026".
    static std::string InstallerText(const CString& fileName);

private:
    int m_startBytes = -1;
    int m_sizeBytes = 0;
    int m_maxBytes = 0;
    WORD m_revision = 0;
    int m_textOffset = -1;
    std::vector<std::string> m_texts;
    CFlashPROM m_flash;
};
