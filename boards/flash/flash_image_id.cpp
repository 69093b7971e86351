// CFlashImageID: placing, writing and reading the image ID record through the flash port.
#include "boards/flash/flash_image_id.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <ctime>

#include "platform/clock.h"
#include "platform/paths.h"

namespace {

constexpr int kHeaderBytes = 8;
// Flash words are read straight into the byte list.
static_assert(std::endian::native == std::endian::little);

int FloorTo(int value, int unit) { return value / unit * unit; }

// An environment value of any length, cut to the record's field width.
std::string EnvironmentField(const char* name) {
    std::vector<char> buffer(64);
    DWORD n = platform::GetEnvironmentVariable(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.assign(n + 1, '\0');
        n = platform::GetEnvironmentVariable(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (n == 0 || n >= buffer.size()) return {};
    return std::string(buffer.data(), std::min<size_t>(n, CFlashImageID::kMaxEnvironmentChars));
}

}  // namespace

void CFlashImageID::SetGeometry(int startWords, int freeWords, int sizeWords) {
    m_startBytes = startWords < 0 ? -1 : 2 * startWords;
    const int64_t size = sizeWords <= 0 ? 0 : int64_t{2} * sizeWords;
    m_sizeBytes = size > kMaxSegmentBytes ? 0 : FloorTo(static_cast<int>(size), kGranule);
    const int64_t free = freeWords <= 0 ? 0 : int64_t{2} * freeWords;
    m_maxBytes = std::min<int64_t>(FloorTo(static_cast<int>(std::min<int64_t>(free, kMaxSegmentBytes)), kGranule),
                                   m_sizeBytes);
    if (m_maxBytes < kHeaderBytes) m_maxBytes = 0;
    m_textOffset = -1;
    m_texts.clear();
    if (m_startBytes >= 0 && m_sizeBytes > 0 && m_maxBytes > 0)
        ProgMemDevImageID::SetGeometry(1, kGranule, m_startBytes, m_sizeBytes, m_maxBytes);
    else
        Reset();
}

void CFlashImageID::SetRevisionFrom(const char* headerText) {
    DWORD revision = 0;
    for (int i = 1; headerText && i <= 4 && std::isxdigit(static_cast<unsigned char>(headerText[i])); ++i)
        revision = revision * 16 + static_cast<DWORD>(std::isdigit(static_cast<unsigned char>(headerText[i]))
                                                          ? headerText[i] - '0'
                                                          : std::toupper(static_cast<unsigned char>(headerText[i])) - 'A' + 10);
    m_revision = static_cast<WORD>(revision);
    const DWORD header[2] = {revision | DWORD{kHeaderBytes} << 16, 0xFFFFFFFF};
    SetHeader(header);
}

BOOL CFlashImageID::SetTexts(const std::vector<std::string>& texts) {
    std::vector<char> list;
    for (const std::string& text : texts) {
        list.insert(list.end(), text.begin(), text.end());
        list.push_back('\0');
    }
    list.push_back('\0');
    list.push_back('\0');  // a list of no texts still reads as ended
    return SetIdText(list.data());
}

int CFlashImageID::GetRecordAddress() {
    if (m_startBytes < 0 || m_sizeBytes <= 0 || m_maxBytes <= 0) return -1;
    return GetIdAddress();
}

BOOL CFlashImageID::WriteId() {
    const int address = GetRecordAddress();
    if (address < 0) return FALSE;
    const int length = m_startBytes + m_sizeBytes - address;
    if (length <= 0 || length > m_maxBytes) return FALSE;

    std::vector<BYTE> bytes(static_cast<size_t>(length), 0xFF);
    const int textOffset = GetIdOffset();
    const int unitStart = address - m_startBytes;
    if (textOffset >= 0) {
        const int listLength = GetIdTextLength();
        std::copy_n(GetIdText(), listLength, bytes.begin() + (textOffset - unitStart));
        std::fill(bytes.begin() + (textOffset - unitStart + listLength), bytes.end() - kHeaderBytes, BYTE{0});
    } else {
        std::fill(bytes.end() - kHeaderBytes - 2, bytes.end() - kHeaderBytes, BYTE{0});
    }
    BYTE* header = bytes.data() + length - kHeaderBytes;
    const DWORD offsetField = static_cast<DWORD>(textOffset);
    header[0] = static_cast<BYTE>(m_revision);
    header[1] = static_cast<BYTE>(m_revision >> 8);
    header[2] = kHeaderBytes;
    header[3] = 0;
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<BYTE>(offsetField >> (8 * i));

    for (int unit = 0; unit < length; unit += kGranule) {
        WORD words[kGranule / 2];
        for (int i = 0; i < kGranule / 2; ++i)
            words[i] = static_cast<WORD>(bytes[static_cast<size_t>(unit + 2 * i)] |
                                         bytes[static_cast<size_t>(unit + 2 * i + 1)] << 8);
        if (!m_flash.WriteBuffer((address + unit) / 2, words)) return FALSE;
    }
    m_textOffset = textOffset;
    return TRUE;
}

BOOL CFlashImageID::ReadId() {
    m_texts.clear();
    m_textOffset = -1;
    m_revision = 0;
    if (m_startBytes < 0 || m_maxBytes < kHeaderBytes || !m_flash.GetPort()) return FALSE;

    WORD header[4];
    m_flash.ReadArray(4, (m_startBytes + m_sizeBytes) / 2 - 4, header);
    int64_t length = header[1];
    int64_t offset = DWORD{header[2]} | DWORD{header[3]} << 16;
    if (length == 4) {
        const int32_t wordAddress = static_cast<int32_t>(offset);
        offset = wordAddress > 0 ? 2 * int64_t{wordAddress} - m_startBytes : -1;
        length = kHeaderBytes;
    }
    if (length < kHeaderBytes || length > m_maxBytes) return FALSE;
    if (offset < std::max(m_sizeBytes - m_maxBytes, 1) || offset >= m_sizeBytes - length) return FALSE;

    const int textBytes = static_cast<int>(m_sizeBytes - length - offset);
    std::vector<WORD> words(static_cast<size_t>(textBytes + 1) / 2 + 2, 0);
    m_flash.ReadArray((textBytes + 1) / 2, static_cast<int>((m_startBytes + offset + 1) / 2), words.data());
    const char* list = reinterpret_cast<const char*>(words.data());
    std::vector<char> bytes(list, list + textBytes);
    bytes.insert(bytes.end(), 4, '\0');  // the list always ends, however the flash reads
    for (size_t at = 0; bytes[at] != '\0'; at += m_texts.back().size() + 1) m_texts.emplace_back(&bytes[at]);
    m_revision = header[0];
    m_textOffset = static_cast<int>(offset);
    return TRUE;
}

std::string CFlashImageID::InstallerText(const CString& fileName) {
    const struct tm now = platform::LocalTime();
    char date[64];
    if (std::strftime(date, sizeof date, "%A, %B %d, %Y", &now) == 0) date[0] = '\0';
    return std::string(" Filename:     ") + fileName.c_str() + "\n Installer:    " + EnvironmentField("USERDOMAIN") +
           " - " + EnvironmentField("USERNAME") + "\n Install Date: " + date + "\n";
}
