// Path mapping, whole-file helpers, CFile and CFileFind on a real scratch folder.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using platform::MapPath;

using namespace support;

namespace {
void SetMtime(const std::string& path, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}
}  // namespace

TEST(MapPathTest, WindowsSpellingFindsExistingEntriesPreferringTheExactCase) {
    TempDir t;
    const std::string file = t.Write("TestData/Sub/File.OXD", "x");
    t.Write("a.txt", "lower");
    t.Write("A.txt", "upper");
    const std::pair<std::string, std::string> rows[] = {
        {WindowsPath(t / "testdata/SUB/file.oxd"), file},
        {t.Path() + "\\TESTDATA\\\\sub\\.\\File.oxd", file},
        {t / "testdata/sub/", t / "TestData/Sub/"},
        {t / "TESTDATA/New/Name.bin", t / "TestData/New/Name.bin"},  // new components keep the spelling given
        {t / "a.txt", t / "a.txt"},
        {t / "A.txt", t / "A.txt"},
        {t / "A.TXT", t / "A.txt"},  // no exact match among several: the same answer on every run
        {"", ""},
    };
    for (const auto& [windows, local] : rows) EXPECT_EQ(MapPath(windows.c_str()), local) << windows;
    EXPECT_EQ(MapPath(nullptr), "");
    // Relative paths stay relative.
    ScopedCwd cwd(t.Path());
    EXPECT_EQ(MapPath(".\\TESTDATA\\SUB\\FILE.OXD"), "TestData/Sub/File.OXD");
    EXPECT_EQ(MapPath("testdata\\missing\\y"), "TestData/missing/y");
    EXPECT_EQ(MapPath(".\\"), ".");
}

