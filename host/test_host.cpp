// The host object's notifications.
#include "host/test_host.h"

uintptr_t TestHost::Notify(int code, uintptr_t value) {
    if (value == 0) return 0;
    CString& text = *reinterpret_cast<CString*>(value);
    switch (code) {
    case kNotifyReadWindow:
        m_renderer.Flush();
        text = m_window.GetWindowText();
        return 1;
    case kNotifyWriteWindow:
        m_renderer.Flush();
        m_renderer.SetSilent(true);
        m_window.Append(text.str(), DefaultCharFormat());
        m_renderer.SetSilent(false);
        return 1;
    default:
        return 0;
    }
}
