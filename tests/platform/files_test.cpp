// Path mapping, whole-file helpers, CFile and CFileFind on a real scratch folder.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/file_identity.h"
#include "tests/platform/station_paths.h"
#include "tests/support/file_powers.h"
#include "tests/support/save_checks.h"
#include "tests/support/temp_dir.h"

using platform::MapPath;

using namespace support;

namespace {
void SetMtime(const std::string& path, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}
}  // namespace

TEST(MapPathTest, WindowsSpellingPrefersTheExactCaseAndWildcardsOnTheLastComponent) {
    TempDir t;
    const std::string file = t.Write("TestData/Sub/File.OXD", "x");
    t.Write("a.txt", "lower");
    t.Write("A.txt", "upper");
    const std::pair<std::string, std::string> rows[] = {
        {t.Path() + "\\TESTDATA\\\\sub\\.\\File.oxd", file},
        {t / "TESTDATA/New/Name.bin", t / "TestData/New/Name.bin"},  // new components keep the spelling given
        {t / "a.txt", t / "a.txt"},
        {t / "A.TXT", t / "A.txt"},  // no exact match among several: the same answer on every run
        // Spelled exactly, with Windows separators, "." and doubled separators, a folder with its slash.
        {t.Path() + "\\TestData\\.\\Sub\\\\File.OXD", file},
        {t.Path() + "\\TestData\\Sub\\", t / "TestData/Sub/"},
    };
    for (const auto& [windows, local] : rows) EXPECT_EQ(MapPath(windows.c_str()), local) << windows;
    EXPECT_EQ(MapPath(nullptr), "");
    // A drive stands for the station folder, and ".." stops at it as at a drive's root.
    {
        TempDir station;
        platform::SetDriveRoot(station.Path());
        const std::pair<std::string, std::string> drive[] = {
            {"C:\\Zorv.Encode.0.img", station / "Zorv.Encode.0.img"},
            {"d:/x/../../../../etc/passwd", station / "etc/passwd"},
            {"C:..\\a\\.\\b\\", station / "a/b/"},
            {"C:\\", station.Path() + "/"},
        };
        for (const auto& [windows, local] : drive) EXPECT_EQ(MapPath(windows.c_str()), local) << windows;
        EXPECT_EQ(platform::GetDriveRoot(), station.Path());
        platform::SetDriveRoot("");
        ScopedCwd here(station.Path());
        EXPECT_EQ(MapPath("C:\\x"), station / "x");  // no folder set: the current one
        EXPECT_EQ(platform::GetDriveRoot(), station.Path());
    }
    ScopedCwd cwd(t.Path());  // relative paths stay relative
    EXPECT_EQ(MapPath(".\\TESTDATA\\SUB\\FILE.OXD"), "TestData/Sub/File.OXD");
    // CFileFind: wildcards on the last component.
    for (const char* name : {"Brimola_1.oxd", "brimola_2.OXD", "Nuxa.oxd", "readme.txt", "noext"}) t.Write(std::string("Fw/") + name, "");
    t.MakeDir("Fw/Sub.oxd");

    CFileFind find;
    ASSERT_TRUE(find.FindFile(WindowsPath(t / "FW/BRIMOLA_?.OXD").c_str()) && find.FindNextFile());
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
    const std::pair<std::string, const char*> patterns[] = {
        {t / "fw/*.oxd", "Brimola_1.oxd brimola_2.OXD Nuxa.oxd Sub.oxd/ "},
        {t / "fw/*.*", "./ ../ Brimola_1.oxd brimola_2.OXD noext Nuxa.oxd readme.txt Sub.oxd/ "},  // dots first
        {t / "fw/README.TXT", "readme.txt "},
        {t / "fw/", ""},
    };
    for (const auto& [pattern, found] : patterns) EXPECT_EQ(names(pattern), found) << pattern;
    // The newest regular file of a pattern.
    SetMtime(t.Write("New/Brimola_1.oxd", ""), 1000);
    SetMtime(t.Write("New/Brimola_3.oxd", ""), 3000);
    SetMtime(t.Write("New/Brimola_2.oxd", ""), 2000);
    SetMtime(t.Write("New/Nuxa_9.oxd", ""), 9000);
    SetMtime(t.MakeDir("New/Brimola_dir.oxd"), 9000);
    EXPECT_EQ(platform::FindMostRecentFile(WindowsPath(t / "new/BRIMOLA_*.OXD").c_str()), (t / "New/Brimola_3.oxd").c_str());
    EXPECT_EQ(platform::FindMostRecentFile((t / "New/*.bin").c_str()), "");
    EXPECT_EQ(platform::FindMostRecentFile(nullptr), "");
}

