// Tests of the whole-file OXD reader: head checks, name rule, tag look-up, memory mode, damaged files.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

class OxdTest : public ::testing::Test {
protected:
    COxd Open(const std::string& name, const OxdParts& parts) { return COxd(m_dir.Write(name, MakeOxd(parts)).c_str(), 1); }
    COxd Open(const std::string& name, const std::string& tags) { return Open(name, OxdParts{.tags = tags, .data = "xx"}); }
    TempDir m_dir;
    const OxdParts m_kerzil{.tags = "N:KEZO0101;R:0202;P:Kerzil;", .data = "DATA\x01\x02\x03\x04"};
};

// An invalid reader answers every question with FALSE, 0 or NULL and leaves outputs alone.
void ExpectInvalid(const COxd& oxd, const char* why) {
    DWORD size = 77;
    CString value = "kept";
    EXPECT_FALSE(oxd.IsValid() || oxd.GetHeaderSize(size) || oxd.GetTag('N', value) || oxd.GetRevision(value)) << why;
    EXPECT_EQ(size + oxd.GetDataSize(), 0u) << why;
    EXPECT_EQ(oxd.GetData(), nullptr) << why;
    EXPECT_EQ(value, "kept") << why;
    EXPECT_EQ(oxd.GetRevisionText(), "") << why;
}

TEST_F(OxdTest, ValidFileAnswersHeaderTagsAndData) {
    const std::string path = m_dir.Write("KEZO0101.oxd", MakeOxd(m_kerzil));
    const COxd oxd(path.c_str(), 1);
    ASSERT_TRUE(oxd.IsValid());
    DWORD size = 0;
    EXPECT_TRUE(oxd.GetHeaderSize(size));
    EXPECT_EQ((std::vector<DWORD>{size, oxd.GetHeaderEnd(), oxd.GetTagStart(), oxd.GetDataSize()}), (std::vector<DWORD>{71, 71, 44, 8}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(oxd.GetData()), 8), m_kerzil.data);
    CString value;
    EXPECT_TRUE(oxd.GetTag('P', value) && value == "Kerzil" && oxd.GetRevision(value) && value == "0202") << value.c_str();
    EXPECT_FALSE(oxd.GetTag('W', value) || oxd.GetTag('1', value));
    EXPECT_TRUE(oxd.IsTagEqual('n', 8, "kezo0101"));
    EXPECT_FALSE(oxd.IsTagEqual('N', 7, "KEZO010") || oxd.IsTagEqual('N', 0, "KEZO0101") || oxd.IsTagEqual('N', 8, nullptr));
    // With no buffer and room 0 the full length; with room 4 four bytes and the rest left alone.
    DWORD length = 99;
    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_TRUE(oxd.GetTagBytes('P', 0, nullptr, &length) && length == 6 && oxd.GetTagBytes('P', 4, buffer, &length) && length == 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "Kerz\xEE");
    EXPECT_FALSE(oxd.GetTagBytes('Q', 4, buffer, &length));
    EXPECT_EQ(length + buffer[0], 0u);
    // The flash firmware reader is the same reader, and a Windows path reaches the same file.
    EXPECT_EQ(CTriskoOxd(WindowsPath(path).c_str(), 1).GetRevisionText(), "REVISION:  0202\n");
}

// The "N" tag agrees with the file name on the first min(its length, 8, the name's length) characters.
TEST_F(OxdTest, NameTagMustAgreeWithTheFileName) {
    const struct {
        const char* file;
        const char* tags;
        bool valid;
    } rows[] = {
        {"puvi0202_old.oxd", "N:PUVI0202;", true},
        {"PUVI0202.oxd", "N:PUVI0202_NEW;", true},
        {"PUVI0303.oxd", "N:PUV;", true},
        {"PUVI0303.oxd", "N:PUVI0202;", false},
        {"PUVI0203.oxd", "N:PUVI0202;", false},
        {"PU.oxd", "N:PUVI0202;", false},
        {"PUVI0202.oxd", "R:0101;", false},
    };
    for (const auto& row : rows) {
        const COxd oxd = Open(row.file, row.tags);
        if (row.valid) {
            EXPECT_TRUE(oxd.IsValid()) << row.file << " " << row.tags;
        } else {
            ExpectInvalid(oxd, row.file);
        }
    }
}

