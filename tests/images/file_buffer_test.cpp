// Tests of the whole-file buffer and the whole-file read and write helpers.
#include <unistd.h>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/file_buffer.h"

using namespace image_test;

TEST(FileBuffer, LoadsAndSavesWholeFiles) {
    TempDir dir;
    const Bytes ten = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    auto held = [](const CFileBuffer& b) { return b.pData ? Bytes(b.pData, b.pData + b.nSize) : Bytes(); };
    ASSERT_EQ(1, CFileBuffer(ten.data(), 10).SaveFile((dir / "ten.bin").c_str()));
    EXPECT_EQ(ten, ReadBytes(dir / "ten.bin"));
    CFileBuffer loaded;
    ASSERT_EQ(1, loaded.LoadFile((dir / "ten.bin").c_str()));
    EXPECT_EQ(ten, held(loaded));
    EXPECT_EQ(0, loaded.LoadFile((dir / "absent.bin").c_str()));  // keeps what it held
    EXPECT_EQ(ten, held(loaded));
    // A sparse file of 5 GiB does not fit the 32-bit size: refused, the old contents kept.
    WriteBytes(dir / "huge.bin", {});
    ASSERT_EQ(0, ::truncate((dir / "huge.bin").c_str(), 5LL << 30));
    EXPECT_EQ(0, loaded.LoadFile((dir / "huge.bin").c_str()));
    EXPECT_EQ(ten, held(loaded));
    loaded.Free();
    EXPECT_EQ(nullptr, loaded.pData);
    EXPECT_EQ(0u, CFileBuffer(nullptr, 10).nSize);

    // An empty file loads as an empty buffer, which saves nothing.
    WriteBytes(dir / "empty.bin", {});
    ASSERT_EQ(1, loaded.LoadFile((dir / "empty.bin").c_str()));
    EXPECT_EQ(0u, loaded.nSize);
    EXPECT_EQ(0, loaded.SaveFile((dir / "copy.bin").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "copy.bin"));
}

TEST(FileBuffer, ReadIntoAndWriteFromCallerBuffers) {
    TempDir dir;
    const std::string path = dir / "forty.bin";
    Bytes forty(40);
    for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<BYTE>(i + 1);
    WriteBytes(path, forty);
    Bytes target(100, 0xEE);
    ASSERT_EQ(1, ReadFileInto(path.c_str(), target.data(), 100));
    Bytes expected = forty;
    expected.resize(100, 0xEE);
    EXPECT_EQ(expected, target);
    Bytes part(8);
    ASSERT_EQ(1, ReadFileInto(path.c_str(), part.data(), 8));
    EXPECT_EQ(Bytes(forty.begin(), forty.begin() + 8), part);
    EXPECT_EQ(0, ReadFileInto(path.c_str(), target.data(), 0) || ReadFileInto(path.c_str(), nullptr, 10) ||
                     ReadFileInto((dir / "absent").c_str(), target.data(), 10));
    const BYTE five[5] = {5, 4, 3, 2, 1};
    ASSERT_EQ(1, WriteFileFrom(path.c_str(), five, 5));  // over a longer file: exactly the bytes written
    EXPECT_EQ(Bytes(five, five + 5), ReadBytes(path));
    EXPECT_EQ(0, WriteFileFrom(path.c_str(), five, 0) || WriteFileFrom(path.c_str(), nullptr, 5) ||
                     WriteFileFrom((dir / "no/folder/x").c_str(), five, 5));
}
