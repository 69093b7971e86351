// Fuzz target of the host's command line and of the output files it names (report and log).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_options.h"
#include "host/junit_report.h"
#include "host/output_files.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxInput = 4096;
constexpr size_t kMaxArgs = 64;
const char kKept[] = "<testsuites name=\"earlier run\"/>\n";

int Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    return 1;
}

// The folder every output path of an input is put under, made afresh for each input: an earlier
// report, a folder, links to both and a link that leads nowhere. Links lead only inside it.
class OutputFolder {
public:
    OutputFolder() {
        char* real = realpath(m_scratch.Path().c_str(), nullptr);
        m_root = real ? std::string(real) + "/out" : m_scratch.File("out");
        free(real);
    }
    void Reset() const {
        std::error_code ec;
        fs::remove_all(m_root, ec);
        fs::create_directories(m_root + "/folder/sub", ec);
        WriteFile("kept.xml", kKept);
        fs::create_symlink("kept.xml", m_root + "/link.xml", ec);
        fs::create_symlink("folder", m_root + "/dirlink", ec);
        fs::create_symlink("nowhere.xml", m_root + "/dangling.xml", ec);
    }
    const std::string& Root() const { return m_root; }

    // path as a path under the folder: "/" at the front dropped, and a name starting with '.' (such
    // as "..") given a '_' in front, so it neither climbs out nor passes for a temporary file.
    std::string Confine(const std::string& path) const {
        std::string out = m_root;
        size_t at = 0;
        while (at <= path.size()) {
            size_t next = path.find('/', at);
            if (next == std::string::npos) next = path.size();
            std::string name = path.substr(at, next - at);
            at = next + 1;
            if (name.empty() || name == ".") continue;
            if (name[0] == '.') name = "_" + name;
            out += "/" + name;
        }
        if (out == m_root || (!path.empty() && path.back() == '/')) out += "/";
        return out;
    }

    // Hidden files anywhere below the folder: temporary reports left behind.
    bool HasHiddenFiles() const {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(m_root, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().filename().string()[0] == '.') return true;
        return false;
    }

    bool Inside(const std::string& path) const { return path.compare(0, m_root.size() + 1, m_root + "/") == 0; }

private:
    void WriteFile(const std::string& rel, const std::string& text) const {
        FILE* f = std::fopen((m_root + "/" + rel).c_str(), "wb");
        if (!f) return;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    support::TempDir m_scratch;
    std::string m_root;
};

const OutputFolder& Folder() {
    static const OutputFolder folder;
    return folder;
}

// The bytes of a regular file at path, and whether there was one.
bool ReadRegular(const std::string& path, std::string& bytes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    bytes = support::ReadText(path);
    return true;
}

// The report as the host would write it over the confined --junit path.
int Report(const HostOptions& opt, const std::string& text) {
    const OutputFolder& folder = Folder();
    const std::string path = folder.Confine(opt.junitFile);
    std::string target, error;
    if (!PrepareReportPath(path, target, error)) {
        if (error.empty()) return Broken("a refused report path says why");
        return 0;
    }
    if (!folder.Inside(target)) return Broken("the report goes where its path leads, links followed");
    std::string before;
    const bool existed = ReadRegular(target, before);
    std::error_code ec;
    const bool link = fs::is_symlink(fs::symlink_status(path, ec));
    const bool ok = WriteReportFile(target, text, error);
    std::string after;
    const bool exists = ReadRegular(target, after);
    if (ok && (!exists || after != text)) return Broken("a written report holds the whole text");
    if (!ok && (exists != existed || after != before)) return Broken("a report that failed leaves its file as it was");
    if (folder.HasHiddenFiles()) return Broken("no temporary report is left behind");
    if (link && !fs::is_symlink(fs::symlink_status(path, ec))) return Broken("a link stays a link");
    std::string kept;
    const std::string keptPath = folder.Root() + "/kept.xml";
    if (target != keptPath && (!ReadRegular(keptPath, kept) || kept != kKept)) return Broken("only the report's own file changes");
    return 0;
}

// The log as the host opens, writes and closes it, then the same text into a log too small for it.
int Log(const HostOptions& opt, const std::string& text) {
    const std::string path = Folder().Confine(opt.logFile);
    if (FILE* log = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), log);
        std::string error;
        if (!CloseLogFile(log, 0, error)) return Broken("a log on a healthy disk closes cleanly");
        if (support::ReadText(path) != text) return Broken("the log holds what was written");
    }
    char small[64];
    FILE* cut = fmemopen(small, sizeof small, "w");
    if (!cut) return 0;
    std::fwrite(text.data(), 1, text.size(), cut);
    std::fflush(cut);  // the host flushes after each test: a failure may be over before the close
    std::string error;
    const bool closed = CloseLogFile(cut, 0, error);
    if (closed != (text.size() <= sizeof small)) return Broken("a log cut short fails to close, a whole one closes");
    if (!closed && error.empty()) return Broken("a failed log says why");
    return 0;
}

}  // namespace

int FuzzHostCommandLine(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    // NUL-separated arguments, as the kernel hands them over; the first is the program's name.
    std::vector<std::string> args;
    const char* text = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at < size && args.size() < kMaxArgs;) {
        const size_t len = strnlen(text + at, size - at);
        args.emplace_back(text + at, len);
        at += len + 1;
    }
    if (args.empty()) args.emplace_back("pexhost");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    HostOptions opt;
    std::string error;
    if (!ParseHostOptions(static_cast<int>(args.size()), argv.data(), opt, error)) {
        if (error.empty()) return Broken("bad usage says why");
        return 0;
    }
    if (opt.list && opt.helpTest) return Broken("--list and --help-test are refused together");
    if (opt.helpTest && opt.helpFilter.empty()) return Broken("--help-test has its filter");
    // Filters and switches are arguments as given, in the order given.
    size_t next = 1;
    for (const std::string& f : opt.filters) {
        while (next < args.size() && args[next] != f) ++next;
        if (next++ >= args.size()) return Broken("every filter is an argument, in order");
    }
    const std::string cmdLine = CmdLineText(opt);
    for (const std::string& s : opt.librarySwitches) {
        if (s.size() < 2 || s[0] != '-' || s[1] == '-') return Broken("a library switch starts with one '-'");
        if (std::find(args.begin() + 1, args.end(), s) == args.end()) return Broken("a library switch is an argument");
        if (cmdLine.find(" " + s) == std::string::npos) return Broken("CmdLine holds every library switch");
    }

    const std::string report = JUnitXml(opt.library.empty() ? "PexanoTests" : opt.library, {}, {});
    Folder().Reset();
    if (!opt.junitFile.empty() && Report(opt, report) != 0) return 1;
    if (!opt.logFile.empty() && Log(opt, cmdLine + "\n" + opt.rigFile) != 0) return 1;
    return 0;
}
