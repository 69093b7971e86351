// The process-wide message pump slot.
#include "platform/message_pump.h"

#include <utility>

namespace platform {
namespace {

std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}

}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void RunMessagePump() {
    // A copy, so a pump that replaces itself while it runs is not destroyed under its own feet.
    const std::function<void()> pump = Pump();
    if (pump) pump();
}

}  // namespace platform
