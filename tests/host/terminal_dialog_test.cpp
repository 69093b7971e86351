// Tests of the terminal dialog runner: the pump takes whole waiting lines only and never waits; a stop ends a dialog; where it is drawn.
#include "host/terminal_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/rich_edit_model.h"
#include "tests/support/output.h"

namespace {

// "add WORD" appends to the words; "loop" pumps until the runner says stop.
class Words : public platform::DialogModel {
public:
    std::string words;
    int cycles = 0;
    int cancels = 0;
    void OnCancel() override { ++cancels; }
    CString GetTitle() const override { return "Words"; }
    CString Describe() const override { return "words:" + words; }
    CString OkVerb() const override { return "close"; }
    bool Apply(const platform::DialogAction& a, CString&) override {
        if (a.verb == "add") words += " " + a.args.at(0).str();
        while (a.verb == "loop" && platform::PumpDialog(*this)) ++cycles;
        return a.verb == "add" || a.verb == "loop";
    }
};

struct TerminalDialog : ::testing::Test {
    ~TerminalDialog() override {
        if (fds[1] >= 0) close(fds[1]);
        fclose(in), fclose(out);
    }
    void Type(const std::string& text) { EXPECT_EQ(write(fds[1], text.data(), text.size()), ssize_t(text.size())); }
    void EndInput() { close(fds[1]), fds[1] = -1; }

    int fds[2] = {-1, -1};
    FILE* in = pipe(fds) == 0 ? fdopen(fds[0], "r") : nullptr;  // before the runners that read it
    FILE* out = tmpfile();
    RichEditModel window;
    OutputRenderer renderer{window, out, false, nullptr};
    int stop = 0;
    TerminalDialogRunner runner{renderer, in, &stop};
};

TEST_F(TerminalDialog, PumpAppliesOnlyWholeLinesThatWaitAndEndsAtTheCloseVerbOrEndOfInput) {
    ASSERT_NE(in, nullptr);
    Words m;
    EXPECT_TRUE(runner.Pump(m));  // nothing typed: back at once
    Type("add A\nadd B\nad");
    EXPECT_TRUE(runner.Pump(m) && runner.Pump(m) && runner.Pump(m));
    EXPECT_EQ(m.words, " A B");  // the half-typed line waits for its end
    Type("d C\nclose\nadd D\n");
    EXPECT_TRUE(runner.Pump(m));
    EXPECT_FALSE(runner.Pump(m));  // "close" closed the dialog
    EXPECT_EQ(m.words, " A B C");

    // Inside a run: the loop goes on until the input ends, then the dialog is cancelled.
    TerminalDialogRunner fresh(renderer, in);
    platform::SetDialogRunner(&fresh);
    Type("loop\nadd E\n");
    EndInput();
    EXPECT_EQ(platform::DoModal(m), platform::IDCANCEL);
    platform::SetDialogRunner(nullptr);
    EXPECT_EQ(m.words, " A B C E");  // "add D" went to the first runner's buffer
    EXPECT_EQ(m.cycles, 1);
}

TEST_F(TerminalDialog, TheStopFlagEndsAWaitingDialogAsCancelledAtOnceWhateverWasTyped) {
    ASSERT_NE(in, nullptr);
    Words m;
    // Raised while the dialog waits for a line; the line comes only if the stop did not end it.
    std::atomic<bool> returned{false};
    std::thread operatorPressesCtrlC([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        __atomic_store_n(&stop, 1, __ATOMIC_SEQ_CST);
        for (int i = 0; i < 200 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!returned) Type("add late\nclose\n");
    });
    EXPECT_EQ(runner.Run(m), platform::IDCANCEL);
    returned = true;
    operatorPressesCtrlC.join();
    EXPECT_EQ(m.words, "") << "ended by the stop, not by a line typed 2 s later";
    EXPECT_EQ(m.cancels, 1) << "closed as Cancel closes it";
    // Up before the dialog opens: nothing typed is applied, inside a loop of its own either.
    Type("add A\nclose\n");
    EXPECT_EQ(runner.Run(m), platform::IDCANCEL);
    EXPECT_FALSE(runner.Pump(m));
    EXPECT_EQ(m.words, "");
    EXPECT_EQ(m.cancels, 3);
    // Down again, the typed lines are there for the next dialog.
    stop = 0;
    EndInput();
    EXPECT_EQ(runner.Run(m), platform::IDOK);
    EXPECT_EQ(m.words, " A");
}

TEST_F(TerminalDialog, TheDialogIsDrawnOnItsScreenAndTheLogKeepsItWithWhatWasTyped) {
    ASSERT_NE(in, nullptr);
    const std::string dialog = "\n=== Words ===\nwords:\n(action, close or cancel)> ";
    const std::string added = "\n=== Words ===\nwords: A\n(action, close or cancel)> ";
    const std::string drawn = dialog + "  Cannot bogus here\n" + dialog + added;
    // The log is the same either way: the transcript, the dialog and the lines typed, in order.
    const std::string log = "before\n" + dialog + "bogus\n  Cannot bogus here\n" + dialog + "add A\n" + added + "close\nafter\n";
    struct Row { const char* name; bool ownScreen; std::string transcript, screen; };
    const Row rows[] = {
        {"on stdout, a terminal", false, "before\n" + drawn + "after\n", ""},
        {"stdout in a file: on a screen of its own; the line before it still ends", true, "before\nafter\n", drawn},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        support::Capture transcript, logged, screen;
        RichEditModel w;
        OutputRenderer r(w, transcript.file, false, logged.file);
        TerminalDialogRunner shown(r, in, nullptr, row.ownScreen ? screen.file : nullptr);
        r.WriteHostText("before");
        Words m;
        Type("bogus\nadd A\nclose\n");
        EXPECT_EQ(shown.Run(m), platform::IDOK);
        r.WriteHostText("after\n");
        EXPECT_EQ(transcript.Text(), row.transcript);
        EXPECT_EQ(screen.Text(), row.screen);
        EXPECT_EQ(logged.Text(), log);
    }
}

}  // namespace
