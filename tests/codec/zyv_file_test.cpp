// ZYV packages: every generated package read back, damaged files refused, release sets recognised by date.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "codec/dsp/zyv_file.h"
#include "testdata/tools/zyv_sets.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

void PutDword(std::string& bytes, size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }

// Writes one release's 15 files into dir.
void WriteRelease(const support::TempDir& dir, const std::string& sub, uint32_t date) {
    for (const zyvgen::Format& f : zyvgen::Formats()) dir.Write(sub + "/" + zyvgen::FileName(f.vcid), Bytes(zyvgen::BuildPackage(date, f)));
}

TEST(ZyvFile, EveryGeneratedPackageReadsBackItsFormatAndTables) {
    support::TempDir dir;
    for (uint32_t date : zyvgen::ReleaseDates())
        for (const zyvgen::Format& f : zyvgen::Formats()) {
            const std::vector<uint8_t> bytes = zyvgen::BuildPackage(date, f);
            const std::string path = dir.Write(std::to_string(date) + "/" + zyvgen::FileName(f.vcid), Bytes(bytes));
            CZyvFile zyv(path.c_str());
            SCOPED_TRACE(path);
            ASSERT_EQ(zyv.Load(), CZyvFile::kLoaded) << zyv.GetLoadError().c_str();
            EXPECT_EQ(zyv.Load(), CZyvFile::kLoaded);  // again: already loaded
            EXPECT_EQ(zyv.GetVCID(), f.vcid);
            EXPECT_EQ(zyv.Is10Bit(), f.tenBit ? TRUE : FALSE);
            EXPECT_EQ(zyv.GetFrameLayout(), f.layout);
            EXPECT_EQ(zyv.GetRasterWidth(), f.width);
            EXPECT_EQ(zyv.GetRasterHeight(), f.height);
            EXPECT_EQ(zyv.GetLinesPerFrame(), f.lines);
            EXPECT_EQ(zyv.GetTotalLinesPerFrame(), f.totalLines);
            EXPECT_EQ(zyv.GetMaxCompressedFrameSize(), f.maxFrameBytes);
            EXPECT_EQ(zyv.GetNumberOfBinaryTables(), 3u);
            EXPECT_EQ(zyv.GetFileCrc(), zyvgen::Crc32Mpeg2(bytes));
            const BYTE* data = nullptr;
            DWORD size = 0;
            ASSERT_TRUE(zyv.GetTable(CZyvFile::kTableEncode, data, size));
            EXPECT_EQ(size, 1024u);
            EXPECT_EQ(0, std::memcmp(data, bytes.data() + 0x4C, size));  // right after the directory
            ASSERT_TRUE(zyv.GetTable(CZyvFile::kTableDecode, data, size));
            EXPECT_EQ(0, std::memcmp(data, bytes.data() + 0x4C + 1024, size));
            EXPECT_FALSE(zyv.GetTable(2, data, size));
            EXPECT_EQ(data, nullptr);
            char line[160];
            std::snprintf(line, sizeof line, "Resolution[0]  Width[%u]  Height[%u]  Lines[%u]  TotalLines[%u]\n", f.width, f.height,
                          f.lines, f.totalLines);
            EXPECT_EQ(std::string(zyv.FormatResolutionInfo().c_str()), line);
        }
}