TEST(FilesTest, WholeFileCopyDeleteAndCFileOpenModesReadWriteAndSeek) {
    TempDir t;
    // Binary, past any buffer, and over several of the pieces a save is written and a file read in:
    // each MiB differs, so a piece out of place shows.
    std::string bytes(9 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i ^ (i >> 20));
    bytes += std::string("\0\xFF\n\r", 4);
    ASSERT_TRUE(platform::WriteWholeFile(WindowsPath(t / "Out.BIN").c_str(), bytes.data(), bytes.size()));
    std::vector<BYTE> back;
    ASSERT_TRUE(platform::ReadWholeFile((t / "out.bin").c_str(), back));
    EXPECT_TRUE(std::string(back.begin(), back.end()) == bytes);
    ASSERT_TRUE(platform::CopyFile((t / "out.bin").c_str(), (t / "copy.bin").c_str(), true));  // piece by piece
    EXPECT_TRUE(ReadText(t / "copy.bin") == bytes);
    // A read that holds no more than a limit refuses a larger file before reading any of it, also
    // one whose size only its end tells (/proc).
    struct Limit { std::string path; size_t limit; bool read; } const limits[] = {
        {t / "out.bin", bytes.size(), true},
        {t / "out.bin", bytes.size() - 1, false},
        {"/proc/self/status", 1 << 20, true},
        {"/proc/self/status", 10, false},
    };
    for (const Limit& row : limits) {
        back.assign(1, 0);
        errno = 0;
        EXPECT_EQ(platform::ReadWholeFile(row.path.c_str(), back, row.limit), row.read) << row.path << " " << row.limit;
        EXPECT_EQ(back.empty(), !row.read) << row.path;
        EXPECT_TRUE(row.read || errno == EFBIG) << row.path << ": " << std::strerror(errno);
    }
    {
        CFile stream;  // the same bytes in one CFile::Write
        ASSERT_TRUE(stream.Open((t / "stream.bin").c_str(), CFile::modeCreate | CFile::modeWrite));
        EXPECT_TRUE(stream.Write(bytes.data(), static_cast<UINT>(bytes.size())) && stream.Close());
        EXPECT_TRUE(ReadText(t / "stream.bin") == bytes);
    }
    EXPECT_FALSE(platform::ReadWholeFile(t.Path().c_str(), back));
    // Input that is not a regular file is refused without waiting for a writer.
    const std::string fifo = t / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(platform::ReadWholeFile(fifo.c_str(), back));
    CFile in;
    EXPECT_FALSE(in.Open(fifo.c_str(), CFile::modeRead));
    EXPECT_FALSE(in.Open(fifo.c_str(), CFile::modeReadWrite));
    EXPECT_EQ(platform::OpenFile("/dev/null", "rb"), nullptr);
    EXPECT_FALSE(platform::WriteWholeFile(fifo.c_str(), "x", 1));
    EXPECT_TRUE(platform::WriteWholeFile("/dev/null", "x", 1));
    EXPECT_FALSE(platform::WriteWholeFile((t / "no/such/folder/f").c_str(), "x", 1));

    const std::string src = t.Write("Src.txt", "source"), dst = t.Write("dst.txt", "old");
    // Every refused copy says why, beyond errno where errno alone does not.
    platform::ProtectFile(t / "kept.txt", "the rig file");
    t.Write("kept.txt", "kept");
    struct Refusal { std::string from, to; bool failIfExists; int error; std::string detail; } const refusals[] = {
        {t / "SRC.TXT", dst, true, EEXIST, dst + " exists already"},
        {src, t / "src.TXT", false, EINVAL, t / "Src.txt" + " is the file copied"},  // copying it would empty it
        {src, t / "kept.txt", true, EPERM, t / "kept.txt" + " is the rig file, which this run must not write over"},
        {src, t.Path(), false, EISDIR, ""},
        {t.Path(), t / "new.txt", false, EISDIR, ""},
        {t / "none.txt", t / "new.txt", false, ENOENT, ""},
    };
    for (const Refusal& r : refusals) {
        errno = 0;
        EXPECT_FALSE(platform::CopyFile(r.from.c_str(), r.to.c_str(), r.failIfExists)) << r.to;
        EXPECT_EQ(errno, r.error) << r.to;
        EXPECT_EQ(platform::FileFailureDetail(errno), r.detail) << r.to;
    }
    platform::ClearProtectedFiles();
    EXPECT_EQ(ReadText(dst), "old");
    EXPECT_EQ(ReadText(t / "kept.txt"), "kept");
    EXPECT_FALSE(std::filesystem::exists(t / "new.txt"));
    SetMtime(src, 1000);
    EXPECT_TRUE(platform::CopyFile((t / "SRC.TXT").c_str(), (t / "DST.TXT").c_str(), false));
    EXPECT_EQ(ReadText(dst), "source");
    CFile::Status st;
    EXPECT_TRUE(CFile::GetStatus(dst.c_str(), st) && st.mtime == 1000);  // the copy keeps the source's time
    EXPECT_EQ(ReadText(src), "source");
    EXPECT_TRUE(platform::DeleteFile((t / "DST.TXT").c_str()));
    EXPECT_FALSE(platform::DeleteFile(t.Path().c_str()));
    // CFile: open modes, read, write and seek.
    CFile f;
    const std::string path = t / "Log.txt";
    t.Write("Log.txt", "first");
    ASSERT_TRUE(f.Open((t / "LOG.TXT").c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    f.SeekToEnd();
    f.Write("+more", 5);
    f.Close();
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeWrite));  // no create: kept, written over from the start
    f.Write("F", 1);
    f.Close();
    EXPECT_EQ(ReadText(path), "First+more");

    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_TRUE(f.Write("ABCD", 4));
    EXPECT_EQ(f.GetLength(), 4);  // still in the stream's buffer
    f.SeekToBegin();
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 2), 2u);
    EXPECT_TRUE(f.Write("xy", 2));  // a write straight after a read
    EXPECT_EQ(f.Read(buf, 4), 0u);  // and a read straight after a write, at the end
    EXPECT_EQ(f.Seek(-3, CFile::end), 1);
    EXPECT_EQ(std::string(buf, f.Read(buf, 8)), "Bxy");
    f.Close();
    EXPECT_EQ(ReadText(path), "ABxy");
}

