// Replays every seed and kept finding (regress-*) of tests/fuzz/corpus/<target>/ through its target.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

namespace {

namespace fs = std::filesystem;

struct Row { FuzzTarget target; fs::path dir; };

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (size_t i = 0; i < kFuzzTargetCount; ++i)
        rows.push_back({kFuzzTargets[i], fs::path(PEX_FUZZ_DIR) / "corpus" / kFuzzTargets[i].name});
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
        EXPECT_EQ(0, row.target.run(bytes.data(), bytes.size())) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0) << "no inputs in " << row.dir;
}

std::string RowName(const testing::TestParamInfo<Row>& info) { return info.param.target.name; }

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(Rows()), RowName);

}  // namespace
