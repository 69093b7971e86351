// What every whole-file save promises, checked on one way of saving: failures fail with their cause, keep the old file and leave nothing beside it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "tests/support/temp_dir.h"

namespace support {

// One way of saving a file: save(path, said, large) answers whether it reported success, and in
// said what it reported otherwise (the failure's text, as the caller shows it). A large save
// writes more than kSaveLimitBytes, so that a size limit stops it mid-way; a small one a few
// hundred bytes at most, which sit in a stream's buffer until the file is closed.
struct SaveKind {
    std::string name;
    std::function<bool(const std::string& path, std::string& said, bool large)> save;
    std::string diskFull;  // part of what a save to a full device says
};

inline constexpr rlim_t kSaveLimitBytes = 16 * 1024;

// The names in dir, so that a temporary left behind shows.
inline std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Runs fn with the process's file size limit at kSaveLimitBytes (writes past it fail with EFBIG
// instead of raising SIGXFSZ); both come back afterwards.
inline void WithFileSizeLimit(const std::function<void()>& fn) {
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limit = old;
    limit.rlim_cur = kSaveLimitBytes;
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &before);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    fn();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &before, nullptr);
}

// The contract of a whole-file save, on kind:
// - to a full device it fails, saying why, also when all of it fits a stream's buffer;
// - stopped mid-way it fails, and the file it would have replaced keeps its bytes, with nothing
//   left beside it;
// - to a FIFO it fails at once (an alarm ends a save that waits for a reader), and the FIFO stays;
// - a success replaces the file whole and keeps its permission bits, and through a link replaces
//   the file the link leads to, the link staying (one not there yet is made where the link
//   leads); a new file gets 0666 less the umask.
inline void ExpectWholeFileSave(const SaveKind& kind) {
    SCOPED_TRACE(kind.name);
    TempDir dir;
    for (bool large : {false, true}) {
        std::string said;
        EXPECT_FALSE(kind.save("/dev/full", said, large)) << "a full device, large " << large;
        EXPECT_NE(said.find(kind.diskFull), std::string::npos) << said;
    }
    std::string said;

    const std::string old(100, 'o');
    const std::string file = dir.Write("old.bin", old);
    std::filesystem::permissions(file, std::filesystem::perms(0640));
    said.clear();
    WithFileSizeLimit([&] { EXPECT_FALSE(kind.save(file, said, true)) << "past the size limit"; });
    EXPECT_NE(said.find("too large"), std::string::npos) << said;
    EXPECT_EQ(ReadText(file), old);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"old.bin"});

    // A file the run depends on is never written over: the save fails and says what the file is.
    platform::ProtectFile(dir.File("link.bin"), "the host's log");
    std::filesystem::create_symlink("old.bin", dir.File("link.bin"));
    said.clear();
    EXPECT_FALSE(kind.save(file, said, false)) << "a protected file, through a link";
    platform::ClearProtectedFiles();
    std::filesystem::remove(dir.File("link.bin"));
    EXPECT_NE(said.find("old.bin is the host's log, which this run must not write over"), std::string::npos) << said;
    EXPECT_EQ(ReadText(file), old);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"old.bin"});

    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::alarm(20);
    EXPECT_FALSE(kind.save(fifo, said, true));
    ::alarm(0);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    std::filesystem::remove(fifo);

    // The temporary of a save whose process was ended outright goes with the next save of the
    // file; one of a process still running stays, and so does a file the run protects or holds
    // open (a rig file, a log being written) that bears such a name.
    dir.Write(".old.bin.99999999.1.ab", "stale");
    const std::string running = dir.Write(".old.bin." + std::to_string(::getppid()) + ".1.ab", "running");
    const std::string rig = dir.Write(".old.bin.99999999.2.ab", "rig");
    const std::string log = dir.Write(".old.bin.99999999.3.ab", "log");
    platform::ProtectFile(rig, "the rig file");
    const int logFd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    std::filesystem::create_symlink("old.bin", dir.File("link.bin"));
    ASSERT_TRUE(kind.save(dir.File("link.bin"), said, true)) << said;
    platform::ClearProtectedFiles();
    ::close(logFd);
    EXPECT_FALSE(std::filesystem::exists(dir.File(".old.bin.99999999.1.ab")));
    EXPECT_TRUE(std::filesystem::remove(running));
    EXPECT_TRUE(ReadText(rig) == "rig" && ReadText(log) == "log");
    std::filesystem::remove(rig), std::filesystem::remove(log);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.bin")));
    EXPECT_GT(ReadText(file).size(), kSaveLimitBytes);
    EXPECT_EQ(ModeOf(file), 0640u);
    const mode_t mask = ::umask(027);
    ASSERT_TRUE(kind.save(dir.File("new.bin"), said, true)) << said;
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir.File("new.bin")), 0640u);
    EXPECT_EQ(ReadText(dir.File("new.bin")), ReadText(file)) << "the same save gives the same bytes";
    std::filesystem::create_symlink("later.bin", dir.File("ahead.bin"));
    ASSERT_TRUE(kind.save(dir.File("ahead.bin"), said, false)) << "through a link to a file not there yet: " << said;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("ahead.bin")));
    EXPECT_FALSE(ReadText(dir.File("later.bin")).empty());
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"ahead.bin", "later.bin", "link.bin", "new.bin", "old.bin"}));
}

}  // namespace support
