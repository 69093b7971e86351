// The synthetic ZYV package sets of the three releases: what make_zyv writes and the tests generate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zyvgen {

// One video format of a set.
struct Format {
    uint32_t vcid;
    bool tenBit;
    uint32_t layout;  // 1 frame, 2 separate fields
    uint32_t width, height, lines, totalLines, maxFrameBytes;
};

// The 15 formats every release carries, in file order.
const std::vector<Format>& Formats();
// The release dates, newest first.
const std::vector<uint32_t>& ReleaseDates();
// "ZM04D6.zyv" for VCID 0x4D6.
std::string FileName(uint32_t vcid);
// The package of that format in that release: three tables (encode, decode, resolution) whose
// contents depend on the release, so each release's files differ from every other's.
std::vector<uint8_t> BuildPackage(uint32_t date, const Format& format);
// CRC-32/MPEG-2 of the bytes, bit by bit ("123456789" gives 0x0376E6E7): the checksum a release
// table lists for each file.
uint32_t Crc32Mpeg2(const std::vector<uint8_t>& bytes);

}  // namespace zyvgen
