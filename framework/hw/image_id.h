// The identification block at the end of a flash firmware segment: segment geometry, placement, header and texts.
#pragma once

#include <vector>

#include "platform/types.h"

// The 8-byte header that leads the identification block.
struct ImageIdHeader {
    WORD tag;
    WORD length;    // 8; the old form said 4
    int32_t value;  // the block's offset within the segment once placed, else -1
};
static_assert(sizeof(ImageIdHeader) == 8);

// A segment of a flash device, kept aligned to its (power of two) block size, with room reserved
// at its end for an identification block: the header followed by a list of zero-terminated texts
// ended by an empty text. Every setter re-derives the dependent fields (Normalize); bad input
// resets the record or leaves fields unset (-1) rather than failing.
class ProgMemDevImageID {
public:
    static constexpr int kMaxBlockSize = 0x20000000;
    static constexpr int kHeaderSize = 8;

    ProgMemDevImageID() { Reset(); }
    virtual ~ProgMemDevImageID() = default;
    ProgMemDevImageID(const ProgMemDevImageID&) = default;
    ProgMemDevImageID& operator=(const ProgMemDevImageID&) = default;

    // Drops the texts, zeroes sizes, header and flags; segment and maximum id size become -1.
    virtual ImageIdHeader* Reset();
    // Re-derives every dependent field and places the block; answers the id text length.
    virtual int Normalize();

    int SetGeometry(int blockSize, int idAlignment, int segmentStart, int segmentSize, int maxIdSize);
    // The header when one is present, else NULL. Writes through it take effect at the next Normalize.
    ImageIdHeader* GetHeader() { return m_headerPresent ? &m_header : nullptr; }
    // Takes the header from its two words (tag | length << 16, value); the length becomes 8.
    void SetHeader(const DWORD header[2]);
    // Stores a copy of a text list; FALSE when it is shorter than 3 bytes or does not fit the
    // maximum id size less the header.
    BOOL SetIdText(const char* list);
    // Bytes of a text list up to and including the empty text that ends it; 0 for NULL.
    static int StringListLength(const char* list);
    // Places the block as high in the segment as it goes (at an even offset) and flags it when it
    // would start below the reserved room; answers the id text length.
    int LocateId();
    // The flash address of the identification block, aligned down to the id alignment; -1 when the
    // segment or the reserved room is not set.
    int GetIdAddress();

    int GetBlockSize() const { return m_blockSize; }
    int GetIdAlignment() const { return m_idAlignment; }
    int GetSegmentStart() const { return m_segmentStart; }
    int GetSegmentEnd() const { return m_segmentEnd; }
    int GetSegmentSize() const { return m_segmentSize; }
    int GetMaxIdSize() const { return m_maxIdSize; }
    int GetHeaderLength() const { return m_headerLength; }
    int GetIdOffset() const { return m_idOffset; }
    int GetIdTextLength() const { return m_idTextLength; }
    // The stored list, zero-padded to a multiple of 16 bytes; NULL when there is none.
    const char* GetIdText() const { return m_idText.empty() ? nullptr : m_idText.data(); }
    BOOL DoesNotFit() const { return m_doesNotFit; }

private:
    int RoundUpToBlock(int size) const;
    void DropIdText();

    int m_blockSize = 0;
    int m_idAlignment = 0;
    int m_segmentStart = -1;
    int m_segmentEnd = -1;
    int m_segmentSize = -1;
    int m_maxIdSize = -1;
    int m_headerLength = 0;
    int m_idOffset = -1;
    BOOL m_headerPresent = FALSE;
    ImageIdHeader m_header{};
    int m_idTextLength = 0;
    std::vector<char> m_idText;
    BOOL m_doesNotFit = FALSE;
};
