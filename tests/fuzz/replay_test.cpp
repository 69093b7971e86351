// Replays every seed and kept finding of tests/fuzz/corpus/<target>/ through its target. Findings
// that wait for work elsewhere lie in tests/fuzz/pending/<target>/: their rows are disabled.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

namespace {

namespace fs = std::filesystem;

struct Row {
    FuzzTarget target;
    fs::path dir;
};

// Every target's corpus folder; of the pending folders, those that exist.
std::vector<Row> Rows(const char* folder, bool all) {
    std::vector<Row> rows;
    for (size_t i = 0; i < kFuzzTargetCount; ++i) {
        const fs::path dir = fs::path(PEX_FUZZ_DIR) / folder / kFuzzTargets[i].name;
        if (all || fs::is_directory(dir)) rows.push_back({kFuzzTargets[i], dir});
    }
    return rows;
}

void PrintTo(const Row& row, std::ostream* out) { *out << row.dir; }

class FuzzReplay : public testing::TestWithParam<Row> {};

TEST_P(FuzzReplay, EveryFileRunsClean) {
    const Row& row = GetParam();
    ASSERT_TRUE(fs::is_directory(row.dir)) << row.dir;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(row.dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, row.target.run(bytes.data(), bytes.size())) << entry.path();
        // Every input is small: a slow one is a hang the fuzzer found.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0) << "no inputs in " << row.dir;
}

std::string RowName(const testing::TestParamInfo<Row>& info) { return info.param.target.name; }

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(Rows("corpus", true)), RowName);
INSTANTIATE_TEST_SUITE_P(DISABLED_Pending, FuzzReplay, testing::ValuesIn(Rows("pending", false)), RowName);

}  // namespace
