// Every benchmark program runs in a scratch folder of its own, so that no switch file ("CmdLine") or
// other file left in the folder it was started from changes what it measures, and nothing it writes
// stays behind.
#include "bench/scratch_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

class ScratchFolder {
public:
    ScratchFolder() {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd) m_started = cwd;
        std::free(cwd);
        std::string pattern = (std::filesystem::temp_directory_path() / "pexbench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) && ::chdir(pattern.c_str()) == 0) {
            m_folder = pattern;
        } else {
            std::fprintf(stderr, "cannot make a scratch folder to run in: %s\n", pattern.c_str());
            std::exit(2);
        }
    }
    ~ScratchFolder() {
        if (!m_started.empty() && ::chdir(m_started.c_str()) != 0) return;
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);  // made by this run, with all it holds
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Started() const { return m_started; }

private:
    std::string m_started, m_folder;
};

const ScratchFolder g_scratch;

}  // namespace

const std::string& bench::StartFolder() { return g_scratch.Started(); }