TEST(FilesTest, WholeFileHelpers) {
    TempDir t;
    std::string bytes(1 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 9));
    std::string path = WindowsPath(t / "Out.BIN");
    ASSERT_TRUE(platform::WriteWholeFile(path.c_str(), bytes.data(), bytes.size()));
    EXPECT_TRUE(fs::exists(t / "Out.BIN"));
    std::vector<BYTE> back;
    ASSERT_TRUE(platform::ReadWholeFile((t / "out.bin").c_str(), back));
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);

    ASSERT_TRUE(platform::WriteWholeFile((t / "empty").c_str(), nullptr, 0));
    EXPECT_TRUE(platform::ReadWholeFile((t / "EMPTY").c_str(), back));
    EXPECT_TRUE(back.empty());

    back.assign(3, 1);
    EXPECT_FALSE(platform::ReadWholeFile((t / "absent").c_str(), back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(platform::ReadWholeFile(t.Path().c_str(), back));
    EXPECT_EQ(platform::OpenFile(t.Path().c_str(), "rb"), nullptr);
    EXPECT_FALSE(platform::WriteWholeFile((t / "no/such/folder/f").c_str(), "x", 1));

    EXPECT_TRUE(platform::FileExists((t / "OUT.bin").c_str()));
    EXPECT_TRUE(platform::IsDirectory(t.Path().c_str()));
    EXPECT_FALSE(platform::IsDirectory((t / "out.bin").c_str()));
    EXPECT_FALSE(platform::FileExists((t / "absent").c_str()));
}

TEST(FilesTest, CopyAndDelete) {
    TempDir t;
    std::string src = t.Write("Src.txt", "source");
    std::string dst = t.Write("dst.txt", "old");
    EXPECT_FALSE(platform::CopyFile((t / "SRC.TXT").c_str(), dst.c_str(), true));
    EXPECT_EQ(ReadText(dst), "old");
    EXPECT_TRUE(platform::CopyFile((t / "SRC.TXT").c_str(), (t / "DST.TXT").c_str(), false));
    EXPECT_EQ(ReadText(dst), "source");
    SetMtime(src, 1000);
    EXPECT_TRUE(platform::CopyFile(src.c_str(), (t / "New.txt").c_str(), true));
    EXPECT_EQ(ReadText(t / "New.txt"), "source");
    CFile::Status st;
    ASSERT_TRUE(CFile::GetStatus((t / "New.txt").c_str(), st));
    EXPECT_EQ(st.mtime, 1000);  // the copy keeps the source's time
    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(platform::CopyFile(src.c_str(), (t / "src.TXT").c_str(), false));
    EXPECT_EQ(ReadText(src), "source");
    EXPECT_FALSE(platform::CopyFile((t / "absent").c_str(), (t / "x").c_str(), false));
    EXPECT_FALSE(platform::CopyFile(t.Path().c_str(), (t / "x").c_str(), false));

    EXPECT_TRUE(platform::DeleteFile((t / "NEW.TXT").c_str()));
    EXPECT_FALSE(fs::exists(t / "New.txt"));
    EXPECT_FALSE(platform::DeleteFile((t / "New.txt").c_str()));
    EXPECT_FALSE(platform::DeleteFile(t.Path().c_str()));
    EXPECT_TRUE(fs::exists(t.Path()));
}

TEST(CFileTest, OpenModes) {
    TempDir t;
    CFile f;
    EXPECT_FALSE(f.Open((t / "absent").c_str(), CFile::modeRead));
    EXPECT_FALSE(f.Open((t / "absent").c_str(), CFile::modeWrite));
    EXPECT_FALSE(f.Open(t.Path().c_str(), CFile::modeRead));
    EXPECT_FALSE(f.IsOpen());

    std::string path = t / "Log.txt";
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    EXPECT_EQ(f.GetFilePath(), path.c_str());
    EXPECT_TRUE(f.Write("first", 5));
    f.Close();
    ASSERT_TRUE(f.Open((t / "LOG.TXT").c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    f.SeekToEnd();
    EXPECT_TRUE(f.Write("+more", 5));
    f.Close();
    EXPECT_EQ(ReadText(path), "first+more");
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeWrite));  // no create: kept, written over from the start
    EXPECT_TRUE(f.Write("F", 1));
    f.Close();
    EXPECT_EQ(ReadText(path), "First+more");
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_EQ(f.GetLength(), 0);
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0u);
}

