// Message boxes never block: they are recorded, passed to the host's sink and answered OK.
#include "platform/host_ui.h"

#include <gtest/gtest.h>

TEST(HostUiTest, MessageBoxesAreRecordedAndPassedOn) {
    platform::ClearMessageBoxHistory();
    std::vector<CString> seen;
    platform::SetMessageBoxSink([&](const CString& text, const CString& caption) { seen.push_back(caption + ":" + text); });
    EXPECT_EQ(platform::MessageBox("ERROR:  Couldn't open file x.bmp", "Dump", platform::MB_ICONERROR | platform::MB_TOPMOST),
              platform::IDOK);
    EXPECT_EQ(platform::MessageBox(nullptr, nullptr), platform::IDOK);
    platform::SetMessageBoxSink(nullptr);
    platform::MessageBox("after", "c");
    ASSERT_EQ(platform::MessageBoxHistory().size(), 3u);
    EXPECT_EQ(platform::MessageBoxHistory()[0].text, "ERROR:  Couldn't open file x.bmp");
    EXPECT_EQ(platform::MessageBoxHistory()[0].type, platform::MB_ICONERROR | platform::MB_TOPMOST);
    EXPECT_EQ(platform::MessageBoxHistory()[2].caption, "c");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Dump:ERROR:  Couldn't open file x.bmp");
    EXPECT_EQ(seen[1], ":");
    platform::ClearMessageBoxHistory();
    EXPECT_TRUE(platform::MessageBoxHistory().empty());
}

TEST(HostUiTest, MainWindowIsWhatTheHostSet) {
    struct Window : CWnd {} wnd;
    EXPECT_EQ(platform::GetMainWnd(), nullptr);
    platform::SetMainWnd(&wnd);
    EXPECT_EQ(platform::GetMainWnd(), &wnd);
    EXPECT_EQ(platform::GetMainWnd()->GetDlgItem(kProgressCtrlId), nullptr);
    platform::SetMainWnd(nullptr);
}