namespace {

// Where the current folder stands to the station folder while names are mapped.
// BesideStation: a folder outside it whose name starts with the station folder's ("<S>-old/a").
enum class Cwd { IsStation, InsideStation, Elsewhere, BesideStation };

// A station folder (without links, as the host sets it) and a current folder placed as asked;
// the default station and current folder come back afterwards.
class StationScope {
public:
    explicit StationScope(Cwd where)
        : m_station(std::filesystem::canonical(m_dir.Path()).string()),
          m_beside(where == Cwd::BesideStation ? m_station + "-old" : ""),
          m_cwd(where == Cwd::IsStation ? m_station
                : where == Cwd::InsideStation ? m_dir.MakeDir("sub/deeper")
                : where == Cwd::BesideStation ? MakeFolder(m_beside + "/a")
                                              : std::filesystem::canonical(m_other.Path()).string()),
          m_scope(m_cwd) {
        if (where != Cwd::IsStation) platform::SetDriveRoot(m_station);
    }
    ~StationScope() {
        platform::SetDriveRoot("");
        if (!m_beside.empty()) std::filesystem::remove_all(m_beside);
    }
    const std::string& Station() const { return m_station; }
    const std::string& Current() const { return m_cwd; }

private:
    static std::string MakeFolder(const std::string& path) {
        std::filesystem::create_directories(path);
        return path;
    }
    TempDir m_dir, m_other;
    std::string m_station, m_beside, m_cwd;
    ScopedCwd m_scope;
};

}  // namespace

