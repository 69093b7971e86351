// The host program's folder, the stand-in system folder, the current folder and environment values.
#include "paths.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::string g_programDir;  // override; empty: from /proc/self/exe
std::string g_systemDir;   // override; empty: environment or default

std::string ExeDir() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "./";
    buf.resize(static_cast<size_t>(n));
    size_t slash = buf.rfind('/');
    return slash == std::string::npos ? "./" : buf.substr(0, slash + 1);
}

// Answers GetXxxA-style: the length when value fits with its NUL, else the size needed.
UINT CopyOut(std::string_view value, char* buffer, UINT size) {
    if (value.size() + 1 > size || !buffer) {
        if (buffer && size > 0) buffer[0] = '\0';
        return static_cast<UINT>(value.size() + 1);
    }
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return static_cast<UINT>(value.size());
}

}  // namespace

namespace platform {

std::string GetProgramDir() {
    if (g_programDir.empty()) return ExeDir();
    return g_programDir;
}

void SetProgramDir(const std::string& dir) {
    g_programDir = dir;
    if (!g_programDir.empty() && g_programDir.back() != '/') g_programDir += '/';
}

std::string GetSystemDir() {
    if (!g_systemDir.empty()) return g_systemDir;
    const char* env = std::getenv("PEXANO_SYSTEM_DIR");
    std::string dir = env && *env ? std::string(env) : GetProgramDir() + "system";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

void SetSystemDir(const std::string& dir) {
    g_systemDir = dir;
    while (g_systemDir.size() > 1 && g_systemDir.back() == '/') g_systemDir.pop_back();
}

UINT GetSystemDirectory(char* buffer, UINT size) { return CopyOut(GetSystemDir(), buffer, size); }

std::string GetCurrentDirectory() {
    std::string buf(4096, '\0');
    if (!::getcwd(buf.data(), buf.size())) return "";
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

DWORD GetEnvironmentVariable(const char* name, char* buffer, DWORD size) {
    const char* value = name ? std::getenv(name) : nullptr;
    if (!value) {
        if (buffer && size > 0) buffer[0] = '\0';
        return 0;
    }
    return CopyOut(value, buffer, size);
}

}  // namespace platform
