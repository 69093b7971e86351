// Writes the synthetic ZYV package sets of the three releases (testdata/zyv/<date>/), or checks that the checked-in ones are current.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testdata/tools/fixture_files.h"
#include "testdata/tools/zyv_sets.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: make_zyv [--check] DIR\n"
                 "  writes every release as DIR/<yyyymmdd>/ZM<VCID>.zyv and prints each file's checksum; with\n"
                 "  --check, compares instead and exits with 1 when a file is missing or differs\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::string dir;
    if (!fixturefiles::ParseCheckDir(argc, argv, check, dir)) return Usage();
    int stale = 0;
    for (uint32_t date : zyvgen::ReleaseDates()) {
        const std::string folder = dir + "/" + std::to_string(date);
        if (!check) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
        }
        for (const zyvgen::Format& format : zyvgen::Formats()) {
            const std::string path = folder + "/" + zyvgen::FileName(format.vcid);
            const std::vector<uint8_t> bytes = zyvgen::BuildPackage(date, format);
            if (check) {
                if (!fixturefiles::IsCurrent(path, bytes)) ++stale;
                continue;
            }
            if (!fixturefiles::WriteFile("make_zyv", path, bytes)) return 1;
            std::printf("%s (%zu bytes) crc 0x%08X\n", path.c_str(), bytes.size(), zyvgen::Crc32Mpeg2(bytes));
        }
    }
    return stale ? 1 : 0;
}
