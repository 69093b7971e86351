// Message boxes never block: they are recorded, passed to the host's sink and answered OK.
#include "platform/host_ui.h"

#include <gtest/gtest.h>

TEST(HostUiTest, MessageBoxesAreRecordedAndPassedOn) {
    platform::ClearMessageBoxHistory();
    std::vector<CString> seen;
    platform::SetMessageBoxSink([&](const CString& text, const CString& caption) { seen.push_back(caption + ":" + text); });
    EXPECT_EQ(platform::MessageBox("ERROR:  Couldn't open file x.bmp", "Dump", platform::MB_ICONERROR), platform::IDOK);
    EXPECT_EQ(platform::MessageBox(nullptr, nullptr), platform::IDOK);
    platform::SetMessageBoxSink(nullptr);
    platform::MessageBox("after", "c");
    EXPECT_EQ(platform::MessageBoxHistory().size(), 3u);
    EXPECT_EQ(seen, (std::vector<CString>{"Dump:ERROR:  Couldn't open file x.bmp", ":"}));
}
