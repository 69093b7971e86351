// Tests of the terminal dialog runner's pump: whole waiting lines only, never a wait, and its ends.
#include "host/terminal_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "host/rich_edit_model.h"

namespace {

// "add WORD" appends to the words; "loop" pumps until the runner says stop.
class Words : public platform::DialogModel {
public:
    std::string words;
    int cycles = 0;
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
    TerminalDialogRunner runner{renderer, in};
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

}  // namespace
