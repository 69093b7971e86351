// The benchmark programs' shared main and scratch folder, run on bench_main_cases: exit statuses, the
// runs shown under the aggregates-only flags, where --benchmark_out lands, unusable temporary folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#ifndef PEX_BENCH_CASES
#error "bench_main_test.cpp needs PEX_BENCH_CASES, the path of bench_main_cases"
#endif

namespace {

// The runs a report names, in the console, CSV or JSON format: single runs (and the names of
// --benchmark_list_tests) and aggregates (BM_x_mean, _median, _stddev, _cv).
struct RunCount {
    int singles = 0;
    int aggregates = 0;
    bool operator==(const RunCount&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const RunCount& c) {
        return os << c.singles << " single runs, " << c.aggregates << " aggregates";
    }
};

RunCount CountRuns(const std::string& report) {
    RunCount count;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::string_view s = line;
        s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
        if (s.starts_with("\"name\": ")) s.remove_prefix(8);
        if (s.starts_with('"')) s.remove_prefix(1);
        if (!s.starts_with("BM_")) continue;
        const std::string_view name = s.substr(0, s.find_first_of(" \","));
        const bool aggregate = name.ends_with("_mean") || name.ends_with("_median") || name.ends_with("_stddev") || name.ends_with("_cv");
        ++(aggregate ? count.aggregates : count.singles);
    }
    return count;
}

enum class Start { kFolder, kRemovedFolder };

// "@" in a row's texts stands for the row's own work folder, which holds start/ (where the program
// starts), tmp/ (its TMPDIR unless the row sets one) and a plain file "file".
struct Row {
    const char* what;
    std::vector<std::string> args;
    int status;
    RunCount shown;  // on stdout
    std::vector<std::string> outHas = {}, errHas = {};
    bool oneErrLine = false;
    std::vector<std::pair<std::string, std::string>> env = {};
    Start start = Start::kFolder;
    std::string outFile = "";  // --benchmark_out's file, which must be there
    RunCount inFile = {};
};

const std::string kReps = "--benchmark_repetitions=3";
const std::string kReportAggregates = "--benchmark_report_aggregates_only=true";
const std::string kDisplayAggregates = "--benchmark_display_aggregates_only=true";

