// dlopen and friends.
#include "host/plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/paths.h"

bool PluginLibrary::Load(const std::string& path, std::string& error) {
    Unload();
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        error = "cannot load the test library " + path + ": no such file";
        return false;
    }
    dlerror();
    m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        error = "cannot load the test library " + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    void* entry = dlsym(m_handle, "GetTestList");
    if (!entry) {
        error = "the test library " + path + " has no GetTestList";
        Unload();
        return false;
    }
    m_getTestList = reinterpret_cast<GetTestListFn>(entry);
    return true;
}

void PluginLibrary::Unload() {
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
    m_getTestList = nullptr;
}

std::string DefaultLibraryPath() { return platform::GetProgramDir() + "PexanoTests.so"; }
