// The host object handed to GetTestList: the output window and the two notifications.
#pragma once

#include "host/output_renderer.h"
#include "host/rich_edit_model.h"
#include "platform/host_ui.h"

// Notification codes the library sends with the address of one of its CStrings as value.
constexpr int kNotifyReadWindow = 1;   // copy the window's text into the string
constexpr int kNotifyWriteWindow = 2;  // put the string's text at the end of the window

class TestHost : public CTestHost {
public:
    TestHost(RichEditModel& window, OutputRenderer& renderer) : m_window(window), m_renderer(renderer) {}

    CRichEditCtrl* GetOutputCtrl() override { return &m_window; }
    // Answers 1 when the notification was carried out, 0 for an unknown code or a null value.
    // Text put back into the window is already on the terminal (the library rebuilds the window
    // from text it read out of it), so it is not shown a second time.
    uintptr_t Notify(int code, uintptr_t value) override;

private:
    RichEditModel& m_window;
    OutputRenderer& m_renderer;
};