// The compare of two open files in pieces: where the first difference lies, past the first piece
// and in the last one, which file gave out first when one is shorter than the length compared, and
// a stop asked for.
TEST(FilesTest, CompareFileContentsFindsADifferenceInAnyPieceAndNamesTheFileThatGaveOut) {
    TempDir t;
    using platform::FileComparison;
    std::string bytes((3 << 20) + 5, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 20));
    const auto changed = [&](size_t at) { return std::string(bytes).replace(at, 1, 1, static_cast<char>(~bytes[at])); };
    const int stop = 1;
    struct Row { std::string first, second; LONGLONG length; FileComparison outcome; const int* stopFlag = nullptr; } const rows[] = {
        {bytes, bytes, static_cast<LONGLONG>(bytes.size()), FileComparison::Equal},
        // A stop asked for ends the compare before a difference could be found.
        {bytes, changed(bytes.size() - 1), static_cast<LONGLONG>(bytes.size()), FileComparison::Stopped, &stop},
        {"", "", 0, FileComparison::Equal},
        {bytes, changed(1 << 20), static_cast<LONGLONG>(bytes.size()), FileComparison::Different},
        {bytes, changed(bytes.size() - 1), static_cast<LONGLONG>(bytes.size()), FileComparison::Different},
        {bytes.substr(0, bytes.size() - 1), bytes, static_cast<LONGLONG>(bytes.size()), FileComparison::FirstUnreadable},
        {bytes, bytes.substr(0, 100), static_cast<LONGLONG>(bytes.size()), FileComparison::SecondUnreadable},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        CFile files[2];
        ASSERT_TRUE(files[0].Open(t.Write("1.bin", row.first).c_str(), CFile::modeRead));
        ASSERT_TRUE(files[1].Open(t.Write("2.bin", row.second).c_str(), CFile::modeRead));
        EXPECT_EQ(platform::CompareFileContents(files[0], files[1], row.length, row.stopFlag), row.outcome);
    }
}

TEST(MapPathTest, RootedUncAndRelativeNamesLandInTheStationFolderAndLocalAbsolutePathsStandAsGiven) {
    struct Row { Cwd cwd; const char* name; std::string local; } const rows[] = {
        {Cwd::IsStation, "\\Zorv.img", "<S>/Zorv.img"},  // the current drive's root
        {Cwd::IsStation, "\\\\server\\share\\x.img", "<S>/server/share/x.img"},
        {Cwd::IsStation, "..\\..\\x.img", "x.img"},  // ".." stops at the station folder, the name stays relative
        {Cwd::IsStation, ".\\C:\\x", "./C:/x"},    // not a drive: mapped again it stays the same file
        {Cwd::InsideStation, "y\\", "<S>/sub/deeper/y/"},
        {Cwd::InsideStation, "..\\y", "<S>/sub/y"},
        {Cwd::InsideStation, "\\y", "<S>/y"},
        {Cwd::Elsewhere, "CmdLine", "<S>/CmdLine"},  // taken from the station folder, where its programs run
        {Cwd::Elsewhere, "..\\x/./y", "<S>/x/y"},
        {Cwd::Elsewhere, "/tmp/../etc/x", "/tmp/../etc/x"},  // the operator's own path, as it stands
        // Outside, though its name starts with the station folder's.
        {Cwd::BesideStation, "CmdLine", "<S>/CmdLine"},
        {Cwd::BesideStation, "..\\x", "<S>/x"},
    };
    for (const Row& row : rows) {
        StationScope scope(row.cwd);
        std::string local = row.local;
        if (local.rfind("<S>", 0) == 0) local.replace(0, 3, scope.Station());
        EXPECT_EQ(MapPath(row.name), local) << row.name;
    }
}

