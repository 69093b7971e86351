// The host's stop flag in tests: raised when a test prints a given text for the nth time, and lowered again when the scope ends.
#pragma once

#include <string>

#include "framework/test_record.h"
#include "tests/support/output.h"

namespace support {

// Lowers the host's stop flag when the scope ends, so that no later test starts stopped.
struct StopFlagReset {
    StopFlagReset() = default;
    StopFlagReset(const StopFlagReset&) = delete;
    StopFlagReset& operator=(const StopFlagReset&) = delete;
    ~StopFlagReset() { *g_StopFlag() = 0; }
};

// Sets the host's stop flag for the scope, as a Ctrl-C before the test started.
struct StopFlagSet : StopFlagReset {
    StopFlagSet() { *g_StopFlag() = 1; }
};

// A recording test that raises the host's stop flag the nth time one of its prints holds marker, as
// a host would while the test runs (a print being the one thing every loop of a test does).
template <class Base>
class StopOnPrint : public Recording<Base> {
public:
    using Recording<Base>::Recording;

    void StopAt(std::string marker, int nth = 1) {
        m_marker = std::move(marker);
        m_left = nth;
    }
    // How many prints held the marker, the one that raised the flag included.
    int Seen() const { return m_seen; }

    void PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline) override {
        Recording<Base>::PrintStyled(text, colour, background, underline);
        Look(text);
    }
    void PrintColor(CString text, COLORREF colour) override {
        Recording<Base>::PrintColor(text, colour);
        Look(text);
    }
    void Print(CString text) override {
        Recording<Base>::Print(text);
        Look(text);
    }

private:
    void Look(const CString& text) {
        if (m_marker.empty() || text.str().find(m_marker) == std::string::npos) return;
        ++m_seen;
        if (--m_left == 0) *g_StopFlag() = 1;
    }

    std::string m_marker;
    int m_left = 0;
    int m_seen = 0;
    StopFlagReset m_reset;
};

}  // namespace support
