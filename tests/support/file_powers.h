// What a test may do to the files and mounts around it, whoever runs it: root's powers given up so that a file's mode binds, and mounts of the test's own.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace support {

// Gives up the powers that let root pass a file's permission bits, for this process and for every
// program it starts, so that a 0200 file may not be read and a 0444 one not written, as for any
// other user; and a 0555 folder takes no new file. Answers false when they could not be given up.
// A user other than root has none of them to give up.
inline bool GiveUpFileOverrides() {
    constexpr int kPowers[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    // Root gets its powers back at exec from whatever the bounding set keeps; another user keeps
    // none across an exec.
    for (int power : kPowers)
        if (::geteuid() == 0 && ::prctl(PR_CAPBSET_READ, power) == 1 && ::prctl(PR_CAPBSET_DROP, power) != 0) return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (int power : kPowers) {
        const unsigned bit = 1u << (power % 32);
        data[power / 32].effective &= ~bit;
        data[power / 32].permitted &= ~bit;
        data[power / 32].inheritable &= ~bit;
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

namespace detail {
inline bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}
}  // namespace detail

// Moves this process into mounts of its own, gone with it, in which it may mount a tmpfs (a small
// disk). Root needs only a mount namespace; another user gets one inside a user namespace of its
// own, where its user and group stay what they are, where the kernel allows that. Answers "" when
// it did, else why not. Call it before the process starts any thread.
inline std::string EnterPrivateMounts() {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0) return std::string("a mount namespace: ") + std::strerror(errno);
    } else {
        const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("a user namespace, as a user other than root: ") + std::strerror(errno);
        if (!detail::WriteProcFile("/proc/self/setgroups", "deny") || !detail::WriteProcFile("/proc/self/uid_map", uid + " " + uid + " 1\n") ||
            !detail::WriteProcFile("/proc/self/gid_map", gid + " " + gid + " 1\n"))
            return std::string("the user namespace's own user: ") + std::strerror(errno);
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return std::string("private mounts: ") + std::strerror(errno);
    return "";
}

}  // namespace support
