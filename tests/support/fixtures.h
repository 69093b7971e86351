// The project's fixture files (testdata/) as tests name them to the library: copies in the test program's own scratch folder.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/temp_dir.h"

#ifndef PEX_TESTDATA_DIR
#error "tests/support/fixtures.h needs PEX_TESTDATA_DIR, the source tree's testdata folder"
#endif

namespace support {

// Returns the path of a copy of testdata/<rel> (a file, or a folder with all it holds), made on the
// first call for rel in a scratch folder that lasts as long as the test program. The library's
// arguments and environment end a word at a blank, and a checkout's path may hold one
// ("/home/user/My Projects/..."), so a test names the copy, as a station names the files of its own
// tree; and whatever a test writes where it names lands in the copy, never in the repository.
inline std::string Fixture(const std::string& rel) {
    static const TempDir copies;
    static std::set<std::string> made;
    const std::filesystem::path to = copies.File(rel);
    // A folder may already hold some of its files, copied one by one: it is completed.
    if (made.insert(rel).second) {
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy(std::filesystem::path(PEX_TESTDATA_DIR) / rel, to,
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    }
    return to.string();
}

}  // namespace support
