// Tests of the flash tests' OXD reader: newest file, head checks, status codes and texts, data reads.
#include <chrono>

#include "framework/hw/flash_image_file.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

OxdParts Trisko(const std::string& data = "0123456789") { return {.tags = "N:TRIS0101;R:0101;", .data = data}; }

TEST(FlashImageFileTest, OpensTheNewestMatchReadsItsDataAndRejectsWhatIsNotAnOxdFile) {
    TempDir dir;
    CFlashImageFile file;
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dir.Write("TRIS0100.oxd", MakeOxd(Trisko("old data"))), now - std::chrono::seconds(100));
    const std::string newest = dir.Write("TRIS0101.oxd", MakeOxd(Trisko()));
    std::filesystem::last_write_time(newest, now - std::chrono::seconds(10));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 0, 4), CFlashImageFile::kNotFound) << "nothing open";
    ASSERT_TRUE(file.Open((dir / "TRIS*.oxd").c_str()) == CFlashImageFile::kReady && file.GetPath() == newest.c_str()) << file.GetPath().c_str();
    const long length = static_cast<long>(44 + Trisko().tags.size());
    EXPECT_EQ((std::vector<long>{file.GetFileSize(), file.GetDataOffset(), file.GetDataSize(), file.GetHeaderTextSize()}),
              (std::vector<long>{length + 10, length, 10, length - 12}));
    EXPECT_TRUE(file.Read(buffer, 3, 7) == CFlashImageFile::kReady && std::string(buffer, 7) == "3456789") << buffer;
    // Outside the data, negative, or no buffer: invalid parameter; an empty block is not a read.
    for (auto [offset, size] : {std::pair<long, long>{7, 4}, {-1, 2}, {0, -2}})
        EXPECT_EQ(file.Read(buffer, offset, size), CFlashImageFile::kBadParameter) << offset;
    EXPECT_EQ(file.Read(nullptr, 0, 2) * 10 + file.Read(buffer, 10, 0), CFlashImageFile::kBadParameter * 10 + CFlashImageFile::kCannotRead);
    EXPECT_STREQ(file.GetStatusText(0), "Unable to read this file.");
    EXPECT_EQ(file.Close() + file.GetDataSize(), 0);
    EXPECT_EQ(file.Open(WindowsPath(dir / "tris0101.OXD").c_str()), CFlashImageFile::kReady);
    // What is not an OXD file is refused.
    EXPECT_EQ(file.Open(nullptr), CFlashImageFile::kBadParameter);
    EXPECT_EQ(file.Open((dir / "*.bin").c_str()), CFlashImageFile::kNotFound);
    const struct { const char* name; std::string bytes; int status; } rows[] = {
        {"15 bytes", MakeOxd(Trisko()).substr(0, 15), CFlashImageFile::kNotOxd},
        {"magic in another case", MakeOxd({.magic = "ZORV.OXd", .tags = "N:TRIS0101;", .data = "xy"}), CFlashImageFile::kNotOxd},
        {"one byte of data", MakeOxd(Trisko("x")), CFlashImageFile::kNotOxd},
        {"two bytes of data", MakeOxd(Trisko("xy")), CFlashImageFile::kReady},
        {"header length past the end", MakeOxd({.tags = "N:TRIS0101;", .data = "xy", .headerLength = 0xFFFFFFFF}), CFlashImageFile::kNotOxd},
        {"more than 3 MiB of data", MakeOxd(Trisko(std::string(0x300001, 'd'))), CFlashImageFile::kNotOxd},
        {"3 MiB of data", MakeOxd(Trisko(std::string(0x300000, 'd'))), CFlashImageFile::kReady},
    };
    for (const auto& row : rows) EXPECT_EQ(file.Open(dir.Write("TRIS0101.oxd", row.bytes).c_str()), row.status) << row.name;
    EXPECT_STREQ(file.GetStatusText(CFlashImageFile::kNotOxd), "Not an OXD File.");
    EXPECT_EQ(file.Open(dir.MakeDir("dir.oxd").c_str()), CFlashImageFile::kNotFound) << "a folder is no file";
}

}  // namespace
