// Helpers of the memory test suites: a main-board root on a rig of the test's choosing, and its output.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boards/roots/brimola_board_tests.h"
#include "framework/test_record.h"
#include "platform/host_ui.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/stop_flag.h"

namespace memtest {

using support::HasAll;
using support::MainBoardRig;
using support::StopFlagSet;
using support::TakeText;

// The main-board root built on the rig (its start-up calibration ran there) in a fresh current and
// program folder; commands go through the root as the host sends them. beforeRoot (when given)
// runs between the rig's loading and the root's building.
class RootOnRig {
public:
    explicit RootOnRig(const std::string& rigJson, const std::string& switches = "",
                       const std::function<void()>& beforeRoot = {})
        : m_rig(rigJson) {
        platform::SetProgramDir(m_cwd.Dir().Path());
        if (!switches.empty()) m_cwd.Dir().Write("CmdLine", "pexhost " + switches);
        if (beforeRoot) beforeRoot();
        m_root = std::make_unique<CBrimolaBoardTests>("CBrimolaBoard");
        TakeText();
    }
    ~RootOnRig() {
        m_root.reset();
        platform::SetProgramDir("");
        TakeText();
    }
    // Runs "<test> <arguments>" on Brimola1; the output is in text.
    DWORD Run(const std::string& testAndArguments) {
        TakeText();
        const DWORD result = m_root->Run(CString(("Brimola1 <" + testAndArguments + ">").c_str()));
        text = TakeText();
        return result;
    }
    // Runs the command; success when it answers result and prints every part.
    ::testing::AssertionResult Gives(const std::string& command, DWORD result, std::initializer_list<std::string> parts = {}) {
        if (const DWORD got = Run(command); got != result)
            return ::testing::AssertionFailure() << command << " answered " << got << ":\n" << text;
        return HasAll(text, parts) << " (" << command << ")";
    }
    bool Has(const std::string& s) const { return text.find(s) != std::string::npos; }
    DWORD Bar0(DWORD offset) const { return support::RigBoard("Brimola1")->GetRegisters()[offset / 4]; }
    DWORD SdramWord(DWORD address) const {
        DWORD value = 0;
        support::RigBoard("Brimola1")->GetSDRAMSpace()->Get(&value, address, 4);
        return value;
    }

    std::string text;

private:
    support::InTempCwd m_cwd;
    support::ScopedRig m_rig;
    std::unique_ptr<CBrimolaBoardTests> m_root;
};


// The host's main window with its progress bar (dialog item 1034) for the scope. The bar keeps the
// positions it is given and, as an operator's Ctrl-C while it moves, sets the host's stop flag once
// it has been given stopAfter of them (0: never); the flag is cleared at the end of the scope.
class StoppingProgressBar : public CProgressCtrl {
public:
    explicit StoppingProgressBar(size_t stopAfter) : m_stopAfter(stopAfter) { platform::SetMainWnd(&m_main); }
    ~StoppingProgressBar() override {
        platform::SetMainWnd(nullptr);
        *g_StopFlag() = 0;
    }
    StoppingProgressBar(const StoppingProgressBar&) = delete;
    StoppingProgressBar& operator=(const StoppingProgressBar&) = delete;
    void SetRange32(int, int) override {}
    int SetPos(int pos) override {
        positions.push_back(pos);
        if (positions.size() == m_stopAfter) *g_StopFlag() = 1;
        return 0;
    }
    int GetPos() const override { return positions.empty() ? 0 : positions.back(); }
    std::vector<int> positions;

private:
    struct Main : CWnd {
        explicit Main(CProgressCtrl* bar) : m_bar(bar) {}
        CWnd* GetDlgItem(int id) override { return id == kProgressCtrlId ? m_bar : nullptr; }
        CProgressCtrl* m_bar;
    };
    size_t m_stopAfter;
    Main m_main{this};
};

// A 64 MiB main board with one fault on Brimola1, given by its fields.
inline std::string FaultRig(const std::string& fields) { return MainBoardRig(R"([{"board": "Brimola1", )" + fields + "}]"); }

}  // namespace memtest