// Names built from drive letters, backslash roots, UNC prefixes, "..", "." and mixed or doubled
// separators: each lands in the station folder and maps to itself again, wherever the current
// folder is.
TEST(MapPathTest, EveryWindowsNameResolvesInsideTheStationFolder) {
    const char* const prefixes[] = {"C:\\", "c:/", "Z:", "\\", "\\\\", "\\/", "", ".\\", "..\\", "C:..\\"};
    const char* const parts[] = {"..", ".", "a", "Sub", "x.img", "...", "C:", "", " ", "..."};
    const char* const separators[] = {"\\", "/", "\\\\", "/\\"};
    std::mt19937 random(20240611);
    auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
    for (Cwd where : {Cwd::IsStation, Cwd::InsideStation, Cwd::Elsewhere, Cwd::BesideStation}) {
        StationScope scope(where);
        for (int n = 0; n < 3000; ++n) {
            std::string name = pick(prefixes);
            for (unsigned k = random() % 7; k > 0; --k) name += std::string(pick(parts)) + pick(separators);
            if (random() % 2) name += pick(parts);
            if (name.empty() || stationpaths::IsLocalAbsolute(name)) continue;
            const std::string mapped = MapPath(name.c_str());
            ASSERT_EQ(stationpaths::OutsideStation(mapped, scope.Station(), scope.Current()), "") << name;
            ASSERT_EQ(MapPath(mapped.c_str()), mapped) << name;
        }
    }
}

// The whole-file saves of the platform layer: CFile's modeCreate, WriteWholeFile, CopyFile and the
// save of a file the run keeps under a role of its own.
TEST(FileSaveTest, EveryWholeFileSaveFailsWithItsCauseKeepsTheOldFileAndLeavesNothingBeside) {
    const std::string large(4 * support::kSaveLimitBytes, 'n'), small(100, 's');
    TempDir sources;
    const std::string sourceLarge = sources.Write("large.bin", large), sourceSmall = sources.Write("small.bin", small);
    auto said = [](std::string& text, bool ok) {
        if (!ok) text = std::strerror(errno) + std::string(": ") + platform::FileFailureDetail(errno);
        return ok;
    };
    const support::SaveKind kinds[] = {
        {"CFile", [&](const std::string& path, std::string& text, bool big) {
             const std::string& bytes = big ? large : small;
             CFile file;
             if (!file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite)) return said(text, false);
             for (size_t at = 0; at < bytes.size(); at += 4096) file.Write(bytes.data() + at, static_cast<UINT>(std::min<size_t>(4096, bytes.size() - at)));
             return said(text, file.Close());
         }, "No space left on device"},
        {"WriteWholeFile", [&](const std::string& path, std::string& text, bool big) {
             const std::string& bytes = big ? large : small;
             return said(text, platform::WriteWholeFile(path.c_str(), bytes.data(), bytes.size()));
         }, "No space left on device"},
        {"CopyFile", [&](const std::string& path, std::string& text, bool big) {
             return said(text, platform::CopyFile((big ? sourceLarge : sourceSmall).c_str(), path.c_str(), false));
         }, "No space left on device"},
        {"SaveOwnFile", [&](const std::string& path, std::string& text, bool big) {
             const std::string& bytes = big ? large : small;
             return said(text, platform::SaveOwnFile(path, bytes.data(), bytes.size(), "the rig's memory clock store of B1"));
         }, "No space left on device"},
    };
    for (const support::SaveKind& kind : kinds) support::ExpectWholeFileSave(kind);
}

