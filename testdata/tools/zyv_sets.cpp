// Synthetic ZYV packages: header, directory of three tables, table contents seeded by release and VCID.
#include "testdata/tools/zyv_sets.h"

#include <cstdio>

namespace zyvgen {

namespace {

void Put(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

const std::vector<Format>& Formats() {
    // Standard definition interlaced formats are stored as fields, the rest as frames.
    static const std::vector<Format> kFormats = {
        {0x4D6, false, 2, 720, 486, 243, 262, 0x40000},  {0x4D7, true, 2, 720, 486, 243, 262, 0x50000},
        {0x4D8, false, 2, 720, 576, 288, 312, 0x48000},  {0x4D9, true, 2, 720, 576, 288, 312, 0x5A000},
        {0x4DA, false, 1, 1280, 720, 720, 750, 0xC0000}, {0x4DB, true, 1, 1280, 720, 720, 750, 0xF0000},
        {0x4DC, false, 2, 1920, 1080, 540, 562, 0x120000}, {0x4DD, true, 2, 1920, 1080, 540, 562, 0x168000},
        {0x4DE, false, 1, 1920, 1080, 1080, 1125, 0x120000}, {0x4DF, true, 1, 1920, 1080, 1080, 1125, 0x168000},
        {0x4E0, false, 1, 720, 486, 486, 525, 0x40000},  {0x4E1, true, 1, 720, 576, 576, 625, 0x5A000},
        {0x4E3, false, 2, 720, 486, 243, 262, 0x30000},  {0x4E4, true, 2, 720, 486, 243, 262, 0x3C000},
        {0x4E5, true, 1, 1280, 720, 720, 750, 0xB4000},
    };
    return kFormats;
}

const std::vector<uint32_t>& ReleaseDates() {
    static const std::vector<uint32_t> kDates = {20040521, 20040416, 20040319};
    return kDates;
}

std::string FileName(uint32_t vcid) {
    char name[16];
    std::snprintf(name, sizeof name, "ZM%04X.zyv", vcid & 0xFFFF);
    return name;
}

std::vector<uint8_t> BuildPackage(uint32_t date, const Format& f) {
    constexpr uint32_t kTableWords = 256, kTables = 3, kHeader = 0x28, kEntry = 12;
    const uint32_t directoryEnd = kHeader + kTables * kEntry;
    const uint32_t sizes[kTables] = {kTableWords * 4, kTableWords * 4, 16};
    const uint32_t types[kTables] = {0, 1, 128};
    std::vector<uint8_t> out;
    Put(out, 0x3156595A);
    Put(out, f.vcid);
    Put(out, f.tenBit ? 1 : 0);
    Put(out, f.layout);
    Put(out, f.width);
    Put(out, f.height);
    Put(out, f.lines);
    Put(out, f.totalLines);
    Put(out, f.maxFrameBytes);
    Put(out, kTables);
    uint32_t offset = directoryEnd;
    for (uint32_t i = 0; i < kTables; ++i) {
        Put(out, types[i]);
        Put(out, offset);
        Put(out, sizes[i]);
        offset += sizes[i];
    }
    // xorshift32 seeded by release and format: tables that change from release to release.
    uint32_t state = date * 2654435761u ^ f.vcid * 40503u ^ 0x9E3779B9u;
    for (int t = 0; t < 2; ++t)
        for (uint32_t i = 0; i < kTableWords; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            Put(out, state);
        }
    Put(out, f.width);
    Put(out, f.height);
    Put(out, f.lines);
    Put(out, f.totalLines);
    return out;
}

uint32_t Crc32Mpeg2(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : bytes) {
        crc ^= uint32_t{b} << 24;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

}  // namespace zyvgen
