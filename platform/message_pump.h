// The host's window-message pump: what a host installs so that long waits of the library keep it responsive.
#pragma once

#include <functional>

namespace platform {

// Installs the pump that RunMessagePump calls (an empty function removes it). The host installs
// one when it has messages to serve; without one there is nothing to dispatch.
void SetMessagePump(std::function<void()> pump);
// Dispatches the host's pending messages through the installed pump; returns at once without one.
void RunMessagePump();

}  // namespace platform
