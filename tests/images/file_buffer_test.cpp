// Tests of the whole-file buffer and the whole-file read and write helpers.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "images/file_buffer.h"

using namespace image_test;

TEST(FileBuffer, LoadsAndSavesWholeFiles) {
    ScratchDir dir;
    const std::vector<BYTE> ten = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    CFileBuffer made(ten.data(), 10);
    ASSERT_EQ(10u, made.nSize);
    ASSERT_EQ(1, made.SaveFile(dir.File("ten.bin").c_str()));
    EXPECT_EQ(ten, ReadBytes(dir.File("ten.bin")));

    CFileBuffer loaded;
    ASSERT_EQ(1, loaded.LoadFile(dir.File("ten.bin").c_str()));
    EXPECT_EQ(ten, std::vector<BYTE>(loaded.pData, loaded.pData + loaded.nSize));

    // A missing file keeps what the buffer held.
    EXPECT_EQ(0, loaded.LoadFile(dir.File("absent.bin").c_str()));
    EXPECT_EQ(ten, std::vector<BYTE>(loaded.pData, loaded.pData + loaded.nSize));

    CFileBuffer none(nullptr, 10);
    EXPECT_EQ(nullptr, none.pData);
    EXPECT_EQ(0u, none.nSize);

    loaded.Free();
    EXPECT_EQ(nullptr, loaded.pData);
    EXPECT_EQ(0u, loaded.nSize);
}

TEST(FileBuffer, EmptyFilesAndEmptyBuffers) {
    ScratchDir dir;
    WriteBytes(dir.File("empty.bin"), {});
    CFileBuffer buffer;
    ASSERT_EQ(1, buffer.LoadFile(dir.File("empty.bin").c_str()));
    EXPECT_EQ(0u, buffer.nSize);
    EXPECT_NE(nullptr, buffer.pData);
    EXPECT_EQ(0, buffer.SaveFile(dir.File("copy.bin").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("copy.bin")));
}

TEST(FileBuffer, FileTooLargeToHoldIsRefused) {
    ScratchDir dir;
    const std::string path = dir.File("huge.bin");
    WriteBytes(path, {});
    // A sparse file of 5 GiB: its length does not fit the buffer's 32-bit size.
    ASSERT_EQ(0, ::truncate(path.c_str(), 5LL << 30));
    const BYTE old[3] = {1, 2, 3};
    CFileBuffer buffer(old, 3);
    EXPECT_EQ(0, buffer.LoadFile(path.c_str()));
    EXPECT_EQ(3u, buffer.nSize);
    EXPECT_EQ(2, buffer.pData[1]);
}

TEST(FileBuffer, ReadIntoAndWriteFromCallerBuffers) {
    ScratchDir dir;
    const std::string path = dir.File("forty.bin");
    std::vector<BYTE> forty(40);
    for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<BYTE>(i + 1);
    WriteBytes(path, forty);

    std::vector<BYTE> target(100, 0xEE);
    ASSERT_EQ(1, ReadFileInto(path.c_str(), target.data(), 100));
    EXPECT_EQ(forty, std::vector<BYTE>(target.begin(), target.begin() + 40));
    EXPECT_EQ(std::vector<BYTE>(60, 0xEE), std::vector<BYTE>(target.begin() + 40, target.end()));
    std::vector<BYTE> part(8);
    ASSERT_EQ(1, ReadFileInto(path.c_str(), part.data(), 8));
    EXPECT_EQ(std::vector<BYTE>(forty.begin(), forty.begin() + 8), part);
    EXPECT_EQ(0, ReadFileInto(path.c_str(), target.data(), 0));
    EXPECT_EQ(0, ReadFileInto(path.c_str(), nullptr, 10));
    EXPECT_EQ(0, ReadFileInto(dir.File("absent").c_str(), target.data(), 10));

    // Writing over a longer file leaves exactly the bytes written.
    const BYTE five[5] = {5, 4, 3, 2, 1};
    ASSERT_EQ(1, WriteFileFrom(path.c_str(), five, 5));
    EXPECT_EQ((std::vector<BYTE>{5, 4, 3, 2, 1}), ReadBytes(path));
    EXPECT_EQ(0, WriteFileFrom(path.c_str(), five, 0));
    EXPECT_EQ(0, WriteFileFrom(path.c_str(), nullptr, 5));
    EXPECT_EQ(0, WriteFileFrom(dir.File("no/folder/x").c_str(), five, 5));
}
