// Parsing the host's command line.
#include "host/host_options.h"

#include <cstring>

namespace {

// "--name=value" or "--name value"; answers false when the value is missing.
bool TakeValue(const std::string& arg, const std::string& name, int argc, const char* const* argv,
               int& i, std::string& value, std::string& error) {
    if (arg.size() > name.size() && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else if (i + 1 < argc) {
        value = argv[++i];
    } else {
        error = "option " + name + " needs a value";
        return false;
    }
    if (value.empty()) {
        error = "option " + name + " needs a value";
        return false;
    }
    return true;
}

bool Is(const std::string& arg, const char* name) {
    const size_t n = std::strlen(name);
    return arg.compare(0, n, name) == 0 && (arg.size() == n || arg[n] == '=');
}

}  // namespace

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& o, std::string& error) {
    o = HostOptions{};
    o.programName = argc > 0 && argv[0] ? argv[0] : "pexhost";
    bool onlyFilters = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyFilters || arg.empty() || arg[0] != '-') {
            // An unset shell variable gives "": taken as no filter, it would run every test.
            if (arg.find_first_not_of(" \t\r\n") == std::string::npos) {
                error = "an empty filter selects nothing: give a part of a test's path, or no filter to run the checked tests";
                return false;
            }
            o.filters.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFilters = true;
            continue;
        }
        if (arg.size() == 1) {
            error = "'-' is not an option";
            return false;
        }
        if (arg[1] != '-') {
            o.librarySwitches.push_back(arg);
            continue;
        }
        std::string value;
        if (Is(arg, "--lib")) {
            if (!TakeValue(arg, "--lib", argc, argv, i, o.library, error)) return false;
        } else if (Is(arg, "--rig")) {
            if (!TakeValue(arg, "--rig", argc, argv, i, o.rigFile, error)) return false;
        } else if (Is(arg, "--station")) {
            if (!TakeValue(arg, "--station", argc, argv, i, o.stationDir, error)) return false;
        } else if (Is(arg, "--log")) {
            if (!TakeValue(arg, "--log", argc, argv, i, o.logFile, error)) return false;
        } else if (Is(arg, "--junit")) {
            if (!TakeValue(arg, "--junit", argc, argv, i, o.junitFile, error)) return false;
        } else if (Is(arg, "--help-test")) {
            if (!TakeValue(arg, "--help-test", argc, argv, i, o.helpFilter, error)) return false;
            o.helpTest = true;
        } else if (arg == "--color") {
            o.color = ColorMode::Always;
        } else if (arg.compare(0, 8, "--color=") == 0) {
            value = arg.substr(8);
            if (value == "always") {
                o.color = ColorMode::Always;
            } else if (value == "never") {
                o.color = ColorMode::Never;
            } else if (value == "auto") {
                o.color = ColorMode::Auto;
            } else {
                error = "--color takes always, never or auto, not '" + value + "'";
                return false;
            }
        } else if (arg == "--real-time") {
            o.realTime = true;
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--help") {
            o.usage = true;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (o.list && o.helpTest) {
        error = "--list and --help-test cannot be used together";
        return false;
    }
    return true;
}

std::string HostUsage(const std::string& programName) {
    return "Usage: " + programName + R"( [OPTIONS] [-SWITCH ...] [FILTER ...]

Loads the Pexano test library, lists its test tree or runs its tests, and shows the
library's coloured output.

Tests to run:
  Without filters every checked leaf runs, in tree order (a leaf under an unchecked
  folder counts as unchecked). A FILTER selects the leaves whose path (the names from
  the top folder down, joined by "/") contains it, ignoring case; a filter holding
  *, ? or [ is a glob that must match the whole path, ignoring case.

Options:
  --lib PATH          the test library (default: PexanoTests.so beside the host)
  --list              list the test tree: [x]/[ ] checked, "optional" marks
  --all               run unchecked leaves too
  --help-test FILTER  show the help of the matching leaves instead of running tests
  --log FILE          also write the plain output to FILE (a file or a device)
  --junit FILE        write a JUnit XML report of the tests chosen (FILE is replaced
                      only by a complete report; a stopped run's marks the tests stopped
                      and not run as skipped)
  --color=WHEN        colours on stdout: auto (when a terminal), always, never
  --rig FILE          the simulated rig file (sets PEXANO_RIG)
  --station DIR       the station folder (default: the folder the host starts in, kept
                      for the whole run): the files the tests name on a drive
                      ("C:\Zorv.Encode.0.img"), rooted ("\x"), UNC or relative are
                      written and read there, ".." stopping at it; a name starting
                      with "/" is taken as it stands
  --real-time         run on the real clock instead of the virtual one
  --help              this text

Library switches (written to the file "CmdLine" in the current folder, or in the
station folder when the current folder lies outside it):
  -AUTORUN -ENGINEERING -REGRESSION -NULKLOOPBACK -BEXILOOPBACK
  -Config=FILE -PD=ALL -CLKDELTA=N and any other -WORD or -KEY=VALUE

Result of a test: PASS (1), FAIL (2 and any unknown code), STOPPED (3).
Ctrl-C once: the running test is asked to stop (a dialog is cancelled) and no
further test starts; twice: the host exits at once.

Neither a --log or --junit nor a test's save writes over a file the run depends
on: the libraries loaded, the host, the tree files, the rig file and its flash
images and clock stores, "CmdLine", the log or the report. --log and --junit
replace only an empty file or a log or report that pexhost wrote; --list and
--help-test write no report.

Exit status: 0 all passed, 1 a test failed or stopped by itself, 2 nothing tested
or the run cannot be trusted (bad usage, an output refused, the library cannot be
loaded or publishes no test to run, a board's tree file cannot be read or holds
no test, no test matches, the log or report could not be written whole),
3 stopped by Ctrl-C.
)";
}

std::string CmdLineText(const HostOptions& o) {
    // The program's name without its folder: the library tests the text for switches as plain
    // substrings, so a folder such as "build-regression" would otherwise switch modes.
    std::string text = o.programName.substr(o.programName.find_last_of('/') + 1);
    if (text.find_first_of(" \t") != std::string::npos) text = "\"" + text + "\"";
    for (const std::string& s : o.librarySwitches) text += " " + s;
    return text;
}
