// Tests of the whole-file OXD reader: head checks, name rule, tag look-up, memory mode, damaged files.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

const OxdParts kKerzil{.tags = "N:KEZO0101;R:0202;P:Kerzil;", .data = "DATA\x01\x02\x03\x04"};

TEST(OxdTest, ValidFileAnswersHeaderTagsAndData) {
    TempDir dir;
    const std::string path = dir.Write("KEZO0101.oxd", MakeOxd(kKerzil));
    const COxd oxd(path.c_str(), 1);
    DWORD size = 0;
    ASSERT_TRUE(oxd.IsValid() && oxd.GetHeaderSize(size));
    EXPECT_EQ((std::vector<DWORD>{size, oxd.GetTagStart(), oxd.GetDataSize()}), (std::vector<DWORD>{71, 44, 8}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(oxd.GetData()), 8), kKerzil.data);
    CString value;
    EXPECT_TRUE(oxd.GetTag('P', value) && value == "Kerzil" && oxd.GetRevision(value) && value == "0202") << value.c_str();
    EXPECT_FALSE(oxd.GetTag('W', value) || oxd.IsTagEqual('N', 7, "KEZO010") || oxd.IsTagEqual('N', 8, nullptr) || !oxd.IsTagEqual('n', 8, "kezo0101"));
    // With no buffer the full length; with room 4 four bytes and the rest left alone.
    DWORD length = 99;
    BYTE buffer[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_TRUE(oxd.GetTagBytes('P', 0, nullptr, &length) && length == 6 && oxd.GetTagBytes('P', 4, buffer, &length) && length == 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "Kerz\xEE");
    // The flash firmware reader is the same reader, and a Windows path reaches the same file.
    EXPECT_EQ(CTriskoOxd(WindowsPath(path).c_str(), 1).GetRevisionText(), "REVISION:  0202\n");
}

// The "N" tag agrees with the file name on the first min(its length, 8, the name's length) characters;
// damaged files are invalid and answer nothing.
TEST(OxdTest, NameRuleDamagedFilesTagPositionsAndMemoryMode) {
    TempDir dir;
    const std::string full = MakeOxd(kKerzil);
    const auto withLength = [](int64_t length) { OxdParts p = kKerzil; p.headerLength = length; return MakeOxd(p); };
    const struct { const char *name, *file; std::string bytes; bool valid; unsigned long long size = 0; /* zeros to it, sparse */ } rows[] = {
        {"longer file name", "puvi0202_old.oxd", MakeOxd({.tags = "N:PUVI0202;", .data = "xx"}), true},
        {"longer tag: eight characters compared", "PUVI0202.oxd", MakeOxd({.tags = "N:PUVI0202_NEW;", .data = "xx"}), true},
        {"shorter tag", "PUVI0303.oxd", MakeOxd({.tags = "N:PUV;", .data = "xx"}), true},
        {"other name", "PUVI0203.oxd", MakeOxd({.tags = "N:PUVI0202;", .data = "xx"}), false},
        {"shorter file name", "PU.oxd", MakeOxd({.tags = "N:PUVI0202;", .data = "xx"}), false},
        {"no name tag", "PUVI0202.oxd", MakeOxd({.tags = "R:0101;", .data = "xx"}), false},
        {"shorter than the head", "KEZO0101.oxd", full.substr(0, 43), false},
        {"magic in another case", "KEZO0101.oxd", "zorv.oxd" + full.substr(8), false},
        {"header length inside the head", "KEZO0101.oxd", withLength(43), false},
        {"header length past the end", "KEZO0101.oxd", withLength(0xFFFFFFFF), false},
        {"header length at the end: no data", "KEZO0101.oxd", withLength(static_cast<int64_t>(full.size())), true},
        // Its sizes cut to 32 bits would make it the image of its first bytes.
        {"past 4 GiB", "KEZO0101.oxd", full, false, (4ull << 30) + full.size()},
    };
    for (const auto& row : rows) {
        const std::string path = row.size ? dir.WriteSparse(row.file, row.size, 0, row.bytes) : dir.Write(row.file, row.bytes);
        ASSERT_FALSE(path.empty()) << "no sparse files here";
        const COxd oxd(path.c_str(), 1);
        CString value = "kept";
        EXPECT_EQ(oxd.IsValid() && oxd.GetTag('N', value), row.valid) << row.name;
        EXPECT_TRUE(row.valid || (value == "kept" && oxd.GetData() == nullptr && oxd.GetDataSize() == 0)) << row.name;
        std::filesystem::remove(dir.File(row.file));
    }
    EXPECT_FALSE(COxd((dir / "KEZO9999.oxd").c_str(), 1).IsValid() || COxd(dir.Path().c_str(), 1).IsValid());
    // The letter-colon pair inside an earlier value counts; the head bytes are not searched.
    const OxdParts parts{.head = "N:WRONG;" + std::string(24, ' '), .tags = "N:KEZO0101;W:has Q:inner;Q:real;R:0303", .data = ""};
    const COxd oxd(dir.Write("KEZO0101.oxd", MakeOxd(parts)).c_str(), 1);
    CString value;
    EXPECT_TRUE(oxd.GetTag('q', value) && value == "inner") << value.c_str();
    EXPECT_TRUE(oxd.GetRevision(value) && value == "030") << "a value at the end of the area without \";\" loses the area's last byte";
    // Memory mode searches all bytes and has no header; any name is fine, a missing "N" is not.
    const COxd memory("junkN:whatever;R:12;", 0);
    DWORD size = 5;
    EXPECT_TRUE(memory.IsValid() && !memory.GetHeaderSize(size) && memory.GetData() == nullptr);
    EXPECT_TRUE(memory.GetRevision(value) && value == "12");
    EXPECT_FALSE(COxd("R:12;", 0).IsValid() || COxd("", 0).IsValid() || COxd("N:KEZO0101;", 0).GetRevision(value));
    EXPECT_EQ(value, "Unknown");
}

}  // namespace
