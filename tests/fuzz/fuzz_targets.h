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

// The host's command line through its option parser, then the report and log paths it names,
// each put under a scratch folder and written as the host writes them.
int FuzzHostCommandLine(const uint8_t* data, size_t size);
// The board roots' own keyword commands, on the default rig: byte 0 picks the board and whether the
// rest is a whole command line or the arguments of a keyword the next byte picks. Commands that
// start programs, write files or run member tests are passed over.
int FuzzRootCommands(const uint8_t* data, size_t size);
// A rig file with the flash image and memory clock store it names, loaded as the device library
// loads a rig (tests/fuzz/rig_file_store_fuzz.cpp gives the input's layout).
int FuzzRigFileStore(const uint8_t* data, size_t size);

// The console's words through the command library's compile, the simulated box and the
// decompile of its answer.
int FuzzBoxCommand(const uint8_t* data, size_t size);
// The video tests' whole argument texts (host transfers, video utility images, the keyer and pair
// bypass loopbacks, the passthru and board-link loopbacks) run on the default rig. Byte 0 picks
// the test; sizes above a small bound are not run.
int FuzzVideoArgs(const uint8_t* data, size_t size);
// The breakout-box tests' whole argument texts (Nulk and cable loopback functional, the four image
// loopbacks, the Yorb command, FarnoDeK) through the main-board root; byte 0 picks the test. Sizes
// above a small bound are not run, unless every test refuses them at once.
int FuzzBoxArgs(const uint8_t* data, size_t size);

// The input as the GenFile of the test-board playback ("Play") on the default rig.
int FuzzGenFilePlay(const uint8_t* data, size_t size);
// Tcl command lines (byte 0 even) and script files (odd) run by the main-board root's Tcl test on
// the default rig, with only data, arithmetic and the library's commands allowed, and each input
// stopped after a time and memory budget as the host stops a script.
int FuzzTclScript(const uint8_t* data, size_t size);
// The codec chip tests' argument texts (packer and unpacker round trips, saves and memory test,
// cheap encoder and diagnostics keywords) through the codec-board root on the default rig. Byte 0
// picks the test; the picture's size is the target's, kept small with odd and extreme sides.
int FuzzCodecArgs(const uint8_t* data, size_t size);
// Any bytes as a ZYV package file: a refused file answers nothing, a loaded one only from inside itself.
int FuzzZyvFile(const uint8_t* data, size_t size);
// The diagnostics port's keywords (byte 0 picks one and the board) with the rest as their argument
// text, run through the board root on the default rig.
int FuzzDiagPort(const uint8_t* data, size_t size);
// Any text as a numeric argument, through the shared number reader in every form and field, the
// readers of a test's whole text and the parser's int list: a value is either refused or equals the
// number typed (checked against a reading of the digits in 128 bits).
int FuzzArgNumbers(const uint8_t* data, size_t size);
// Any name through the path mapping, with the current folder (byte 0) the station folder, inside it
// or outside it: a name that is not a local absolute path lands in the station folder, with no
// ".." on the way, and its answer maps to itself again.
int FuzzMapPath(const uint8_t* data, size_t size);
