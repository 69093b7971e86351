// Helpers of the CWexal tests: a recording CWexal bound to a simulated board through a root-like parent.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "boards/wexal/wexal.h"
#include "platform/files.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"

namespace wexaltest {

// A CWexal that keeps everything it prints.
using RecordingWexal = support::Recording<CWexal>;
using support::Count;
using support::HasAll;

// The current folder is a fresh one ("CmdLine" and the pair files land there); the test's parent
// stands in for a board root and hands its board binding to the test.
class WexalTest : public ::testing::Test {
protected:
    // Builds the test with the switch file holding switches (presets depend on it).
    RecordingWexal& Make(const std::string& switches = "", const char* board = "Brimola1") {
        m_cwd.Dir().Write("CmdLine", "pexhost " + switches);
        m_wexal = std::make_unique<RecordingWexal>("CWexal");
        m_wexal->SetParent(&m_root);
        if (board) Bind(board);
        m_wexal->out = {};
        return *m_wexal;
    }
    void Bind(const char* board) {
        ASSERT_EQ(m_root.SetupDevice(board), 1u) << board;
        m_wexal->TakeBoardIF(&m_root);
    }
    CWexalBoardDevice* Board(const char* tag = "Brimola1") { return support::RigBoard(tag); }
    // Fills IMAGE_LIST or RESOLUTION_LIST afresh.
    void Fill(const char* list, const std::vector<const char*>& entries) {
        m_wexal->Run(std::string(list) + " CLEAR");
        for (const char* entry : entries) m_wexal->Run(std::string(list) + " ADD=" + entry);
    }
    // Writes straight through the device library's SDRAM space, bypassing the test.
    void Poke(DWORD address, const std::vector<DWORD>& words) {
        ASSERT_EQ(Board()->GetSDRAMSpace()->Set(words.data(), address, static_cast<int>(4 * words.size())), static_cast<int>(4 * words.size()));
    }
    // Runs the command on a fresh output; success when it answers result and prints every part.
    ::testing::AssertionResult Gives(const std::string& command, DWORD result, std::initializer_list<std::string> parts = {}) {
        m_wexal->out = {};
        if (const DWORD got = m_wexal->Run(command); got != result)
            return ::testing::AssertionFailure() << command << " answered " << got << ":\n" << Text();
        return HasAll(Text(), parts) << " (" << command << ")";
    }
    std::string Text() const { return m_wexal->out.text; }
    bool Has(const std::string& s) const { return m_wexal->out.Has(s); }
    bool HasRed(const std::string& s) const { return m_wexal->out.HasColoured(s, 0x0000FF); }
    const support::TempDir& Dir() const { return m_cwd.Dir(); }

    support::InTempCwd m_cwd;
    support::RecordingTreeTest m_root{"CRoot"};
    std::unique_ptr<RecordingWexal> m_wexal;
};

}  // namespace wexaltest
