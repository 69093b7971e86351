// The command line and the write-or-check step the fixture generators share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fixturefiles {

// Returns whether the arguments read "[--check] DIR", setting check and dir; false means print the usage.
inline bool ParseCheckDir(int argc, char** argv, bool& check, std::string& dir) {
    check = false;
    dir.clear();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) check = true;
        else if (dir.empty() && argv[i][0] != '-') dir = argv[i];
        else return false;
    }
    return !dir.empty();
}

// Returns whether the file at path holds exactly bytes; when not, prints "<path>: differs" or "missing".
inline bool IsCurrent(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (have == bytes) return true;
    std::printf("%s: %s\n", path.c_str(), in ? "differs" : "missing");
    return false;
}

// Returns whether bytes now stand in the file at path; when not, says so on stderr under the tool's name.
inline bool WriteFile(const char* tool, const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) return true;
    std::fprintf(stderr, "%s: cannot write %s\n", tool, path.c_str());
    return false;
}

}  // namespace fixturefiles
