// Tests of the frame-pair DMA wait: completion times and time-out reports in both families' forms.
#include <climits>

#include "devlib/dma_channel.h"
#include "framework/hw/dma_report.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

constexpr LONGLONG kTicksPerMs = kPerfFrequency / 1000;
constexpr DWORD kTag = 3;

// The live contexts (DCB 0) of channel 0 (inbound) and 1 (outbound) on the virtual clock: until its
// finish time a channel shows frame kTag - 1 with as many lines left as milliseconds have passed
// since the start, so each report shows when it read; then lines 0, initial 0 and tag kTag.
struct ScriptedPair : CRegisterWindow {
    DWORD Read(DWORD offset) override {
        const LONGLONG now = platform::NowTicks();
        lastRead = now;
        const DWORD at = offset - CWexalDMAChannel::kDcbBase;
        const int channel = static_cast<int>(at / 0x200);
        if (channel > 1 || at % 0x200 >= 0x20) return 0;
        const bool done = now >= finish[channel];
        switch (at % 0x20 / 4) {
            case 1: return (done ? kTag : kTag - 1) << 16;
            case 3: return done ? 0 : static_cast<DWORD>((now - start) / kTicksPerMs) << 16 | 64;
            case 4: return 64;
            default: return 0;
        }
    }
    void Write(DWORD, DWORD) override {}
    DWORD Size() const override { return 0x80000; }
    LONGLONG start = platform::NowTicks(), lastRead = 0;
    LONGLONG finish[2] = {};
};

TEST(FramePairWaitTest, CompletionTimesAndTimeOutReportsInBothForms) {
    platform::SetClockMode(platform::ClockMode::Virtual);
    platform::SetPollStep(kTicksPerMs / 1000);
    const FramePairReport box{.inName = "InToWexal", .outName = "WexalToOut"};
    const FramePairReport keyer{
        .inName = "InToWexal", .outName = "WexalToOut", .q2kFromOutbound = true, .deadlineReports = true};
    const std::string timedOut =
        "~*RED*~\nERROR: After %s milliseconds, timed out waiting for the\n  completion of 0.012 Megabytes to DMA.\n"
        "~*BLACK*~ InToWexal DMA:  Tag=~*RED*~ 2~*BLACK*~  Lines=~*RED*~%s~*BLACK*~  InitialWidth=~*RED*~64~*BLACK*~  "
        "Width=~*RED*~64~*BLACK*~.\n WexalToOut DMA:  Tag=~*RED*~ 3~*BLACK*~  Lines= 0  InitialWidth= 0  "
        "Width=~*RED*~64~*BLACK*~.\n\n";
    auto report = [&](const char* after, const char* lines) {
        CString text;
        text.Format(timedOut.c_str(), after, lines);
        return text.str();
    };
    // Finish times (inDone, 3.5 ms for the outbound side) count from the call; the wait's own start
    // comes 1 ms later, after its sleep, and its deadline (5 ms) falls while the inbound side shows 5
    // lines. The box form reports the time since the start from what the last poll saw, then 1 ms
    // later each time; the keyer form names the deadline and sleeps first, and without reports it
    // reads nothing more.
    const struct {
        const char* name;
        const FramePairReport& style;
        bool print;
        double inDone;  // < 0: never
        std::vector<std::string> parts;
        bool readsAfterDeadline;
    } rows[] = {
        {"box done", box, true, 4.5,
         {"Transfer took K2Q[0, 3] Q2K[0, 3] milliseconds for the completion of 0.012Mbytes to DMA.\n"}, true},
        {"keyer done", keyer, true, 4.5, {"Transfer took K2Q[0, 3] Q2K[0, 0] milliseconds"}, true},
        {"box timed out", box, true, -1, {report("4", " 5"), report("5", " 6"), report("13", "14")}, true},
        {"keyer timed out", keyer, true, -1, {report("5", " 6"), report("5", "15")}, true},
        {"box quiet", box, false, -1, {}, true},
        {"keyer quiet", keyer, false, -1, {}, false},
    };
    for (const auto& row : rows) {
        RecordingTreeTest test;
        ScriptedPair window;
        window.finish[0] = row.inDone < 0 ? LLONG_MAX : window.start + static_cast<LONGLONG>(row.inDone * kTicksPerMs);
        window.finish[1] = window.start + 7 * kTicksPerMs / 2;
        CWexalDMAChannel in(0, &window), out(1, &window);
        DWORD tagReached = 99;
        const bool done = WaitForFramePair(test, in, out, kTag, 5, 12345, 0, row.print, row.style, &tagReached);
        EXPECT_EQ(done, row.inDone >= 0) << row.name;
        EXPECT_EQ(tagReached, done ? 99u : kTag - 1) << row.name;
        EXPECT_TRUE(HasAll(test.out.text, row.parts)) << row.name << "\n" << test.out.text;
        EXPECT_EQ(Count(test.out.text, "ERROR: After"), done || !row.print ? 0u : 10u) << row.name;
        EXPECT_EQ(test.out.text.empty(), !row.print) << row.name;
        if (!done) {
            EXPECT_EQ(window.lastRead >= window.start + 6 * kTicksPerMs, row.readsAfterDeadline) << row.name;
        }
    }
}

}  // namespace