TEST_F(OxdTest, TagsAreFoundByPositionWithinTheTagArea) {
    // The letter-colon pair inside an earlier value counts; the head bytes before 44 are not searched.
    const COxd oxd = Open("KEZO0101.oxd", OxdParts{.head = "N:WRONG;" + std::string(24, ' '),
                                                     .tags = "N:KEZO0101;W:has Q:inner;Q:real;R:0303", .data = ""});
    ASSERT_TRUE(oxd.IsValid());
    CString value;
    EXPECT_TRUE(oxd.GetTag('q', value));
    EXPECT_EQ(value, "inner");
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "030") << "a value at the end of the area without \";\" loses the area's last byte";
    // No "R" tag: "Unknown", FALSE and no revision line.
    const COxd plain = Open("KEZO0101.oxd", "N:KEZO0101;");
    EXPECT_FALSE(plain.GetRevision(value));
    EXPECT_EQ(value, "Unknown");
    EXPECT_EQ(plain.GetRevisionText(), "");
}

TEST_F(OxdTest, DamagedFilesAreInvalid) {
    const std::string full = MakeOxd(m_kerzil);
    ExpectInvalid(COxd(m_dir.Write("KEZO0101.oxd", full.substr(0, 43)).c_str(), 1), "shorter than the head");
    ExpectInvalid(COxd(m_dir.Write("KEZO0101.oxd", full.substr(0, 50)).c_str(), 1), "cut inside the tag area");
    ExpectInvalid(COxd(m_dir.Write("KEZO0101.oxd", "").c_str(), 1), "empty");
    ExpectInvalid(COxd((m_dir / "KEZO9999.oxd").c_str(), 1), "missing");
    ExpectInvalid(COxd(m_dir.Path().c_str(), 1), "a folder");
    OxdParts p = m_kerzil;
    p.magic = "zorv.oxd";
    ExpectInvalid(Open("KEZO0101.oxd", p), "magic in another case");
    for (int64_t length : {int64_t{0}, int64_t{12}, int64_t{43}, static_cast<int64_t>(full.size() + 1), int64_t{0xFFFFFFFF}}) {
        p = m_kerzil;
        p.headerLength = length;
        ExpectInvalid(Open("KEZO0101.oxd", p), "header length inside the head or past the end");
    }
    // A header length at the very end is a file without data.
    p = m_kerzil;
    p.data.clear();
    const COxd empty = Open("KEZO0101.oxd", p);
    EXPECT_TRUE(empty.IsValid());
    EXPECT_EQ(empty.GetDataSize(), 0u);
}

TEST_F(OxdTest, MemoryModeSearchesAllBytesAndHasNoHeader) {
    const COxd oxd("N:abc;R:12;", 0);
    DWORD size = 5;
    EXPECT_TRUE(oxd.IsValid() && !oxd.GetHeaderSize(size) && oxd.GetData() == nullptr);
    EXPECT_EQ((std::vector<DWORD>{size, oxd.GetDataSize(), oxd.GetHeaderEnd(), oxd.GetTagStart()}), (std::vector<DWORD>{0, 11, 11, 0}));
    CString value;
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "12");
    // Any name is fine in memory; a missing "N" or no bytes at all are not.
    EXPECT_TRUE(COxd("junkN:whatever;", 2).IsValid());
    for (const char* bytes : {"R:12;", "", "N"}) ExpectInvalid(COxd(bytes, 0), bytes);
}

}  // namespace
