// The benchmark programs' main: the stock one's flags and reporters, and an exit status that says
// whether the cases asked for ran clean, so that a run that measured nothing does not pass for one
// that did: 1 when a case reported an error or none matched the filter, on fewer than one
// repetition and when the --benchmark_out file could not be written whole, 2 when a relative
// --benchmark_out has no folder to land in (and, from scratch_folder.cpp, when there is no
// temporary folder to run in).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/scratch_folder.h"

namespace benchmark {
// Set by Initialize from the command line, over the BENCHMARK_... environment variables read when
// the library was loaded. libbenchmark 1.7.1 exports them, but its header does not declare them.
extern bool FLAGS_benchmark_report_aggregates_only;
extern bool FLAGS_benchmark_display_aggregates_only;
extern std::string FLAGS_benchmark_out;
extern std::string FLAGS_benchmark_out_format;
extern bool FLAGS_benchmark_counters_tabular;
extern int32_t FLAGS_benchmark_repetitions;
}  // namespace benchmark

namespace {

// Passes reports on to another reporter and notes whether a run ended in an error. Under the
// aggregates-only flags the library would hand over only the aggregates of a case that has them,
// and an aggregate carries no error of the runs it was computed from; so main clears those flags
// and this reporter holds back the single runs itself. A case's single runs come in one batch, its
// aggregates (if any) in the next: the single runs are passed on only once it is clear none come.
// A case that asks for aggregates only in its own registration (ReportAggregatesOnly) still hides
// its errors; none of ours does.
class AggregatesFilter : public benchmark::BenchmarkReporter {
public:
    AggregatesFilter(benchmark::BenchmarkReporter* inner, bool aggregatesOnly) : m_inner(inner), m_aggregatesOnly(aggregatesOnly) {}

    bool ReportContext(const Context& context) override {
        // The library gives the --benchmark_out file to this reporter, not to the one writing it.
        m_inner->SetOutputStream(&GetOutputStream());
        m_inner->SetErrorStream(&GetErrorStream());
        return m_inner->ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) m_errors = m_errors || run.error_occurred;
        if (!m_aggregatesOnly) {
            m_inner->ReportRuns(runs);
        } else if (std::none_of(runs.begin(), runs.end(), [](const Run& run) { return run.run_type == Run::RT_Aggregate; })) {
            PassHeld();
            m_held = runs;
        } else {
            m_held.clear();
            m_inner->ReportRuns(runs);
        }
    }
    void Finalize() override {
        PassHeld();
        m_inner->Finalize();
        // The library closes its file without a look at whether it all got there (a full disk).
        m_writeFailed = !GetOutputStream().flush();
    }

    bool Errors() const { return m_errors; }
    // Whether a report did not all reach the output, by the time Finalize ran.
    bool WriteFailed() const { return m_writeFailed; }

private:
    void PassHeld() {
        if (!m_held.empty()) m_inner->ReportRuns(m_held);
        m_held.clear();
    }

    benchmark::BenchmarkReporter* m_inner;
    bool m_aggregatesOnly;
    std::vector<Run> m_held;  // the last case's single runs, until its aggregates come or do not
    bool m_errors = false;
    bool m_writeFailed = false;
};

// The reporter of the --benchmark_out file in --benchmark_out_format, as the library makes it
// (Initialize has refused any other format).
std::unique_ptr<benchmark::BenchmarkReporter> MakeFileReporter(const std::string& format) {
    if (format == "json") return std::make_unique<benchmark::JSONReporter>();
    // Marked for removal from the library, but still a format it takes.
    BENCHMARK_DISABLE_DEPRECATED_WARNING
    if (format == "csv") return std::make_unique<benchmark::CSVReporter>();
    BENCHMARK_RESTORE_DEPRECATED_WARNING
    return std::make_unique<benchmark::ConsoleReporter>(benchmark::FLAGS_benchmark_counters_tabular ? benchmark::ConsoleReporter::OO_Tabular
                                                                                                     : benchmark::ConsoleReporter::OO_None);
}

bool g_helpAsked = false;

// Initialize prints the usage and exits with 0 both when asked to (--help) and on a value it does not
// take (--benchmark_format=x): only the first is a success.
void UsageOrBadValue() {
    if (g_helpAsked) {
        benchmark::PrintDefaultHelp();
        return;
    }
    std::fprintf(stderr, "--benchmark_format and --benchmark_out_format take console, json or csv, and --benchmark_time_unit ns, us, ms or s\n");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        g_helpAsked = g_helpAsked || arg == "--help" || arg == "-help" || arg.starts_with("--help=") || arg.starts_with("-help=");
    }
    benchmark::Initialize(&argc, argv, UsageOrBadValue);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // A relative --benchmark_out names a file in the folder the program was started in, not in the
    // scratch folder, which is removed at the end with all it holds.
    std::string why;
    if (!bench::FromStartFolder(benchmark::FLAGS_benchmark_out, why)) {
        std::fprintf(stderr, "--benchmark_out=%s: %s\n", benchmark::FLAGS_benchmark_out.c_str(), why.c_str());
        return 2;
    }
    // The library would abort (or run nothing, and so pass) on fewer than one repetition.
    if (benchmark::FLAGS_benchmark_repetitions < 1) {
        std::fprintf(stderr, "--benchmark_repetitions=%d: the number of repetitions must be at least 1\n",
                     static_cast<int>(benchmark::FLAGS_benchmark_repetitions));
        return 1;
    }
    const bool fileAggregatesOnly = std::exchange(benchmark::FLAGS_benchmark_report_aggregates_only, false);
    const bool displayAggregatesOnly = std::exchange(benchmark::FLAGS_benchmark_display_aggregates_only, false) || fileAggregatesOnly;

    AggregatesFilter display(benchmark::CreateDefaultDisplayReporter(), displayAggregatesOnly);
    std::unique_ptr<benchmark::BenchmarkReporter> fileReporter;
    std::optional<AggregatesFilter> file;
    if (!benchmark::FLAGS_benchmark_out.empty()) {
        fileReporter = MakeFileReporter(benchmark::FLAGS_benchmark_out_format);
        file.emplace(fileReporter.get(), fileAggregatesOnly);
    }
    // Answers how many cases matched the filter; the library has said why when none did.
    const size_t matched = benchmark::RunSpecifiedBenchmarks(&display, file ? &*file : nullptr);
    benchmark::Shutdown();
    if (file && file->WriteFailed()) {
        std::fprintf(stderr, "--benchmark_out=%s: the results could not all be written to the file (a full disk?)\n",
                     benchmark::FLAGS_benchmark_out.c_str());
        return 1;
    }
    return matched == 0 || display.Errors() ? 1 : 0;
}
