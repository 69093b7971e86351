// ProgMemDevImageID: segment geometry and placement of the flash identification block.
#include "framework/hw/image_id.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace {

// The largest multiple of step not above INT_MAX, for sizes that would round past it.
int64_t FitInt(int64_t value, int64_t step) { return value > INT_MAX ? (INT_MAX / step) * step : value; }

}  // namespace

ImageIdHeader* ProgMemDevImageID::Reset() {
    DropIdText();
    m_blockSize = 0;
    m_idAlignment = 0;
    m_headerLength = 0;
    m_headerPresent = FALSE;
    m_header = {};
    m_doesNotFit = FALSE;
    m_segmentStart = m_segmentEnd = m_segmentSize = -1;
    m_maxIdSize = -1;
    m_idOffset = -1;
    return &m_header;
}

void ProgMemDevImageID::DropIdText() {
    m_idText.clear();
    m_idTextLength = 0;
}

int ProgMemDevImageID::RoundUpToBlock(int size) const {
    if (size < 1) return 0;
    const int64_t block = m_blockSize;
    return static_cast<int>(FitInt((size + block - 1) / block * block, block));
}

int ProgMemDevImageID::Normalize() {
    if (m_blockSize < 1 || m_blockSize > kMaxBlockSize) {
        Reset();
        return m_idTextLength;
    }
    m_blockSize = static_cast<int>(std::bit_ceil(static_cast<unsigned>(m_blockSize)));
    const int64_t block = m_blockSize;
    m_idAlignment = RoundUpToBlock(m_idAlignment);

    if (m_segmentSize < 8) {
        m_segmentSize = 0;
        m_segmentStart = m_segmentEnd = -1;
    } else if (m_segmentStart < 0) {
        m_segmentStart = m_segmentEnd = -1;
    } else {
        const int64_t start = m_segmentStart / block * block;
        const int64_t end = (int64_t{m_segmentStart} + m_segmentSize + block - 1) / block * block;
        if (end > INT_MAX) {
            // A segment reaching past the address range cannot be placed.
            m_segmentStart = m_segmentEnd = -1;
        } else {
            m_segmentStart = static_cast<int>(start);
            m_segmentEnd = static_cast<int>(end);
            m_segmentSize = static_cast<int>(end - start);
        }
    }
    if (m_maxIdSize < 8) m_maxIdSize = 8;

    if (m_headerPresent && m_header.length == 4) {
        // The old header counted the offset in half units from the start of the flash.
        m_header.length = 8;
        m_header.value = (m_header.value < 1 || m_segmentStart < 0)
                             ? -1
                             : static_cast<int32_t>(2 * int64_t{m_header.value} - m_segmentStart);
    }
    if (m_headerPresent && m_header.length % 2 == 0 && m_header.length >= 8) {
        m_header.length = 8;
    } else {
        m_headerPresent = FALSE;
        m_header = {};
    }
    LocateId();
    return m_idTextLength;
}

int ProgMemDevImageID::SetGeometry(int blockSize, int idAlignment, int segmentStart, int segmentSize, int maxIdSize) {
    Reset();
    m_blockSize = blockSize;
    m_idAlignment = idAlignment;
    m_segmentStart = segmentStart;
    m_segmentSize = segmentSize;
    m_maxIdSize = maxIdSize;
    return Normalize();
}

void ProgMemDevImageID::SetHeader(const DWORD header[2]) {
    m_headerPresent = TRUE;
    m_header.tag = static_cast<WORD>(header[0]);
    m_header.length = 8;
    m_header.value = static_cast<int32_t>(header[1]);
    Normalize();
}

int ProgMemDevImageID::StringListLength(const char* list) {
    if (!list) return 0;
    int n = 0;
    for (;;) {
        if (list[n++] == '\0' && list[n] == '\0') return n + 1;
    }
}

BOOL ProgMemDevImageID::SetIdText(const char* list) {
    DropIdText();
    const int n = StringListLength(list);
    if (n < 3) return FALSE;
    if (m_maxIdSize > 0 && n > m_maxIdSize - kHeaderSize) return FALSE;
    m_idText.assign(static_cast<size_t>((n + 15) / 16 * 16), '\0');
    std::memcpy(m_idText.data(), list, static_cast<size_t>(n));
    m_idTextLength = n;
    Normalize();
    return m_idTextLength > 0;
}

int ProgMemDevImageID::LocateId() {
    const int n = m_idText.empty() ? 0 : StringListLength(m_idText.data());
    if (n < 3)
        DropIdText();
    else
        m_idTextLength = n;
    m_idOffset = -1;
    m_headerLength = m_headerPresent ? m_header.length : kHeaderSize;

    if (m_maxIdSize < 0) {
        m_doesNotFit = m_idTextLength > 0;
    } else {
        const int blockLength = (m_idTextLength ? m_idTextLength : 2) + m_headerLength;
        const int roomStart = std::max(0, m_segmentSize - m_maxIdSize);
        if (m_segmentSize < blockLength) {
            m_doesNotFit = TRUE;
        } else {
            const int offset = (m_segmentSize - blockLength) & ~1;
            m_doesNotFit = offset < roomStart;
            if (!m_doesNotFit && m_idTextLength > 0) m_idOffset = offset;
        }
    }
    if (m_headerPresent) m_header.value = m_idOffset;
    return m_idTextLength;
}

int ProgMemDevImageID::GetIdAddress() {
    if (m_segmentStart < 0 || m_segmentSize < 1 || m_maxIdSize < 1) return -1;
    LocateId();
    int offset = m_idOffset;
    if (offset == -1) {
        offset = m_segmentSize - m_headerLength;
        if (offset < 0) return -1;
    }
    if (m_idAlignment > 0) {
        if (offset < 1) return m_segmentStart;
        offset = offset / m_idAlignment * m_idAlignment;
    }
    return static_cast<int>(std::min<int64_t>(int64_t{m_segmentStart} + offset, INT_MAX));
}