TEST(CFileTest, ReadWriteSeekAndLength) {
    TempDir t;
    CFile f;
    ASSERT_TRUE(f.Open((t / "rw.bin").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_TRUE(f.Write("ABCD", 4));
    EXPECT_EQ(f.GetLength(), 4);  // still in the stream's buffer
    EXPECT_EQ(f.GetPosition(), 4);
    f.SeekToBegin();
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "AB");
    EXPECT_TRUE(f.Write("xy", 2));  // a write straight after a read
    EXPECT_EQ(f.Read(buf, 4), 0u);  // and a read straight after a write, at the end
    EXPECT_EQ(f.Seek(-3, CFile::end), 1);
    EXPECT_EQ(f.Read(buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 3), "Bxy");
    EXPECT_EQ(f.Seek(-1, CFile::begin), -1);
    EXPECT_EQ(f.Seek(1, CFile::current), 5);
    EXPECT_EQ(f.SeekToEnd(), 4);
    f.Close();
    EXPECT_EQ(ReadText(t / "rw.bin"), "ABxy");
    EXPECT_EQ(f.Read(buf, 1), 0u);
    EXPECT_EQ(f.Seek(0, CFile::begin), -1);

    CFile::Status st;
    SetMtime(t / "rw.bin", 1'000'000'000);
    ASSERT_TRUE(CFile::GetStatus((t / "RW.BIN").c_str(), st));
    EXPECT_EQ(st.size, 4);
    EXPECT_EQ(st.mtime, 1'000'000'000);
    EXPECT_FALSE(st.directory);
    ASSERT_TRUE(CFile::GetStatus(t.Path().c_str(), st));
    EXPECT_TRUE(st.directory);
    EXPECT_FALSE(CFile::GetStatus((t / "absent").c_str(), st));
}

TEST(CFileFindTest, WildcardsOnTheLastComponent) {
    TempDir t;
    t.Write("Fw/Brimola_1.oxd", "");
    t.Write("Fw/brimola_2.OXD", "");
    t.Write("Fw/Nuxa.oxd", "");
    t.Write("Fw/readme.txt", "");
    t.Write("Fw/noext", "");
    t.MakeDir("Fw/Sub.oxd");

    CFileFind find;
    ASSERT_TRUE(find.FindFile(WindowsPath(t / "FW/BRIMOLA_?.OXD").c_str()));
    EXPECT_EQ(find.GetFileName(), "");  // nothing is current before the first FindNextFile
    EXPECT_TRUE(find.FindNextFile());
    EXPECT_EQ(find.GetFileName(), "Brimola_1.oxd");
    EXPECT_EQ(find.GetFilePath(), (t / "Fw/Brimola_1.oxd").c_str());
    EXPECT_FALSE(find.FindNextFile());  // the last match is current after the false answer
    EXPECT_EQ(find.GetFileName(), "brimola_2.OXD");

    auto names = [&](const std::string& pattern) {
        std::string all;
        for (BOOL more = find.FindFile(pattern.c_str()); more;) {
            more = find.FindNextFile();
            all += std::string(find.GetFileName()) + (find.IsDirectory() ? "/ " : " ");
        }
        return all;
    };
    EXPECT_EQ(names(t / "fw/*.oxd"), "Brimola_1.oxd brimola_2.OXD Nuxa.oxd Sub.oxd/ ");
    EXPECT_EQ(names(t / "fw/*.*"), "./ ../ Brimola_1.oxd brimola_2.OXD noext Nuxa.oxd readme.txt Sub.oxd/ ");
    EXPECT_EQ(names(t / "fw/*ola*"), "Brimola_1.oxd brimola_2.OXD ");
    EXPECT_EQ(names(t / "fw/README.TXT"), "readme.txt ");
    EXPECT_EQ(names(t / "fw/*.bin"), "");
    EXPECT_EQ(names(t / "absent/*"), "");
    EXPECT_EQ(names(t / "fw/"), "");

    ASSERT_TRUE(find.FindFile((t / "fw/*").c_str()));
    find.FindNextFile();
    EXPECT_TRUE(find.IsDots());
    EXPECT_TRUE(find.IsDirectory());
}

TEST(FilesTest, FindMostRecentFileTakesTheNewestRegularFile) {
    TempDir t;
    SetMtime(t.Write("Fw/Brimola_1.oxd", ""), 1000);
    SetMtime(t.Write("Fw/Brimola_3.oxd", ""), 3000);
    SetMtime(t.Write("Fw/Brimola_2.oxd", ""), 2000);
    SetMtime(t.Write("Fw/Nuxa_9.oxd", ""), 9000);
    SetMtime(t.MakeDir("Fw/Brimola_dir.oxd"), 9000);
    EXPECT_EQ(platform::FindMostRecentFile(WindowsPath(t / "fw/BRIMOLA_*.OXD").c_str()), (t / "Fw/Brimola_3.oxd").c_str());
    SetMtime(t / "Fw/Brimola_1.oxd", 3000);
    EXPECT_EQ(platform::FindMostRecentFile((t / "Fw/Brimola_*.oxd").c_str()), (t / "Fw/Brimola_3.oxd").c_str());
    EXPECT_EQ(platform::FindMostRecentFile((t / "Fw/Brimola_1.oxd").c_str()), (t / "Fw/Brimola_1.oxd").c_str());
    EXPECT_EQ(platform::FindMostRecentFile((t / "Fw/*.bin").c_str()), "");
    EXPECT_EQ(platform::FindMostRecentFile(nullptr), "");
}
