// Tests of the whole-file OXD reader: head checks, name rule, tag look-up, memory mode, damaged files.
#include "framework/hw/oxd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/framework/hw/oxd_writer.h"
#include "tests/support/temp_dir.h"

using namespace support;

namespace {

using oxdtest::MakeOxd;
using oxdtest::OxdParts;

class OxdTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const OxdParts& parts) { return m_dir.Write(name, MakeOxd(parts)); }
    static OxdParts Kerzil() {
        OxdParts p;
        p.tags = "N:KEZO0101;R:0202;P:Kerzil;";
        p.data = "DATA\x01\x02\x03\x04";
        return p;
    }
    TempDir m_dir;
};

void ExpectInvalid(const COxd& oxd) {
    EXPECT_FALSE(oxd.IsValid());
    DWORD size = 77;
    EXPECT_FALSE(oxd.GetHeaderSize(size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(oxd.GetDataSize(), 0u);
    EXPECT_EQ(oxd.GetData(), nullptr);
    CString value = "kept";
    EXPECT_FALSE(oxd.GetTag('N', value));
    EXPECT_FALSE(oxd.GetRevision(value));
    EXPECT_EQ(value, "kept");
    EXPECT_EQ(oxd.GetRevisionText(), "");
}

TEST_F(OxdTest, ValidFileAnswersHeaderTagsAndData) {
    const OxdParts parts = Kerzil();
    const std::string path = Write("KEZO0101.oxd", parts);
    COxd oxd(CString(path.c_str()), 1);
    ASSERT_TRUE(oxd.IsValid());
    DWORD size = 0;
    EXPECT_TRUE(oxd.GetHeaderSize(size));
    EXPECT_EQ(size, 44u + parts.tags.size());
    EXPECT_EQ(oxd.GetHeaderEnd(), size);
    EXPECT_EQ(oxd.GetTagStart(), 44u);
    ASSERT_EQ(oxd.GetDataSize(), 8u);
    EXPECT_EQ(std::memcmp(oxd.GetData(), parts.data.data(), 8), 0);

    CString value;
    EXPECT_TRUE(oxd.GetTag('n', value));
    EXPECT_EQ(value, "KEZO0101");
    EXPECT_TRUE(oxd.GetTag('P', value));
    EXPECT_EQ(value, "Kerzil");
    EXPECT_FALSE(oxd.GetTag('W', value));
    EXPECT_FALSE(oxd.GetTag('1', value));
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "0202");
    EXPECT_EQ(oxd.GetRevisionText(), "REVISION:  0202\n");

    EXPECT_TRUE(oxd.IsTagEqual('N', 8, "kezo0101"));
    EXPECT_FALSE(oxd.IsTagEqual('N', 7, "KEZO010"));
    EXPECT_FALSE(oxd.IsTagEqual('N', 0, "KEZO0101"));
    EXPECT_FALSE(oxd.IsTagEqual('N', 8, nullptr));

    // With no buffer and room 0 the full length; with room 4 four bytes and the rest zeroed.
    DWORD length = 99;
    EXPECT_TRUE(oxd.GetTagBytes('P', 0, nullptr, &length));
    EXPECT_EQ(length, 6u);
    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_TRUE(oxd.GetTagBytes('P', 4, buffer, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "Kerz");
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_FALSE(oxd.GetTagBytes('Q', 4, buffer, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0);

    // The flash firmware reader is the same reader, and a Windows path reaches the same file.
    CTriskoOxd trisko(CString(WindowsPath(path).c_str()), 1);
    EXPECT_TRUE(trisko.IsValid());
    EXPECT_EQ(trisko.GetRevisionText(), "REVISION:  0202\n");
}

TEST_F(OxdTest, NameTagMustAgreeWithTheFileName) {
    OxdParts p;
    p.tags = "N:PUVI0202;";
    p.data = "xx";
    // Eight characters compared, case ignored.
    EXPECT_TRUE(COxd(CString(Write("puvi0202_old.oxd", p).c_str()), 1).IsValid());
    ExpectInvalid(COxd(CString(Write("PUVI0303.oxd", p).c_str()), 1));
    // A shorter name is compared for its own length; a shorter file name for its length.
    p.tags = "N:PUV;";
    EXPECT_TRUE(COxd(CString(Write("PUVI0303.oxd", p).c_str()), 1).IsValid());
    p.tags = "N:PUVI0202;";
    ExpectInvalid(COxd(CString(Write("PU.oxd", p).c_str()), 1));
    // No "N" tag at all.
    p.tags = "R:0101;";
    ExpectInvalid(COxd(CString(Write("PUVI0202.oxd", p).c_str()), 1));
    // A magic that differs only in case.
    p = Kerzil();
    p.magic = "zorv.oxd";
    ExpectInvalid(COxd(CString(Write("KEZO0101.oxd", p).c_str()), 1));
}

TEST_F(OxdTest, TagsAreFoundByPositionWithinTheTagArea) {
    OxdParts p;
    // The letter-colon pair inside an earlier value counts; the head bytes before 44 are not searched.
    p.head = "N:WRONG;" + std::string(24, ' ');
    p.tags = "N:KEZO0101;W:has Q:inner;Q:real;R:0303";
    const std::string path = Write("KEZO0101.oxd", p);
    COxd oxd(CString(path.c_str()), 1);
    ASSERT_TRUE(oxd.IsValid());
    CString value;
    EXPECT_TRUE(oxd.GetTag('q', value));
    EXPECT_EQ(value, "inner");
    // A value at the end of the area without ";" loses the area's last byte.
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "030");
    // No "R" tag: "Unknown", FALSE and no revision line.
    p.tags = "N:KEZO0101;";
    COxd plain(CString(Write("KEZO0101.oxd", p).c_str()), 1);
    ASSERT_TRUE(plain.IsValid());
    EXPECT_FALSE(plain.GetRevision(value));
    EXPECT_EQ(value, "Unknown");
    EXPECT_EQ(plain.GetRevisionText(), "");
}

TEST_F(OxdTest, DamagedFilesAreInvalid) {
    const OxdParts good = Kerzil();
    const std::string full = MakeOxd(good);
    // Shorter than the fixed head, empty, missing, a folder.
    ExpectInvalid(COxd(CString(m_dir.Write("KEZO0101.oxd", full.substr(0, 43)).c_str()), 1));
    ExpectInvalid(COxd(CString(m_dir.Write("KEZO0101.oxd", "").c_str()), 1));
    ExpectInvalid(COxd(CString((m_dir / "KEZO9999.oxd").c_str()), 1));
    ExpectInvalid(COxd(CString(m_dir.Path().c_str()), 1));
    // Header lengths inside the head or past the end of the file.
    for (int64_t length : {int64_t{0}, int64_t{12}, int64_t{43}, static_cast<int64_t>(full.size() + 1), int64_t{0xFFFFFFFF}}) {
        OxdParts p = good;
        p.headerLength = length;
        ExpectInvalid(COxd(CString(Write("KEZO0101.oxd", p).c_str()), 1));
    }
    // Truncated inside the tag area: the header length now points past the end.
    ExpectInvalid(COxd(CString(m_dir.Write("KEZO0101.oxd", full.substr(0, 50)).c_str()), 1));
    // A header length at the very end is a file without data.
    OxdParts noData = good;
    noData.data.clear();
    COxd empty(CString(Write("KEZO0101.oxd", noData).c_str()), 1);
    EXPECT_TRUE(empty.IsValid());
    EXPECT_EQ(empty.GetDataSize(), 0u);
}

TEST_F(OxdTest, MemoryModeSearchesAllBytesAndHasNoHeader) {
    COxd oxd(CString("N:abc;R:12;"), 0);
    ASSERT_TRUE(oxd.IsValid());
    EXPECT_EQ(oxd.GetData(), nullptr);
    EXPECT_EQ(oxd.GetDataSize(), 11u);
    EXPECT_EQ(oxd.GetHeaderEnd(), 11u);
    EXPECT_EQ(oxd.GetTagStart(), 0u);
    DWORD size = 5;
    EXPECT_FALSE(oxd.GetHeaderSize(size));
    EXPECT_EQ(size, 0u);
    CString value;
    EXPECT_TRUE(oxd.GetTag('N', value));
    EXPECT_EQ(value, "abc");
    EXPECT_TRUE(oxd.GetRevision(value));
    EXPECT_EQ(value, "12");
    // Any name is fine in memory; a missing "N" or no bytes at all are not.
    EXPECT_TRUE(COxd(CString("junkN:whatever;"), 2).IsValid());
    ExpectInvalid(COxd(CString("R:12;"), 0));
    ExpectInvalid(COxd(CString(""), 0));
    ExpectInvalid(COxd(CString("N"), 0));
}

}  // namespace