TEST(FileSaveTest, ACreatedFileIsKeptOnlyByASuccessfulClose) {
    TempDir t;
    const std::string path = t.Write("kept.txt", "before");
    struct Row { const char* name; std::function<void(CFile&)> end; std::string after; } const rows[] = {
        {"closed", [](CFile& f) { EXPECT_TRUE(f.Close()); }, "after"},
        {"aborted", [](CFile& f) { f.Abort(); }, "before"},
        {"destroyed open", [](CFile&) {}, "before"},
    };
    for (const Row& row : rows) {
        {
            CFile file;
            ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
            EXPECT_EQ(file.GetLength(), 0);  // the new content starts empty, the old file stays meanwhile
            EXPECT_EQ(ReadText(path), "before");
            ASSERT_TRUE(file.Write("after", 5));
            row.end(file);
        }
        EXPECT_EQ(ReadText(path), row.after) << row.name;
        EXPECT_EQ(support::Entries(t.Path()), std::vector<std::string>{"kept.txt"}) << row.name;
        t.Write("kept.txt", "before");
    }
    // A write that fails is remembered for the close, with its cause.
    CFile full;
    ASSERT_TRUE(full.Open("/dev/full", CFile::modeCreate | CFile::modeWrite));
    const std::string block(1 << 16, 'x');
    EXPECT_FALSE(full.Write(block.data(), static_cast<UINT>(block.size())));
    EXPECT_EQ(full.GetError(), ENOSPC);
    errno = 0;
    EXPECT_FALSE(full.Close());
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(full.Close()) << "nothing open";
}

// Two names are one file only when device and inode both agree: inode numbers repeat across file
// systems (tmpfs numbers from 2). A name not there yet is known by where it would be made.
TEST(FileIdentityTest, OneFileOnlyWhenDeviceAndInodeOrTheNewPathAgree) {
    using platform::FileIdentity;
    const FileIdentity file{true, 21, 3, ""}, sameInodeOtherDevice{true, 22, 3, ""}, otherInode{true, 21, 4, ""},
        newFile{false, 0, 0, "/st/x.bin"}, otherNewFile{false, 0, 0, "/st/y.bin"};
    struct Row { FileIdentity a, b; bool same; } const rows[] = {
        {file, file, true},
        {file, sameInodeOtherDevice, false},
        {file, otherInode, false},
        {newFile, newFile, true},
        {newFile, otherNewFile, false},
        {file, newFile, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.a == row.b, row.same) << row.a.device << ":" << row.a.inode << row.a.path << " " << row.b.device << ":" << row.b.inode << row.b.path;
        EXPECT_EQ(row.b == row.a, row.same);
    }
}

// A save over a writable file in a folder that takes no new file fails, and says the folder is
// why, and so does a log opened there as a new file. The folder's mode bars its owner too (root in
// a child that gives up its power to pass it).
TEST(FileSaveTest, ASaveInAFolderThatTakesNoNewFileNamesTheFolder) {
    TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.Path()).string();
    const std::string file = dir.Write("kept.bin", "old");
    std::filesystem::permissions(folder, std::filesystem::perms(0555));
    std::filesystem::permissions(file, std::filesystem::perms(0666));
    const struct Reopen {
        std::string folder;
        ~Reopen() { ::chmod(folder.c_str(), 0755); }  // so that the scratch folder can be removed
    } reopen{folder};
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!support::GiveUpFileOverrides()) ::_exit(3);
        const bool saved = platform::WriteWholeFile(file.c_str(), "new", 3);
        std::string said = saved ? "saved" : std::strerror(errno) + std::string(": ") + platform::FileFailureDetail(errno);
        // A log opened to add to it, new in that folder, says the same.
        const int fd = platform::OpenDescriptor((folder + "/new.log").c_str(), O_WRONLY | O_CREAT);
        said += "\n" + (fd >= 0 ? "opened" : std::strerror(errno) + std::string(": ") + platform::FileFailureDetail(errno));
        const ssize_t ignored = ::write(fds[1], said.data(), said.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not give up root's power over file modes";
    const std::string refused = "Permission denied: the folder " + folder + " does not allow a new file";
    EXPECT_EQ(said, refused + "\n" + refused);
    EXPECT_EQ(ReadText(file), "old");
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"kept.bin"});
}
