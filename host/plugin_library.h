// Loading the test library the way a test engine does: dlopen, look up GetTestList, dlclose.
#pragma once

#include <string>

#include "host/test_tree.h"

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary() { Unload(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads path (a name without '/' is taken from the current folder, not searched for) and
    // finds GetTestList. false with a message in error when either fails (nothing stays loaded).
    bool Load(const std::string& path, std::string& error);
    GetTestListFn GetTestList() const { return m_getTestList; }
    // Unloads the library, so its static objects are destroyed now.
    void Unload();

private:
    void* m_handle = nullptr;
    GetTestListFn m_getTestList = nullptr;
};

// The library a host runs by default: PexanoTests.so beside the host program.
std::string DefaultLibraryPath();
