// The Tcl test's standard input channel: fd 0 read in short polls that give way to the host's stop request.
#include "boards/tcl/tcl_stdin.h"

#include <poll.h>
#include <tcl.h>
#include <unistd.h>

#include <cerrno>

#include "boards/tcl/tcl_guard.h"

namespace tclstdin {

namespace {

constexpr int kStdinFd = 0;

struct Channel {
    Tcl_Channel token = nullptr;
    bool blocking = true;
    int holders = 0;
};

Channel& State() {
    static Channel channel;
    return channel;
}

int Close(ClientData, Tcl_Interp*) { return 0; }  // fd 0 stays the process's

int Input(ClientData, char* buffer, int toRead, int* errorCode) {
    for (;;) {
        if (CTclGuard::StopRequested()) {
            *errorCode = ECANCELED;
            return -1;
        }
        pollfd wait{kStdinFd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, State().blocking ? kPollMs : 0);
        if (ready < 0 && errno != EINTR) {
            *errorCode = errno;
            return -1;
        }
        if (ready == 0 && !State().blocking) {
            *errorCode = EAGAIN;
            return -1;
        }
        if (ready <= 0) continue;  // a signal or the poll's time: look at the stop flag again
        const ssize_t got = ::read(kStdinFd, buffer, static_cast<size_t>(toRead));
        if (got >= 0) return static_cast<int>(got);
        if (errno == EINTR) continue;
        *errorCode = errno;
        return -1;
    }
}

int Output(ClientData, const char*, int, int* errorCode) {
    *errorCode = EBADF;
    return -1;
}

void Notify(ClientData channel, int mask) { Tcl_NotifyChannel(static_cast<Tcl_Channel>(channel), mask); }

// fileevent on stdin: the notifier watches fd 0 for the channel.
void Watch(ClientData, int mask) {
    if (mask) Tcl_CreateFileHandler(kStdinFd, mask, Notify, State().token);
    else Tcl_DeleteFileHandler(kStdinFd);
}

// exec hands fd 0 on to the programs it starts, as with Tcl's own channel.
int Handle(ClientData, int direction, ClientData* handle) {
    if (direction != TCL_READABLE) return TCL_ERROR;
    *handle = reinterpret_cast<ClientData>(static_cast<intptr_t>(kStdinFd));
    return TCL_OK;
}

int BlockMode(ClientData, int mode) {
    State().blocking = mode == TCL_MODE_BLOCKING;
    return 0;
}

const Tcl_ChannelType kType = {
    "pexstdin", TCL_CHANNEL_VERSION_5, Close, Input, Output, nullptr, nullptr, nullptr, Watch, Handle,
    nullptr, BlockMode, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

void Acquire() {
    Channel& channel = State();
    if (channel.holders++ > 0) return;
    channel.blocking = true;
    channel.token = Tcl_CreateChannel(&kType, "pexstdin", nullptr, TCL_READABLE);
    // The process's own reference: interpreters that let go of it do not close it.
    Tcl_RegisterChannel(nullptr, channel.token);
    Tcl_SetChannelOption(nullptr, channel.token, "-buffering", "line");
    Tcl_SetStdChannel(channel.token, TCL_STDIN);
}

void Release() {
    Channel& channel = State();
    if (channel.holders == 0 || --channel.holders > 0) return;
    if (Tcl_GetStdChannel(TCL_STDIN) == channel.token) Tcl_SetStdChannel(nullptr, TCL_STDIN);
    Tcl_UnregisterChannel(nullptr, channel.token);
    channel.token = nullptr;
}

}  // namespace tclstdin