// Three repetitions of both cases: 3 + 3 single runs, 4 + 4 aggregates (of BM_FailsSecond's two good runs).
const Row kRows[] = {
    {"clean", {"--benchmark_filter=Clean"}, 0, {1, 0}},
    {"clean, aggregates only", {"--benchmark_filter=Clean", kReps, kReportAggregates}, 0, {0, 4}},
    {"clean, one repetition: the single run shown", {"--benchmark_filter=Clean", kReportAggregates}, 0, {1, 0}},
    {"error in plain repetitions", {kReps}, 1, {6, 8}, {"ERROR OCCURRED: 'the second repetition fails'"}},
    {"error under report_aggregates_only", {kReps, kReportAggregates}, 1, {0, 8}},
    {"error under display_aggregates_only", {kReps, kDisplayAggregates}, 1, {0, 8}},
    {"error, report_aggregates_only from the environment", {kReps}, 1, {0, 8}, {}, {}, false, {{"BENCHMARK_REPORT_AGGREGATES_ONLY", "true"}}},
    {"error, display_aggregates_only from the environment", {kReps}, 1, {0, 8}, {}, {}, false, {{"BENCHMARK_DISPLAY_AGGREGATES_ONLY", "true"}}},
    {"one good repetition of two: no aggregates, its runs shown", {"--benchmark_repetitions=2", kReportAggregates}, 1, {2, 4}, {"ERROR OCCURRED"}},
    {"filter matching nothing", {"--benchmark_filter=NoSuch"}, 1, {0, 0}, {}, {"Failed to match any benchmarks"}},
    {"filter that does not compile", {"--benchmark_filter=["}, 1, {0, 0}, {}, {"Could not compile"}},
    {"list", {"--benchmark_list_tests"}, 0, {2, 0}},
    {"list matching nothing", {"--benchmark_list_tests", "--benchmark_filter=NoSuch"}, 1, {0, 0}},
    {"TMPDIR missing", {}, 2, {0, 0}, {}, {"TMPDIR=@/missing", "No such file or directory"}, true, {{"TMPDIR", "@/missing"}}},
    {"TMPDIR a file", {}, 2, {0, 0}, {}, {"TMPDIR=@/file", "Not a directory"}, true, {{"TMPDIR", "@/file"}}},
    {"relative out from a removed folder", {"--benchmark_out=r.json"}, 2, {0, 0}, {}, {"--benchmark_out=r.json"}, true, {}, Start::kRemovedFolder},
    {"absolute out from a removed folder", {"--benchmark_out=@/r.json", "--benchmark_filter=Clean"}, 0, {1, 0}, {}, {}, false, {},
     Start::kRemovedFolder, "@/r.json", {1, 0}},
    {"relative out, report_aggregates_only", {kReps, kReportAggregates, "--benchmark_out=r.json"}, 1, {0, 8}, {}, {}, false, {},
     Start::kFolder, "@/start/r.json", {0, 8}},
    {"relative out, report_aggregates_only from the environment, csv", {kReps, "--benchmark_out_format=csv"}, 1, {0, 8}, {}, {}, false,
     {{"BENCHMARK_REPORT_AGGREGATES_ONLY", "true"}, {"BENCHMARK_OUT", "r.csv"}}, Start::kFolder, "@/start/r.csv", {0, 8}},
    {"relative out, display_aggregates_only: every run in the file", {kReps, kDisplayAggregates, "--benchmark_out=r.txt", "--benchmark_out_format=console"},
     1, {0, 8}, {}, {}, false, {}, Start::kFolder, "@/start/r.txt", {6, 8}},
    {"out that cannot be opened", {"--benchmark_out=missing/r.json"}, 1, {0, 0}, {}, {"invalid file name"}},
    {"out that cannot be written whole", {"--benchmark_out=/dev/full", "--benchmark_filter=Clean"}, 1, {1, 0}, {}, {"--benchmark_out=/dev/full"}},
    {"no repetition", {"--benchmark_repetitions=0"}, 1, {0, 0}, {}, {"--benchmark_repetitions=0"}, true},
    {"fewer than none", {"--benchmark_repetitions=-1"}, 1, {0, 0}, {}, {"--benchmark_repetitions=-1"}, true},
    {"no repetition from the environment", {}, 1, {0, 0}, {}, {"--benchmark_repetitions=0"}, true, {{"BENCHMARK_REPETITIONS", "0"}}},
    {"format not taken", {"--benchmark_format=xml"}, 1, {0, 0}, {}, {"--benchmark_format"}, true},
    {"time unit not taken, from the environment", {}, 1, {0, 0}, {}, {"--benchmark_time_unit"}, true, {{"BENCHMARK_TIME_UNIT", "h"}}},
    {"help", {"--help"}, 0, {0, 0}, {"--benchmark_filter"}},
    {"relative TMPDIR: absolute for the cases and the scratch folder removed", {"--benchmark_filter=Clean"}, 0, {1, 0}, {}, {}, false,
     {{"TMPDIR", "../tmp"}}},
};

TEST(BenchMain, ExitStatusesAndRunsShown) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        const support::TempDir work;
        const std::string start = work.MakeDir("start"), tmp = work.MakeDir("tmp");
        work.Write("file", "");
        auto inWork = [&](std::string text) {
            for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += work.Path().size()) text.replace(at, 1, work.Path());
            return text;
        };

        std::vector<std::string> args = {PEX_BENCH_CASES};
        for (const std::string& arg : row.args) args.push_back(inWork(arg));
        std::vector<std::pair<std::string, std::string>> env = {{"TMPDIR", tmp}};
        for (const auto& [name, value] : row.env) {
            const auto same = std::find_if(env.begin(), env.end(), [&](const auto& e) { return e.first == name; });
            if (same != env.end()) env.erase(same);
            env.emplace_back(name, inWork(value));
        }
        support::ProgramRun run;
        if (row.start == Start::kRemovedFolder) {
            const support::ScopedCwd in(start);
            ASSERT_TRUE(std::filesystem::remove(start));
            run = support::RunProgram(args, "", env);
        } else {
            run = support::RunProgram(args, start, env);
        }

        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(CountRuns(run.out), row.shown) << run.out;
        for (const std::string& text : row.outHas) EXPECT_NE(run.out.find(text), std::string::npos) << text << " not in\n" << run.out;
        for (const std::string& text : row.errHas) EXPECT_NE(run.err.find(inWork(text)), std::string::npos) << inWork(text) << " not in\n" << run.err;
        if (row.oneErrLine) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        if (!row.outFile.empty()) {
            const std::string file = inWork(row.outFile);
            ASSERT_TRUE(std::filesystem::exists(file)) << file;
            EXPECT_EQ(CountRuns(support::ReadText(file)), row.inFile) << support::ReadText(file);
        }
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "a scratch folder was left behind";
    }
}

}  // namespace
