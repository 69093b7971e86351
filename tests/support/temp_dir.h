// Scratch folders for tests: a temporary folder removed with its contents, and the current folder moved into one.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace support {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the system's temporary folder, removed with everything in it. One that
// cannot be made (no temporary folder, a full disk) throws, saying why, so that its test fails
// there rather than name its files from "/"; so does a file Write cannot make whole.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pextest-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            const int error = errno;
            throw std::runtime_error("cannot make a scratch folder " + pattern + ": " + std::strerror(error));
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& rel) const { return m_path + "/" + rel; }
    std::string operator/(const std::string& rel) const { return File(rel); }

    // Creates rel (and its folders) holding bytes; answers its path.
    std::string Write(const std::string& rel, const std::string& bytes) const {
        const std::string p = File(rel);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream out(p, std::ios::binary);
        if (!(out << bytes).flush()) {
            const int error = errno;
            throw std::runtime_error("cannot write the scratch file " + p + ": " + std::strerror(error));
        }
        return p;
    }
    std::string Read(const std::string& rel) const { return ReadText(File(rel)); }
    // Creates rel as a sparse file of size bytes, zero but for bytes at offset at: gigabytes that
    // cost no disk and read at memory speed. Answers its path, or "" when the file system stores
    // the zeros (no holes), where such a file is no scratch file.
    std::string WriteSparse(const std::string& rel, unsigned long long size, unsigned long long at, const std::string& bytes) const {
        const std::string p = File(rel);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        struct stat st {};
        const bool made = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                          ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(bytes.size()) &&
                          ::fstat(fd, &st) == 0;
        if (fd >= 0) ::close(fd);
        if (made && static_cast<unsigned long long>(st.st_blocks) * 512 < (1ull << 20)) return p;
        ::unlink(p.c_str());
        return "";
    }
    std::string MakeDir(const std::string& rel) const {
        const std::string p = File(rel);
        std::filesystem::create_directories(p);
        return p;
    }

private:
    std::string m_path;
};

// Moves into a folder for the scope of a test and back out again.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCwd() {
        std::error_code ec;
        std::filesystem::current_path(m_old, ec);
    }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::filesystem::path m_old;
};

// The current folder is a fresh temporary one for the scope ("CmdLine" is read from there).
class InTempCwd {
public:
    InTempCwd() : m_cwd(m_dir.Path()) {}
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    ScopedCwd m_cwd;
};

// Windows spelling of a local absolute path: backslashes after the leading '/', which keeps it a
// local path (a drive or a leading backslash stands for the station folder, not for the file
// system's root).
inline std::string WindowsPath(const std::string& local) {
    std::string s = local;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i] == '/') s[i] = '\\';
    return s;
}

// path as one word where a reader takes double quotes (an argument list's words, a chip's FILE=
// name, a dialog's line, a program run on failure), and of a Tcl script: each ends a word at a
// blank, and the system's temporary folder, where a test's files lie, may hold one. Tcl takes the
// braces as they stand, so a "$" or "[" in the path is no substitution.
inline std::string Quoted(const std::string& path) { return '"' + path + '"'; }
inline std::string TclWord(const std::string& path) { return '{' + path + '}'; }

// value as one value of the KEY=value arguments read by the parameter text (FILE=, FILE1=, SRC=,
// IMG=, PATH=, ...): those readers end a value at a blank unless brackets hold it, and the
// system's temporary folder may hold one. The brackets are not part of the value, and a value
// whose own brackets are out of pair cannot be held so: run-tests.sh takes no temporary folder
// whose path holds one.
inline std::string Bracketed(const std::string& value) { return '(' + value + ')'; }

}  // namespace support
