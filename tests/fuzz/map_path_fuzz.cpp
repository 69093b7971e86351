// Fuzz target map_path: any name but a local absolute path maps into the station folder, wherever the current folder is.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/platform/station_paths.h"
#include "tests/support/temp_dir.h"

namespace {

// A station folder with a folder inside it, a folder outside it, and one outside it whose name
// starts with the station folder's, all without links.
struct Folders {
    support::TempDir station, outside;
    std::string stationPath, deeper, outsidePath, besidePath;
    Folders()
        : stationPath(std::filesystem::canonical(station.Path()).string()),
          deeper(std::filesystem::canonical(station.MakeDir("sub/deeper")).string()),
          outsidePath(std::filesystem::canonical(outside.Path()).string()),
          besidePath(stationPath + "-old/a") {
        std::filesystem::create_directories(besidePath);
    }
    ~Folders() { std::filesystem::remove_all(stationPath + "-old"); }
};

const Folders& TheFolders() {
    static const Folders folders;
    return folders;
}

}  // namespace

int FuzzMapPath(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Folders& f = TheFolders();
    // Byte 0: the current folder is the station folder (none set), a folder inside it, outside it,
    // or beside it.
    const int where = data[0] % 4;
    const std::string cwd = where == 0 ? f.stationPath : where == 1 ? f.deeper : where == 2 ? f.outsidePath : f.besidePath;
    const std::string name(reinterpret_cast<const char*>(data) + 1, strnlen(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (name.empty() || stationpaths::IsLocalAbsolute(name)) return 0;
    support::ScopedCwd scope(cwd);
    platform::SetDriveRoot(where == 0 ? "" : f.stationPath);
    const std::string mapped = platform::MapPath(name.c_str());
    const std::string outside = stationpaths::OutsideStation(mapped, f.stationPath, cwd);
    const bool stable = platform::MapPath(mapped.c_str()) == mapped;
    platform::SetDriveRoot("");
    if (!outside.empty()) std::fprintf(stderr, "%s -> %s\n", name.c_str(), outside.c_str());
    if (!outside.empty()) return 1;
    if (!stable) std::fprintf(stderr, "%s -> %s maps again elsewhere\n", name.c_str(), mapped.c_str());
    return stable ? 0 : 1;
}
