// Running the chosen tests one after the other, with a result line each and a summary table.
#pragma once

#include <string>
#include <vector>

#include "host/output_renderer.h"
#include "host/progress_bar.h"
#include "host/test_tree.h"

enum class Outcome { Passed, Failed, Stopped };

struct TestResult {
    const TreeNode* node = nullptr;
    DWORD code = 0;
    Outcome outcome = Outcome::Failed;
    double seconds = 0;     // on the process clock (virtual unless --real-time)
    std::string redLines;   // the test's text in red, a line each
    bool stopAsked = false; // the operator had asked for a stop when the test ended
};

// What a Run result code means: 1 passed, 3 stopped, 2 and anything else failed.
Outcome OutcomeOf(DWORD code);
const char* OutcomeName(Outcome outcome);
// Whether a result fails the run: a failure, or a stop no one asked for (the test ended itself as
// stopped). An operator's stop makes the run a stopped one instead.
bool FailsTheRun(const TestResult& result);

// The leaves to run, in array order: without filters the leaves checked in the tree (or all
// leaves with all); with filters the leaves any filter selects among those.
std::vector<const TreeNode*> SelectTests(const std::vector<TreeNode>& nodes,
                                         const std::vector<std::string>& filters, bool all);

// Why the filters cannot run as given, a line each: every filter must choose a test that runs
// (checked in the tree, or any leaf with all), whatever the others choose. A filter that chooses
// none is named, with the number of unchecked leaves it matches when those are why. Empty when
// every filter chooses one.
std::vector<std::string> RefusedFilters(const std::vector<TreeNode>& nodes,
                                        const std::vector<std::string>& filters, bool all);

// The --list text: one line a record, indented two blanks a level, folders ending in "/".
std::string FormatTree(const std::vector<TreeNode>& nodes);

class TestRunner {
public:
    TestRunner(OutputRenderer& out, ProgressBar& progress, const int& stopFlag)
        : m_out(out), m_progress(progress), m_stopFlag(stopFlag) {}

    // Runs tests in order until all ran or the stop flag is set; answers the results of the
    // tests that ran (the rest did not start).
    std::vector<TestResult> Run(const std::vector<const TreeNode*>& tests);
    // The summary table; notRun lists the tests that did not start.
    void PrintSummary(const std::vector<TestResult>& results,
                      const std::vector<const TreeNode*>& notRun);

private:
    bool StopRequested() const;

    OutputRenderer& m_out;
    ProgressBar& m_progress;
    const int& m_stopFlag;
};
