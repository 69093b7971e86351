// The benchmark programs' main: the stock one's flags and reporters, and exit status 1 when a case
// reported an error, so that a run that measured nothing does not pass for one that did.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/scratch_folder.h"

namespace {

// Passes every report on to the display reporter the flags chose (--benchmark_format,
// --benchmark_color) and notes whether a run ended in an error. Under
// --benchmark_report_aggregates_only or --benchmark_display_aggregates_only the library passes on
// no single run of a case that has aggregates (two repetitions or more without an error), so an
// error in its other repetitions goes unseen here too.
class ErrorNotingReporter : public benchmark::BenchmarkReporter {
public:
    explicit ErrorNotingReporter(benchmark::BenchmarkReporter* display) : m_display(display) {}

    bool ReportContext(const Context& context) override { return m_display->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) m_errors = m_errors || run.error_occurred;
        m_display->ReportRuns(runs);
    }
    void Finalize() override { m_display->Finalize(); }

    bool Errors() const { return m_errors; }

private:
    benchmark::BenchmarkReporter* m_display;  // the library's own, which it keeps
    bool m_errors = false;
};

}  // namespace

int main(int argc, char** argv) {
    // A relative --benchmark_out names a file in the folder the program was started in, not in the
    // scratch folder, which is removed at the end with all it holds.
    constexpr std::string_view kOut = "--benchmark_out=";
    std::vector<std::string> outs;
    outs.reserve(static_cast<size_t>(argc));  // argv points into it until the flags are read
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!arg.starts_with(kOut) || arg.size() == kOut.size() || arg[kOut.size()] == '/' || bench::StartFolder().empty())
            continue;
        outs.push_back(std::string(kOut) + bench::StartFolder() + "/" + std::string(arg.substr(kOut.size())));
        argv[i] = outs.back().data();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ErrorNotingReporter display(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&display);  // and the file reporter of --benchmark_out
    benchmark::Shutdown();
    return display.Errors() ? 1 : 0;
}
