// Tests of the flash tests' OXD reader: newest file, head checks, status codes and texts, data reads.
#include "framework/hw/flash_image_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/framework/hw/oxd_writer.h"
#include "tests/support/temp_dir.h"

using namespace support;

namespace {

using oxdtest::MakeOxd;
using oxdtest::OxdParts;

class FlashImageFileTest : public ::testing::Test {
protected:
    // Writes a file and dates it, so the newest-file choice is certain.
    std::string Write(const std::string& name, const std::string& bytes, int ageSeconds = 0) {
        const std::string path = m_dir.Write(name, bytes);
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
        return path;
    }
    static OxdParts Trisko(const std::string& data = "0123456789") {
        OxdParts p;
        p.tags = "N:TRIS0101;R:0101;";
        p.data = data;
        return p;
    }
    TempDir m_dir;
    CFlashImageFile m_file;
};

TEST_F(FlashImageFileTest, OpensTheNewestMatchAndKeepsItsHeaderText) {
    Write("TRIS0100.oxd", MakeOxd(Trisko("old data")), 100);
    const OxdParts parts = Trisko();
    const std::string newest = Write("TRIS0101.oxd", MakeOxd(parts), 10);
    Write("other.bin", "not a match", 0);

    ASSERT_EQ(m_file.Open((m_dir / "TRIS*.oxd").c_str()), CFlashImageFile::kReady);
    EXPECT_EQ(m_file.GetStatus(), 1);
    EXPECT_EQ(m_file.GetPath(), newest.c_str());
    EXPECT_EQ(m_file.GetFileName(), "TRIS0101.oxd");
    const long length = static_cast<long>(44 + parts.tags.size());
    EXPECT_EQ(m_file.GetFileSize(), length + 10);
    EXPECT_EQ(m_file.GetDataOffset(), length);
    EXPECT_EQ(m_file.GetDataSize(), 10);
    EXPECT_EQ(m_file.GetHeaderTextOffset(), 12);
    EXPECT_EQ(m_file.GetHeaderTextSize(), length - 12);
    const std::string expectedText = MakeOxd(parts).substr(12, static_cast<size_t>(length - 12));
    ASSERT_NE(m_file.GetHeaderText(), nullptr);
    EXPECT_EQ(std::memcmp(m_file.GetHeaderText(), expectedText.data(), expectedText.size()), 0);
    EXPECT_EQ(m_file.GetHeaderText()[length - 12], '\0');
    EXPECT_EQ(m_file.GetHeaderText()[length - 11], '\0');
    EXPECT_STREQ(m_file.GetStatusText(0), "OXD File Open and Ready");

    EXPECT_EQ(m_file.Close(), 0);
    EXPECT_EQ(m_file.GetStatus(), 0);
    EXPECT_EQ(m_file.GetHeaderText(), nullptr);
    EXPECT_EQ(m_file.GetDataSize(), 0);
    // A closed reader has no text for "the current status".
    EXPECT_EQ(m_file.GetStatusText(0), nullptr);
}

TEST_F(FlashImageFileTest, ReadsDataRangesWithinTheImage) {
    Write("TRIS0101.oxd", MakeOxd(Trisko()));
    char buffer[16] = {};
    EXPECT_EQ(m_file.Read(buffer, 0, 4), CFlashImageFile::kNotFound);  // nothing open
    ASSERT_EQ(m_file.Open(WindowsPath(m_dir / "tris0101.OXD").c_str()), CFlashImageFile::kReady);
    EXPECT_EQ(m_file.Read(buffer, 3, 4), CFlashImageFile::kReady);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(m_file.Read(buffer, 0, 10), CFlashImageFile::kReady);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    // Outside the data, negative, or no buffer: invalid parameter; an empty block is not a read.
    EXPECT_EQ(m_file.Read(buffer, 7, 4), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Read(buffer, 11, 0), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Read(buffer, -1, 2), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Read(buffer, 0, -2), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Read(nullptr, 0, 2), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.GetStatus(), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Read(buffer, 10, 0), CFlashImageFile::kCannotRead);
    EXPECT_STREQ(m_file.GetStatusText(0), "Unable to read this file.");
}

TEST_F(FlashImageFileTest, RejectsWhatIsNotAnOxdFile) {
    EXPECT_EQ(m_file.Open(nullptr), CFlashImageFile::kBadParameter);
    EXPECT_EQ(m_file.Open((m_dir / "*.oxd").c_str()), CFlashImageFile::kNotFound);

    auto openBytes = [&](const std::string& bytes) {
        Write("TRIS0101.oxd", bytes);
        return m_file.Open((m_dir / "TRIS0101.oxd").c_str());
    };
    const std::string good = MakeOxd(Trisko());
    EXPECT_EQ(openBytes(good.substr(0, 15)), CFlashImageFile::kNotOxd);
    EXPECT_EQ(openBytes(""), CFlashImageFile::kNotOxd);
    OxdParts p = Trisko();
    p.magic = "ZORV.OXd";
    EXPECT_EQ(openBytes(MakeOxd(p)), CFlashImageFile::kNotOxd);
    // A 16-byte file whose header length is 16: no data.
    EXPECT_EQ(openBytes(std::string("ZORV.OXD") + oxdtest::BigEndian(16) + "abcd"), CFlashImageFile::kNotOxd);
    // One byte of data is too little, two are enough.
    EXPECT_EQ(openBytes(MakeOxd(Trisko("x"))), CFlashImageFile::kNotOxd);
    EXPECT_EQ(openBytes(MakeOxd(Trisko("xy"))), CFlashImageFile::kReady);
    // Header lengths below 16 or past the end.
    p = Trisko();
    p.headerLength = 15;
    EXPECT_EQ(openBytes(MakeOxd(p)), CFlashImageFile::kNotOxd);
    p.headerLength = 0xFFFFFFFF;
    EXPECT_EQ(openBytes(MakeOxd(p)), CFlashImageFile::kNotOxd);
    // More than 3 MiB of data.
    EXPECT_EQ(openBytes(MakeOxd(Trisko(std::string(0x300001, 'd')))), CFlashImageFile::kNotOxd);
    EXPECT_EQ(openBytes(MakeOxd(Trisko(std::string(0x300000, 'd')))), CFlashImageFile::kReady);
    // A folder that matches is no file.
    m_dir.MakeDir("dir.oxd");
    EXPECT_EQ(m_file.Open((m_dir / "dir.oxd").c_str()), CFlashImageFile::kNotFound);
}

TEST_F(FlashImageFileTest, StatusTexts) {
    const char* texts[] = {"OXD File Open and Ready",
                           "Invalid parameter passed to OXD File class.",
                           "Cannot find the OXD file.",
                           "Unable to open this file for reading.",
                           "Not an OXD File.",
                           "Unable to read this file.",
                           "Unable to allocate additional memory."};
    for (int code = 1; code <= 7; ++code) EXPECT_STREQ(m_file.GetStatusText(code), texts[code - 1]);
    EXPECT_EQ(m_file.GetStatusText(8), nullptr);
    EXPECT_EQ(m_file.GetStatusText(-3), nullptr);  // the current status, 0
    m_file.Open(nullptr);
    EXPECT_STREQ(m_file.GetStatusText(-3), "Invalid parameter passed to OXD File class.");
}

}  // namespace