TEST(ZyvFile, PublishedCheckValue) {
    EXPECT_EQ(zyvgen::Crc32Mpeg2({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x0376E6E7u);
}

TEST(ZyvFile, DamagedFilesAreRefusedAndAnswerNothing) {
    support::TempDir dir;
    const std::string good = Bytes(zyvgen::BuildPackage(20040521, zyvgen::Formats()[0]));
    struct Row {
        const char* what;
        std::string bytes;
        DWORD result;
    };
    std::vector<Row> rows = {
        {"empty", "", CZyvFile::kBadLength},
        {"header cut", good.substr(0, 0x24), CZyvFile::kBadLength},
        {"not whole words", good.substr(0, good.size() - 2), CZyvFile::kBadLength},
        {"last table cut short", good.substr(0, good.size() - 4), CZyvFile::kBadDirectory},
        {"directory cut", good.substr(0, 0x30), CZyvFile::kBadDirectory},
        {"too long", good + std::string(CZyvFile::kMaxFileBytes, '\0'), CZyvFile::kBadLength},
    };
    auto patched = [&](size_t at, uint32_t v) {
        std::string b = good;
        PutDword(b, at, v);
        return b;
    };
    rows.push_back({"magic", patched(0, 0x3256595A), CZyvFile::kBadHeader});
    rows.push_back({"no tables", patched(0x24, 0), CZyvFile::kBadHeader});
    rows.push_back({"too many tables", patched(0x24, 17), CZyvFile::kBadHeader});
    rows.push_back({"table count past the file", patched(0x24, 16), CZyvFile::kBadDirectory});
    rows.push_back({"offset inside the directory", patched(0x28 + 4, 0x40), CZyvFile::kBadDirectory});
    rows.push_back({"offset past the end", patched(0x28 + 4, 0xFFFFFFF0), CZyvFile::kBadDirectory});
    rows.push_back({"size wraps the offset", patched(0x28 + 8, 0xFFFFFFFC), CZyvFile::kBadDirectory});
    rows.push_back({"size not whole words", patched(0x28 + 8, 1022), CZyvFile::kBadDirectory});
    rows.push_back({"size zero", patched(0x28 + 8, 0), CZyvFile::kBadDirectory});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CZyvFile zyv(dir.Write("bad.zyv", row.bytes).c_str());
        EXPECT_EQ(zyv.Load(), row.result);
        EXPECT_FALSE(zyv.IsLoaded());
        EXPECT_FALSE(zyv.GetLoadError().IsEmpty());
        EXPECT_EQ(zyv.GetVCID(), 0u);
        EXPECT_EQ(zyv.GetNumberOfBinaryTables(), 0u);
        EXPECT_EQ(zyv.GetFileCrc(), 0u);
        const BYTE* data = nullptr;
        DWORD size = 1;
        EXPECT_FALSE(zyv.GetTable(CZyvFile::kTableEncode, data, size));
        EXPECT_EQ(size, 0u);
    }
    CZyvFile missing(dir.File("none.zyv").c_str());
    EXPECT_EQ(missing.Load(), CZyvFile::kCannotOpen);
    CZyvFile folder(dir.Path().c_str());
    EXPECT_EQ(folder.Load(), CZyvFile::kCannotOpen);
}

TEST(ZyvPackage, EachReleaseGivesItsDateAndAChangedByteGivesNone) {
    support::TempDir dir;
    for (uint32_t date : zyvgen::ReleaseDates()) {
        SCOPED_TRACE(date);
        const std::string sub = std::to_string(date);
        WriteRelease(dir, sub, date);
        std::map<CString, DWORD> sums;
        EXPECT_EQ(DetermineZyvPackage(dir.File(sub).c_str(), sums), date);
        ASSERT_EQ(sums.size(), 15u);
        EXPECT_EQ(sums[CString(zyvgen::FileName(0x4E4).c_str())], zyvgen::Crc32Mpeg2(zyvgen::BuildPackage(date, zyvgen::Formats()[13])));
        EXPECT_EQ(GetZyvPackageDate(dir.File(sub).c_str()), date);
        // One byte changed in one table: no release matches.
        std::string bytes = Bytes(zyvgen::BuildPackage(date, zyvgen::Formats()[7]));
        bytes[0x100] ^= 0x01;
        dir.Write(sub + "/" + zyvgen::FileName(zyvgen::Formats()[7].vcid), bytes);
        EXPECT_EQ(GetZyvPackageDate(dir.File(sub).c_str()), 0u);
    }
    // A file missing from a set, and an empty or absent folder.
    WriteRelease(dir, "short", 20040416);
    std::filesystem::remove(dir.File("short/" + zyvgen::FileName(0x4D6)));
    EXPECT_EQ(GetZyvPackageDate(dir.File("short").c_str()), 0u);
    EXPECT_EQ(GetZyvPackageDate(dir.MakeDir("empty").c_str()), 0u);
    EXPECT_EQ(GetZyvPackageDate(dir.File("absent").c_str()), 0u);
    EXPECT_EQ(GetZyvPackageDate(""), 0u);
    // Newest first: a folder holding two sets' files under other names still gives the complete one;
    // the older set's files with a newer one's extra files give the older date.
    WriteRelease(dir, "mixed", 20040319);
    dir.Write("mixed/ZMFFFF.zyv", Bytes(zyvgen::BuildPackage(20040521, zyvgen::Formats()[0])));
    EXPECT_EQ(GetZyvPackageDate(dir.File("mixed").c_str()), 20040319u);
}

// A file that does not end on a whole word has its last bytes counted, padded with zero bytes: two
// such files that differ only in their last byte have different checksums, and a released file
// with bytes added after its last word no longer belongs to its release.
TEST(ZyvPackage, APartialLastWordIsCounted) {
    support::TempDir dir;
    const zyvgen::Format& format = zyvgen::Formats()[0];
    const std::string released = Bytes(zyvgen::BuildPackage(20040521, format));
    WriteRelease(dir, "set", 20040521);
    ASSERT_EQ(GetZyvPackageDate(dir.File("set").c_str()), 20040521u);
    for (const size_t extra : {1u, 2u, 3u}) {
        SCOPED_TRACE(extra);
        const std::string one = released + std::string(extra, '\0');
        std::string other = one;
        other.back() = '\x5A';
        DWORD sums[2] = {};
        for (int i = 0; i < 2; ++i) ASSERT_TRUE(ZyvFileChecksum(dir.Write("partial.zyv", i ? other : one).c_str(), sums[i]));
        std::vector<uint8_t> padded(one.begin(), one.end());
        padded.resize(released.size() + 4, 0);
        EXPECT_EQ(sums[0], zyvgen::Crc32Mpeg2(padded));
        EXPECT_NE(sums[0], sums[1]);
        for (const std::string& bytes : {one, other}) {
            dir.Write("set/" + zyvgen::FileName(format.vcid), bytes);
            EXPECT_EQ(GetZyvPackageDate(dir.File("set").c_str()), 0u);
        }
    }
}

TEST(ZyvPackage, TheCheckedInSetsAreCurrentAndTheNewestIsInstalled) {
    for (uint32_t date : zyvgen::ReleaseDates())
        EXPECT_EQ(GetZyvPackageDate((std::string(PEX_TESTDATA_DIR) + "/zyv/" + std::to_string(date)).c_str()), date);
    EXPECT_EQ(GetZyvPackageDate((std::string(PEX_BIN_DIR) + "/system/drivers/Zorv").c_str()), 20040521u);
}

}  // namespace
