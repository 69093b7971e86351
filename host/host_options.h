// The host's command line: its own options, the library's switches and the test filters.
#pragma once

#include <string>
#include <vector>

enum class ColorMode { Auto, Always, Never };

struct HostOptions {
    std::string programName;            // argv[0]
    std::string library;                // --lib; empty: PexanoTests.so beside the host
    std::string rigFile;                // --rig
    std::string stationDir;             // --station; empty: the current folder
    bool realTime = false;              // --real-time
    ColorMode color = ColorMode::Auto;  // --color
    std::string logFile;                // --log
    std::string junitFile;              // --junit
    bool list = false;                  // --list
    bool all = false;                   // --all
    bool usage = false;                 // --help
    bool helpTest = false;              // --help-test FILTER
    std::string helpFilter;
    std::vector<std::string> filters;            // positional arguments
    std::vector<std::string> librarySwitches;    // -WORD and -KEY=VALUE, as given
};

// Parses argv. Options start with "--" and take their value either as "--opt=VALUE" or as the
// next argument; a single '-' starts a switch for the library; anything else is a filter.
// Answers false with a message in error for bad usage.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

// The usage text of --help.
std::string HostUsage(const std::string& programName);

// The text of the switch file "CmdLine": the program's file name (quoted when it holds a blank), then
// the library's switches, separated by blanks, as a command line shows them.
std::string CmdLineText(const HostOptions& options);
