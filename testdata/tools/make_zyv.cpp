// Writes the synthetic ZYV package sets of the three releases (testdata/zyv/<date>/), or checks that the checked-in ones are current.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) check = true;
        else if (dir.empty() && argv[i][0] != '-') dir = argv[i];
        else return Usage();
    }
    if (dir.empty()) return Usage();
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
                std::ifstream in(path, std::ios::binary);
                const std::vector<uint8_t> have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                if (have != bytes) {
                    std::printf("%s: %s\n", path.c_str(), in ? "differs" : "missing");
                    ++stale;
                }
                continue;
            }
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "make_zyv: cannot write %s\n", path.c_str());
                return 1;
            }
            std::printf("%s (%zu bytes) crc 0x%08X\n", path.c_str(), bytes.size(), zyvgen::Crc32Mpeg2(bytes));
        }
    }
    return stale ? 1 : 0;
}
