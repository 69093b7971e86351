// A scratch folder for one test, removed with everything in it when the test ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "pexplat-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& rel) const { return m_path + "/" + rel; }

    // Creates rel (and its folders) holding text; answers its path.
    std::string Write(const std::string& rel, const std::string& text) const {
        std::string p = *this / rel;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string MakeDir(const std::string& rel) const {
        std::string p = *this / rel;
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

private:
    std::filesystem::path m_old;
};

// Windows spelling of a local absolute path: backslashes, and a drive letter in front.
inline std::string WindowsPath(const std::string& local) {
    std::string s = "C:" + local;
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
