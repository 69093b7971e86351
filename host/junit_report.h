// The JUnit XML report of a run, for CI systems.
#pragma once

#include <string>
#include <vector>

#include "host/test_runner.h"

// Text made safe for XML 1.0 in UTF-8: markup characters escaped, bytes that are not UTF-8 read
// as Latin-1 (the library writes single-byte text), control characters XML cannot carry
// replaced by U+FFFD.
std::string XmlEscape(const std::string& text);

// One testsuite named suite, with a testcase for every test selected, in run order: the results of
// those that ran, then notRun, those a stop kept from starting. classname is the folder path with
// '.' between names (suite for a top-level test), time in seconds. A failed test carries a failure
// whose text is its red lines and whose message is the first of them; a stopped test and one not
// run are skipped, with the reason as message (and a stopped test's red lines as text), so a stopped
// run gives a complete account of itself and never reads as passed.
std::string JUnitXml(const std::string& suite, const std::vector<TestResult>& results,
                     const std::vector<const TreeNode*>& notRun);
