// A small OXD file writer for the tests: magic, big-endian header length, tag text, image data.
#pragma once

#include <cstdint>
#include <string>

namespace oxdtest {

struct OxdParts {
    std::string magic = "ZORV.OXD";
    std::string head = std::string(32, '\x5A');  // bytes 12-43, not interpreted by the readers
    std::string tags;                           // "N:KEZO0101;R:0202;"
    std::string data;
    // The header length written at byte 8; by default the true one (44 + the tags' length).
    int64_t headerLength = -1;
};

inline std::string BigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string MakeOxd(const OxdParts& parts) {
    const uint32_t length = parts.headerLength >= 0 ? static_cast<uint32_t>(parts.headerLength)
                                                     : static_cast<uint32_t>(12 + parts.head.size() + parts.tags.size());
    return parts.magic + BigEndian(length) + parts.head + parts.tags + parts.data;
}

}  // namespace oxdtest
