// A test library with nothing to run: it publishes no test, or with the switch -UNCHECKED one
// leaf that is not checked.
#include <fstream>
#include <iterator>
#include <string>

#include "framework/test_base.h"
#include "framework/test_record.h"

namespace {

struct PassTest : CTestBase {
    DWORD Run(CString) override { return kRunPassed; }
} g_pass;

struct Publisher {
    Publisher() {
        std::ifstream in("CmdLine");
        const std::string switches((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (switches.find("-UNCHECKED") != std::string::npos)
            CTestRegistry::Instance().AddTest("Lone`-1", "PassTest", 1, &g_pass, "Bare <Pass>");
        CTestBase::BufferPreHostText("No board on this rig\n");
    }
} g_publisher;

}  // namespace
