// Tests of the whole-file buffer and the whole-file read and write helpers.
#include <unistd.h>

#include "image_test_util.h"
#include "images/file_buffer.h"

using namespace image_test;

TEST(FileBuffer, MovesWholeFilesAndKeepsItsContentsWhenRefused) {
    TempDir dir;
    const std::string ten = dir / "ten.bin", empty = dir / "empty.bin", huge = dir / "huge.bin";
    ASSERT_EQ(1, CFileBuffer(Bytes({9, 8, 7, 6, 5, 4, 3, 2, 1, 0}).data(), 10).SaveFile(ten.c_str()));
    CFileBuffer loaded;
    ASSERT_EQ(1, loaded.LoadFile(ten.c_str()));
    // A missing file, and a sparse file of 5 GiB that does not fit the 32-bit size, are refused.
    WriteBytes(huge, {});
    ASSERT_EQ(0, ::truncate(huge.c_str(), 5LL << 30));
    EXPECT_EQ(0, loaded.LoadFile((dir / "absent.bin").c_str()) || loaded.LoadFile(huge.c_str()));
    EXPECT_EQ(ReadBytes(ten), Bytes(loaded.pData, loaded.pData + loaded.nSize));
    WriteBytes(empty, {});  // an empty file loads as an empty buffer, which saves nothing
    ASSERT_EQ(1, loaded.LoadFile(empty.c_str()));
    EXPECT_EQ(0, loaded.SaveFile((dir / "copy.bin").c_str()) || CFileBuffer(nullptr, 10).nSize);
    EXPECT_FALSE(std::filesystem::exists(dir / "copy.bin"));
    Bytes target(12, 0xEE), part(4);  // reads min(size, length) bytes into the caller's buffer
    ASSERT_EQ(1, ReadFileInto(ten.c_str(), target.data(), 12) && ReadFileInto(ten.c_str(), part.data(), 4));
    EXPECT_EQ(std::make_pair(Bytes({9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xEE, 0xEE}), Bytes({9, 8, 7, 6})), std::make_pair(target, part));
    EXPECT_EQ(0, ReadFileInto(ten.c_str(), target.data(), 0) || ReadFileInto(ten.c_str(), nullptr, 4) ||
                     ReadFileInto((dir / "absent").c_str(), target.data(), 4));
    ASSERT_EQ(1, WriteFileFrom(ten.c_str(), part.data(), 4));  // over a longer file: exactly the bytes written
    EXPECT_EQ(part, ReadBytes(ten));
    EXPECT_EQ(0, WriteFileFrom(ten.c_str(), part.data(), 0) || WriteFileFrom(ten.c_str(), nullptr, 4) ||
                     WriteFileFrom((dir / "no/folder/x").c_str(), part.data(), 4));
}
