// Every benchmark program runs in a scratch folder of its own, so that no switch file ("CmdLine") or
// other file left in the folder it was started from changes what it measures, and nothing it writes
// stays behind.
#include "bench/scratch_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The temporary folder as the standard library looks it up, named by the variable it came from,
// for a message about it.
std::string TempFolderName() {
    for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"})
        if (const char* value = std::getenv(name)) return std::string("the temporary folder (") + name + "=" + value + ")";
    return "the temporary folder (TMPDIR unset: /tmp)";
}

class ScratchFolder {
public:
    ScratchFolder() {
        if (char* cwd = ::getcwd(nullptr, 0)) {
            m_started = cwd;
            std::free(cwd);
        } else {
            m_startError = std::strerror(errno);
        }
        // Runs before main, where an exception would abort: a folder that cannot be used is a
        // usage error, said in one line.
        std::error_code ec;
        std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
        // A relative name would name another folder once the program is inside its scratch folder:
        // the folder is made under the absolute path, and the program and what it starts see that.
        if (!ec) temp = std::filesystem::absolute(temp, ec);
        if (ec) {
            std::fprintf(stderr, "cannot make a scratch folder to run in: %s: %s\n", TempFolderName().c_str(), ec.message().c_str());
            std::exit(2);
        }
        ::setenv("TMPDIR", temp.c_str(), 1);
        std::string pattern = (temp / "pexbench.XXXXXX").string();
        if (!::mkdtemp(pattern.data()) || ::chdir(pattern.c_str()) != 0) {
            std::fprintf(stderr, "cannot make a scratch folder to run in: %s: %s\n", pattern.c_str(), std::strerror(errno));
            std::exit(2);
        }
        m_folder = pattern;
    }
    ~ScratchFolder() {
        // Out of the folder before it goes, back where the program started when that is still there.
        if (m_started.empty() || ::chdir(m_started.c_str()) != 0) (void)::chdir("/");
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);  // made by this run, with all it holds
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Started() const { return m_started; }
    const std::string& StartError() const { return m_startError; }

private:
    std::string m_started, m_startError, m_folder;
};

const ScratchFolder g_scratch;

}  // namespace

const std::string& bench::StartFolder() { return g_scratch.Started(); }

bool bench::FromStartFolder(std::string& path, std::string& why) {
    if (path.empty() || path.front() == '/') return true;
    if (g_scratch.Started().empty()) {
        why = "relative to the folder this program was started in, which cannot be read: " + g_scratch.StartError();
        return false;
    }
    path = g_scratch.Started() + "/" + path;
    return true;
}
