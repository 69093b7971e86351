// Helpers of the flash and controller tests: a test of boards/flash bound to a board of a rig, its output, the flash array.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devlib/rig.h"
#include "framework/test_record.h"
#include "platform/paths.h"
#include "sim/rig.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/stop_flag.h"

namespace flashtest {

// T bound to a board of the rig (the default rig when the text is empty) in a fresh current and
// program folder; its prints are recorded with their colours.
template <class T>
class OnRig {
public:
    explicit OnRig(const std::string& rigJson = "", const char* board = "Brimola1", const char* name = "Test") {
        if (rigJson.empty())
            devlib::LoadDefaultRig();
        else
            m_rig = std::make_unique<support::ScopedRig>(rigJson);
        platform::SetProgramDir(m_cwd.Dir().Path());
        test = std::make_unique<support::Recording<T>>(CString(name));
        test->SetupDevice(board);
        support::TakeText();
    }
    ~OnRig() {
        test.reset();
        platform::SetProgramDir("");
        support::TakeText();
    }
    DWORD Run(const std::string& arguments) {
        test->out = {};
        return test->Run(arguments.c_str());
    }
    const std::string& Text() const { return test->out.text; }
    // Runs the arguments; success when they answer result and print every part.
    ::testing::AssertionResult Gives(const std::string& arguments, DWORD result, const std::vector<std::string>& parts) {
        if (const DWORD got = Run(arguments); got != result)
            return ::testing::AssertionFailure() << arguments << " answered " << got << ":\n" << Text();
        return support::HasAll(Text(), parts) << " (" << arguments << ")";
    }
    const support::TempDir& Dir() const { return m_cwd.Dir(); }

    std::unique_ptr<support::Recording<T>> test;

private:
    support::InTempCwd m_cwd;
    std::unique_ptr<support::ScopedRig> m_rig;
};

// The flash chip of the rig's n-th board, read and written as an array (no command, fault or time).
inline sim::FlashProm& Chip(size_t board = 0) { return devlib::CurrentRig()->Boards().at(board)->Controller().Flash(); }

// A board "B1" of that kind with the one fault given by its fields (none when they are empty).
inline std::string FaultRig(const std::string& fields, const std::string& kind = "brimola") {
    const std::string faults = fields.empty() ? "[]" : R"([{"board": "B1", )" + fields + "}]";
    return R"({"boards": [{"tag": "B1", "kind": ")" + kind + R"("}], "faults": )" + faults + "}";
}

using support::StopFlagSet;

}  // namespace flashtest
