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

// The video tests' whole argument texts (host transfers, video utility images, the keyer and pair
// bypass loopbacks, the passthru and board-link loopbacks) run on the default rig. Byte 0 picks
// the test; sizes above a small bound are not run.
int FuzzVideoArgs(const uint8_t* data, size_t size);

// The input as the GenFile of the test-board playback ("Play") on the default rig.
int FuzzGenFilePlay(const uint8_t* data, size_t size);
