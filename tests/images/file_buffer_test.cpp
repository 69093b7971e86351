// Tests of the whole-file buffer and the whole-file read and write helpers.
#include <unistd.h>

#include "image_test_util.h"
#include "images/file_buffer.h"

using namespace image_test;

TEST(FileBuffer, MovesWholeFilesAndKeepsItsContentsWhenRefused) {
    TempDir dir;
    const Bytes ten = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    auto held = [](const CFileBuffer& b) { return b.pData ? Bytes(b.pData, b.pData + b.nSize) : Bytes(); };
    ASSERT_EQ(1, CFileBuffer(ten.data(), 10).SaveFile((dir / "ten.bin").c_str()));
    CFileBuffer loaded;
    ASSERT_EQ(1, loaded.LoadFile((dir / "ten.bin").c_str()));
    // A missing file, and a sparse file of 5 GiB that does not fit the 32-bit size, are refused.
    WriteBytes(dir / "huge.bin", {});
    ASSERT_EQ(0, ::truncate((dir / "huge.bin").c_str(), 5LL << 30));
    EXPECT_EQ(0, loaded.LoadFile((dir / "absent.bin").c_str()) || loaded.LoadFile((dir / "huge.bin").c_str()));
    EXPECT_EQ(ten, held(loaded));
    loaded.Free();
    EXPECT_EQ(std::make_pair(static_cast<BYTE*>(nullptr), 0u), std::make_pair(loaded.pData, CFileBuffer(nullptr, 10).nSize));
    WriteBytes(dir / "empty.bin", {});  // an empty file loads as an empty buffer, which saves nothing
    ASSERT_EQ(1, loaded.LoadFile((dir / "empty.bin").c_str()));
    EXPECT_EQ(0, loaded.SaveFile((dir / "copy.bin").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "copy.bin"));

    Bytes target(12, 0xEE), part(4);  // reads min(size, length) bytes into the caller's buffer
    ASSERT_EQ(1, ReadFileInto((dir / "ten.bin").c_str(), target.data(), 12));
    ASSERT_EQ(1, ReadFileInto((dir / "ten.bin").c_str(), part.data(), 4));
    EXPECT_EQ(Bytes({9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xEE, 0xEE}), target);
    EXPECT_EQ(Bytes({9, 8, 7, 6}), part);
    EXPECT_EQ(0, ReadFileInto((dir / "ten.bin").c_str(), target.data(), 0) || ReadFileInto((dir / "ten.bin").c_str(), nullptr, 4) ||
                     ReadFileInto((dir / "absent").c_str(), target.data(), 4));
    ASSERT_EQ(1, WriteFileFrom((dir / "ten.bin").c_str(), part.data(), 4));  // over a longer file: exactly the bytes written
    EXPECT_EQ(part, ReadBytes(dir / "ten.bin"));
    EXPECT_EQ(0, WriteFileFrom((dir / "ten.bin").c_str(), part.data(), 0) || WriteFileFrom((dir / "ten.bin").c_str(), nullptr, 4) ||
                     WriteFileFrom((dir / "no/folder/x").c_str(), part.data(), 4));
}
