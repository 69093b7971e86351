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
    CString value = "kept";
    EXPECT_FALSE(oxd.IsValid() || oxd.GetTag('N', value)) << why;
    EXPECT_EQ(oxd.GetDataSize(), 0u) << why;
    EXPECT_EQ(oxd.GetData(), nullptr) << why;
    EXPECT_EQ(value, "kept") << why;
}

TEST_F(OxdTest, ValidFileAnswersHeaderTagsAndData) {
    const std::string path = m_dir.Write("KEZO0101.oxd", MakeOxd(m_kerzil));
    const COxd oxd(path.c_str(), 1);
    ASSERT_TRUE(oxd.IsValid());
    DWORD size = 0;
    EXPECT_TRUE(oxd.GetHeaderSize(size));
    EXPECT_EQ((std::vector<DWORD>{size, oxd.GetTagStart(), oxd.GetDataSize()}), (std::vector<DWORD>{71, 44, 8}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(oxd.GetData()), 8), m_kerzil.data);
    CString value;
    EXPECT_TRUE(oxd.GetTag('P', value) && value == "Kerzil" && oxd.GetRevision(value) && value == "0202") << value.c_str();
    EXPECT_FALSE(oxd.GetTag('W', value));
    EXPECT_TRUE(oxd.IsTagEqual('n', 8, "kezo0101"));
    EXPECT_FALSE(oxd.IsTagEqual('N', 7, "KEZO010") || oxd.IsTagEqual('N', 8, nullptr));
    // With no buffer the full length; with room 4 four bytes and the rest left alone.
    DWORD length = 99;
    char buffer[5] = "\xEE\xEE\xEE\xEE";
    EXPECT_TRUE(oxd.GetTagBytes('P', 0, nullptr, &length) && length == 6);
    EXPECT_TRUE(oxd.GetTagBytes('P', 4, reinterpret_cast<BYTE*>(buffer), &length) && length == 4);
    EXPECT_EQ(std::string(buffer, 5), std::string("Kerz\0", 5));
    // The flash firmware reader is the same reader, and a Windows path reaches the same file.
    EXPECT_EQ(CTriskoOxd(WindowsPath(path).c_str(), 1).GetRevisionText(), "REVISION:  0202\n");
}

// The "N" tag agrees with the file name on the first min(its length, 8, the name's length) characters;
// the letter-colon pair inside an earlier value counts, the head bytes are not searched.
TEST_F(OxdTest, NameRuleAndTagPositions) {
    const struct {
        const char* file;
        const char* tags;
        bool valid;
    } rows[] = {
        {"puvi0202_old.oxd", "N:PUVI0202;", true},
        {"PUVI0202.oxd", "N:PUVI0202_NEW;", true},
        {"PUVI0303.oxd", "N:PUV;", true},
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
    const COxd oxd = Open("KEZO0101.oxd", OxdParts{.head = "N:WRONG;" + std::string(24, ' '),
                                                     .tags = "N:KEZO0101;W:has Q:inner;Q:real;R:0303", .data = ""});
    ASSERT_TRUE(oxd.IsValid());
    CString value;
    EXPECT_TRUE(oxd.GetTag('q', value) && value == "inner") << value.c_str();
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "030") << "a value at the end of the area without \";\" loses the area's last byte";
    const COxd plain = Open("KEZO0101.oxd", "N:KEZO0101;");
    EXPECT_FALSE(plain.GetRevision(value));
    EXPECT_EQ(value, "Unknown");
}

TEST_F(OxdTest, DamagedFilesAreInvalid) {
    const std::string full = MakeOxd(m_kerzil);
    ExpectInvalid(COxd(m_dir.Write("KEZO0101.oxd", full.substr(0, 43)).c_str(), 1), "shorter than the head");
    ExpectInvalid(COxd(m_dir.Write("KEZO0101.oxd", full.substr(0, 50)).c_str(), 1), "cut inside the tag area");
    ExpectInvalid(COxd((m_dir / "KEZO9999.oxd").c_str(), 1), "missing");
    ExpectInvalid(COxd(m_dir.Path().c_str(), 1), "a folder");
    OxdParts p = m_kerzil;
    p.magic = "zorv.oxd";
    ExpectInvalid(Open("KEZO0101.oxd", p), "magic in another case");
    for (int64_t length : {int64_t{43}, static_cast<int64_t>(full.size() + 1), int64_t{0xFFFFFFFF}}) {
        p = m_kerzil;
        p.headerLength = length;
        ExpectInvalid(Open("KEZO0101.oxd", p), "header length inside the head or past the end");
    }
    // Memory mode searches all bytes and has no header; any name is fine, a missing "N" is not.
    const COxd memory("junkN:whatever;R:12;", 0);
    DWORD size = 5;
    CString value;
    EXPECT_TRUE(memory.IsValid() && !memory.GetHeaderSize(size) && memory.GetData() == nullptr);
    EXPECT_TRUE(memory.GetRevision(value) && value == "12");
    for (const char* bytes : {"R:12;", ""}) ExpectInvalid(COxd(bytes, 0), bytes);
}

}  // namespace
