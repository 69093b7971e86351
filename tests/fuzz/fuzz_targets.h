// Fuzz targets: one function per file or text parser, each driving it as the library does.
#pragma once

#include <cstddef>
#include <cstdint>

// A target answers 0, or 1 when the parser broke one of its own promises on this input (the
// fuzzer then stops as it does for a crash). Parsers that take a file name get the input written
// to a scratch folder of the process, which also stands for the program and system folders.
struct FuzzTarget {
    const char* name;  // also the folder of its seeds: tests/fuzz/corpus/<name>
    int (*run)(const uint8_t* data, size_t size);
};

extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;

// The target of that name; null when there is none.
const FuzzTarget* FindFuzzTarget(const char* name);

// The breakout box's reply byte code through the command library's decompile. Byte 0 picks the
// command answered; with its top bit set the target first mends the code's length and check, so
// inputs reach the fields behind them.
int FuzzYorbReply(const uint8_t* data, size_t size);
// Tcl command lines (byte 0 even) and script files (odd) run by the main-board root's Tcl test on
// the default rig, with only data, arithmetic and the library's commands allowed, and each input
// stopped after a time and memory budget as the host stops a script.
int FuzzTclScript(const uint8_t* data, size_t size);
