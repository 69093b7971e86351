// Tests of the flash tests' OXD reader: newest file, head checks, status codes and texts, data reads.
#include <chrono>

#include "framework/hw/flash_image_file.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

class FlashImageFileTest : public ::testing::Test {
protected:
    // Writes a file and dates it, so the newest-file choice is certain.
    std::string Write(const std::string& name, const std::string& bytes, int ageSeconds = 0) {
        const std::string path = m_dir.Write(name, bytes);
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
        return path;
    }
    static OxdParts Trisko(const std::string& data = "0123456789") { return {.tags = "N:TRIS0101;R:0101;", .data = data}; }
    TempDir m_dir;
    CFlashImageFile m_file;
};

TEST_F(FlashImageFileTest, OpensTheNewestMatchAndReadsItsData) {
    Write("TRIS0100.oxd", MakeOxd(Trisko("old data")), 100);
    const OxdParts parts = Trisko();
    const std::string newest = Write("TRIS0101.oxd", MakeOxd(parts), 10);
    Write("other.bin", "not a match", 0);
    char buffer[16] = {};
    EXPECT_EQ(m_file.Read(buffer, 0, 4), CFlashImageFile::kNotFound) << "nothing open";
    ASSERT_EQ(m_file.Open((m_dir / "TRIS*.oxd").c_str()), CFlashImageFile::kReady);
    EXPECT_EQ(m_file.GetPath(), newest.c_str());
    EXPECT_EQ(m_file.GetFileName(), "TRIS0101.oxd");
    const long length = static_cast<long>(44 + parts.tags.size());
    EXPECT_EQ((std::vector<long>{m_file.GetFileSize(), m_file.GetDataOffset(), m_file.GetDataSize(),
                                 m_file.GetHeaderTextOffset(), m_file.GetHeaderTextSize()}),
              (std::vector<long>{length + 10, length, 10, 12, length - 12}));
    // The header text with two zero bytes after it.
    const std::string expectedText = MakeOxd(parts).substr(12, static_cast<size_t>(length - 12)) + std::string(2, '\0');
    EXPECT_EQ(std::string(m_file.GetHeaderText(), expectedText.size()), expectedText);
    EXPECT_STREQ(m_file.GetStatusText(0), "OXD File Open and Ready");

    EXPECT_EQ(m_file.Read(buffer, 3, 7), CFlashImageFile::kReady);
    EXPECT_EQ(std::string(buffer, 7), "3456789");
    // Outside the data, negative, or no buffer: invalid parameter; an empty block is not a read.
    const std::pair<long, long> bad[] = {{7, 4}, {11, 0}, {-1, 2}, {0, -2}};
    for (auto [offset, size] : bad) EXPECT_EQ(m_file.Read(buffer, offset, size), CFlashImageFile::kBadParameter) << offset;
    EXPECT_EQ(m_file.Read(nullptr, 0, 2) * 10 + m_file.Read(buffer, 10, 0), CFlashImageFile::kBadParameter * 10 + CFlashImageFile::kCannotRead);
    EXPECT_STREQ(m_file.GetStatusText(0), "Unable to read this file.");
    EXPECT_EQ(m_file.Close() + m_file.GetStatus() + m_file.GetDataSize(), 0);
    EXPECT_EQ(m_file.GetHeaderText(), nullptr);
    EXPECT_EQ(m_file.GetStatusText(0), nullptr) << "a closed reader has no text for the current status";
    EXPECT_EQ(m_file.Open(WindowsPath(m_dir / "tris0101.OXD").c_str()), CFlashImageFile::kReady);
}

TEST_F(FlashImageFileTest, RejectsWhatIsNotAnOxdFile) {
    EXPECT_EQ(m_file.Open(nullptr), CFlashImageFile::kBadParameter);
    EXPECT_STREQ(m_file.GetStatusText(-3), "Invalid parameter passed to OXD File class.");
    EXPECT_EQ(m_file.Open((m_dir / "*.oxd").c_str()), CFlashImageFile::kNotFound);
    const std::string good = MakeOxd(Trisko());
    const struct {
        const char* name;
        std::string bytes;
        int status;
    } rows[] = {
        {"15 bytes", good.substr(0, 15), CFlashImageFile::kNotOxd},
        {"empty", "", CFlashImageFile::kNotOxd},
        {"magic in another case", MakeOxd({.magic = "ZORV.OXd", .tags = "N:TRIS0101;", .data = "xy"}), CFlashImageFile::kNotOxd},
        {"16 bytes with header length 16: no data", std::string("ZORV.OXD") + BigEndian(16) + "abcd", CFlashImageFile::kNotOxd},
        {"one byte of data", MakeOxd(Trisko("x")), CFlashImageFile::kNotOxd},
        {"two bytes of data", MakeOxd(Trisko("xy")), CFlashImageFile::kReady},
        {"header length below 16", MakeOxd({.tags = "N:TRIS0101;", .data = "xy", .headerLength = 15}), CFlashImageFile::kNotOxd},
        {"header length past the end", MakeOxd({.tags = "N:TRIS0101;", .data = "xy", .headerLength = 0xFFFFFFFF}), CFlashImageFile::kNotOxd},
        {"more than 3 MiB of data", MakeOxd(Trisko(std::string(0x300001, 'd'))), CFlashImageFile::kNotOxd},
        {"3 MiB of data", MakeOxd(Trisko(std::string(0x300000, 'd'))), CFlashImageFile::kReady},
    };
    for (const auto& row : rows) {
        Write("TRIS0101.oxd", row.bytes);
        EXPECT_EQ(m_file.Open((m_dir / "TRIS0101.oxd").c_str()), row.status) << row.name;
    }
    m_dir.MakeDir("dir.oxd");
    EXPECT_EQ(m_file.Open((m_dir / "dir.oxd").c_str()), CFlashImageFile::kNotFound) << "a folder is no file";
    const char* texts[] = {"OXD File Open and Ready", "Invalid parameter passed to OXD File class.", "Cannot find the OXD file.",
                           "Unable to open this file for reading.", "Not an OXD File.", "Unable to read this file.",
                           "Unable to allocate additional memory."};
    for (int code = 1; code <= 7; ++code) EXPECT_STREQ(m_file.GetStatusText(code), texts[code - 1]);
    EXPECT_EQ(m_file.GetStatusText(8), nullptr);
}

}  // namespace
