// CSorbelinMemTests: the memory tests the packer and unpacker chip tests share: context RAM, DCM phase, memory self-test, its scan and range.
#pragma once

#include <vector>

#include "codec/chip/sorbelin.h"
#include "framework/param_string.h"

// Keywords and what each calls (the packer and the unpacker test keep one of these, built with
// their own kind, and return the result as RunTest's):
//   "\"Context RAM\""    TestContextRAM(pattern)            1 / 0
//   "\"Set DCM Phase\""  SetDCMPhase(arguments, 1)          1 / 0
//   "\"MemBist Test\""   MemBistTest(arguments, &status)    1 / 0
//   "\"MemBist Scan\""   MemBistScan(FILE= value, arguments) (the unpacker takes its file from
//                        FPGA= and passes "")                1 / 0, 2 stopped
//   "\"MemBist Range\""  MemBistRange(arguments), unpacker  1 / 0, 2 stopped
// The unpacker's scan and range append their records to the logs "MembistPhase" and
// "MembistSummary" when mapped; a record that does not reach its log fails the command.
// Every chip access goes through the test's host-port bridge; the test's chip must be selected
// (CSorbelin::Run does that). Messages go to the test's own print slots.
class CSorbelinMemTests {
public:
    enum Kind { kPacker, kUnpacker };
    // The packer's memory self-test asks for a programmed revision of at least this (both memories);
    // the unpacker's 32-bit memory for kUnpacker32Revision.
    static constexpr DWORD kPackerRevision = 0xFFFF, kUnpacker32Revision = 0x604;
    // Context RAM: 16 entries of two words from kContextRam.
    static constexpr DWORD kContextRam = 0x64000000, kContextWords = 32;
    static constexpr DWORD kPhaseRegister = 0x6C000008, kDcmControl = 0x6C00000C;
    static constexpr DWORD kBist64 = 0x6C000010, kBistCount64 = 0x6C000014, kBist32 = 0x6C000020, kBistCount32 = 0x6C000024;
    static constexpr DWORD kBistMillis = 1200;
    // Retry passes of a scan (each holds two 256-entry tables).
    static constexpr int kMaxRetries = 16;

    // controller: the board controller whose memory clock switch the unpacker's steps turn on
    // first (null: that step fails).
    CSorbelinMemTests(CSorbelin& test, Kind kind, CJastel* controller) : m_test(test), m_kind(kind), m_controller(controller) {}

    // Writes the first 32 pattern words into the 16 context RAM entries (low word first) and
    // reads them back: 1 when all agree; else 0 after a line per bad word (at most 20) and the
    // total. A missing or shorter pattern fails with a red line before anything is written.
    int TestContextRAM(const std::vector<DWORD>* pattern);
    // VALUE= (decimal, 130 when absent) into the phase half of DRAM= 32 (bits 31-16) or 64 (bits
    // 15-0), then loads it: 1; 0 for a DRAM other than 32 or 64 or a key that is no number, with
    // nothing written.
    int SetDCMPhase(CString params, int verbose);
    // Runs self-test TEST= on memory DRAM= and judges bits 17-16 of its status (11 passed, 01
    // failed, 10 not done, 00 not started): 1 passed, else 0. *status (when given) gets the last
    // status word once the test was started.
    int MemBistTest(CString params, DWORD* status);
    // The phase scan: for each phase tried, reprograms the chip with file (the unpacker: FPGA=),
    // sets the phase and runs self-tests 1 and 3 (or the TEST= command) ITERATION= times, then
    // prints the map of all 256 phases. 1 when it ran to its end, 0 on an error (a STEP outside
    // 1..255 and a lost log record among them), 2 when the host asked to stop (looked at before
    // every try and repetition).
    int MemBistScan(CString file, CString params);
    // The unpacker's range test: phases RANGE=(0x%X,0x%X) in STEP= increments, each programmed,
    // set and self-tested; prints the first and last passing phase. With SAVE=Yes that line is
    // appended to the board's serial number ".txt". 1 when it ran to its end, 0 on an error (the
    // line not kept among them), 2 when the host asked to stop.
    DWORD MemBistRange(CString arguments);

private:
    enum class Try { Passed, Failed, Error, Stopped };
    // How a record went to a log: Lost after a red line with the cause, which fails the command.
    enum class Logged { Written, Unmapped, Lost };
    struct Scan;
    // Appends the result screen's text to the named log when one is mapped.
    Logged AppendToLog(const char* name);
    // The summary record, then the file of each mapped log.
    Logged EndLogs();
    // A red line and 0 when the unpacker's memory clock cannot be switched on (then a 1 ms wait).
    bool EnableClock();
    // Reads the key as "%d" into value; false when the key is there but is no number.
    static bool ReadInt(const CParamString& params, const char* key, int& value);
    Try TryPhase(Scan& scan, int row, int phase, const CString& tryLine);
    // The map of every row and the key.
    void PrintMap(const Scan& scan);
    void PrintScanHeader(const CParamString& params);
    void PrintFramed(const CString& text);
    CString Unit() const { return m_kind == kPacker ? "Packer" : "Unpacker"; }
    DWORD Read(DWORD address);
    void Write(DWORD address, DWORD value);

    CSorbelin& m_test;
    Kind m_kind;
    CJastel* m_controller;
    bool m_statusStored = false;  // the last MemBistTest got as far as its status
};
