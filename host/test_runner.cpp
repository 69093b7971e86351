// Running tests and reporting their results.
#include "host/test_runner.h"

#include <cstdio>

#include "platform/clock.h"

namespace {

constexpr COLORREF kGreen = 0x00A000;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kYellow = 0x00C0E8;

COLORREF OutcomeColor(Outcome o) {
    switch (o) {
    case Outcome::Passed: return kGreen;
    case Outcome::Stopped: return kYellow;
    case Outcome::Failed: break;
    }
    return kRed;
}

std::string Seconds(double s) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.3f s", s);
    return buf;
}

}  // namespace

Outcome OutcomeOf(DWORD code) {
    if (code == 1) return Outcome::Passed;
    if (code == 3) return Outcome::Stopped;
    return Outcome::Failed;
}

const char* OutcomeName(Outcome o) {
    switch (o) {
    case Outcome::Passed: return "PASS";
    case Outcome::Stopped: return "STOPPED";
    case Outcome::Failed: break;
    }
    return "FAIL";
}

bool FailsTheRun(const TestResult& r) {
    return r.outcome == Outcome::Failed || (r.outcome == Outcome::Stopped && !r.stopAsked);
}

std::vector<const TreeNode*> SelectTests(const std::vector<TreeNode>& nodes,
                                         const std::vector<std::string>& filters, bool all) {
    std::vector<const TreeNode*> tests;
    for (const TreeNode& n : nodes) {
        if (!n.leaf || !(all || n.checkedInTree)) continue;
        bool chosen = filters.empty();
        for (const std::string& f : filters) chosen = chosen || FilterMatches(f, n.path);
        if (chosen) tests.push_back(&n);
    }
    return tests;
}

std::vector<std::string> RefusedFilters(const std::vector<TreeNode>& nodes,
                                        const std::vector<std::string>& filters, bool all) {
    std::vector<std::string> refused;
    for (const std::string& f : filters) {
        if (!SelectTests(nodes, {f}, all).empty()) continue;
        std::string why = std::string(all ? "no test" : "no checked test") + " matches the filter \"" + f + "\"";
        if (const size_t unchecked = all ? 0 : SelectTests(nodes, {f}, true).size())
            why += " (" + std::to_string(unchecked) + " unchecked: add --all)";
        refused.push_back(why);
    }
    return refused;
}

std::string FormatTree(const std::vector<TreeNode>& nodes) {
    std::string text;
    for (const TreeNode& n : nodes) {
        text.append(static_cast<size_t>(n.depth) * 2, ' ');
        text += n.checked ? "[x] " : "[ ] ";
        text += n.name;
        if (!n.leaf) text += '/';
        if (n.optional) text += "  (optional)";
        text += '\n';
    }
    return text;
}

bool TestRunner::StopRequested() const {
    return __atomic_load_n(&m_stopFlag, __ATOMIC_SEQ_CST) != 0;
}

std::vector<TestResult> TestRunner::Run(const std::vector<const TreeNode*>& tests) {
    std::vector<TestResult> results;
    for (const TreeNode* node : tests) {
        if (StopRequested()) break;
        m_out.EnsureLineStart();
        m_out.WriteHostText("[RUN]     " + node->path + "\n");
        m_out.FlushStreams();

        TestResult r;
        r.node = node;
        m_out.CaptureRedLines(&r.redLines);
        const LONGLONG start = platform::NowTicks();
        if (!HasOwner(node->record)) {
            m_out.WriteHostText("The library gave this test no owner to run it.\n", kRed);
            r.code = 2;
        } else {
            try {
                r.code = RunRecord(node->record);
            } catch (...) {
                // Nothing should cross the plug-in boundary; if it does, the test failed.
                m_out.WriteHostText("\nThe test ended with an exception.\n", kRed);
                r.code = 2;
            }
        }
        r.seconds = static_cast<double>(platform::NowTicks() - start) / static_cast<double>(kPerfFrequency);
        m_out.EnsureLineStart();
        m_out.CaptureRedLines(nullptr);
        m_progress.ClearLine();
        r.outcome = OutcomeOf(r.code);
        r.stopAsked = StopRequested();

        std::string tag = std::string("[") + OutcomeName(r.outcome) + "]";
        tag.resize(10, ' ');
        std::string line = tag + node->path + "  (" + Seconds(r.seconds);
        if (r.outcome == Outcome::Failed && r.code != 2) line += ", result " + std::to_string(r.code);
        line += ")\n";
        m_out.WriteHostText(line, OutcomeColor(r.outcome));
        m_out.FlushStreams();
        results.push_back(std::move(r));
    }
    return results;
}

void TestRunner::PrintSummary(const std::vector<TestResult>& results,
                              const std::vector<const TreeNode*>& notRun) {
    int passed = 0, failed = 0, stopped = 0;
    m_out.EnsureLineStart();
    m_out.WriteHostText("\nSummary\n");
    m_out.WriteHostText("  Result         Time    Test\n");
    for (const TestResult& r : results) {
        char time[32];
        snprintf(time, sizeof time, "%9.3f s", r.seconds);
        std::string name = OutcomeName(r.outcome);
        name.resize(10, ' ');
        m_out.WriteHostText("  ");
        m_out.WriteHostText(name, OutcomeColor(r.outcome));
        m_out.WriteHostText(std::string(time) + "  " + r.node->path + "\n");
        if (r.outcome == Outcome::Passed) ++passed;
        else if (r.outcome == Outcome::Stopped) ++stopped;
        else ++failed;
    }
    for (const TreeNode* n : notRun) m_out.WriteHostText("  NOT RUN                " + n->path + "\n");
    const size_t total = results.size() + notRun.size();
    char line[160];
    snprintf(line, sizeof line, "%zu test%s: %d passed, %d failed, %d stopped, %zu not run\n", total,
             total == 1 ? "" : "s", passed, failed, stopped, notRun.size());
    m_out.WriteHostText(line);
    m_out.FlushStreams();
}
