// The passthru loopback tests: "VantrelLoop" through a board-link port and "SulvethLoop" through the keyer and the FPGA pair, with their shared per-format engine.
#pragma once

#include <functional>

#include "devlib/arg_list.h"
#include "framework/arg_types.h"
#include "framework/board_if.h"
#include "framework/tree_map_tb.h"
#include "framework/wexal_test_base.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CKeyerPathTB;
class DataPatternGenerator;

// FORMSEQ=seq: the data formats to run, in order. Only the letters a-d (either case) are kept, as
// lower case; a value that keeps none means "abcd". A chained handler set with SetPostAssignCB
// runs after the value has been cleaned.
class ArgListFormatSequence : public ArgListString {
public:
    static constexpr const char* kDefault = "abcd";
    static constexpr int kMaxFormats = 16;

    ArgListFormatSequence();

    const char* HandleAssign(const char* text) override;
    void SetPostAssignCB(ArgPostAssignCB callback, void* context) override {
        m_chain = callback;
        m_chainContext = context;
    }
    CString HelpAssign() override;
    // Back to "abcd" before each command.
    void ResetValue() { m_value = kDefault; }
    // The kept letters of value, or "abcd" when none is kept.
    static CString Clean(const CString& value);

private:
    ArgPostAssignCB m_chain = nullptr;
    void* m_chainContext = nullptr;
};
using ArgListFeskFormat = ArgListFormatSequence;
using ArgListTazuFormat = ArgListFormatSequence;

// One data format of the loopbacks (a FORMSEQ letter).
struct LoopbackFormat {
    const char* name;
    DWORD sixteenBit;   // DCB OP bit 13
    DWORD inputFormat;  // DCB OP bit 14
    DWORD mask;         // 16-bit samples carry only bits 15-3 of each half
};

// Where the data of a DIM goes: N = w * h words from SDRAM 0x100000 to D and back.
struct LoopbackGeometry {
    static constexpr DWORD kSource = 0x100000;
    DWORD width = 512;
    DWORD height = 512;

    DWORD Words() const { return width * height; }
    // N rounded up to 16384 words: what is filled and zeroed.
    DWORD RoundedWords() const { return (Words() + 16383) / 16384 * 16384; }
    // The destination: the rounded bytes up to a whole MiB, past the source.
    DWORD Destination() const { return (RoundedWords() * 4 + 0xFFFFF) / 0x100000 * 0x100000 + kSource; }
    // One past the last byte either region touches.
    ULONGLONG EndByte() const { return ULONGLONG{Destination()} + ULONGLONG{RoundedWords()} * 4; }
    // 20 ms plus 1 ms per 80,000 bytes.
    DWORD DeadlineMs() const { return 20 + Words() / 20000; }
};

// What differs between the ports the engine drives.
struct LoopbackPort {
    char letter;
    int inputChannel;      // writes SDRAM ("WARM")
    int outputChannel;     // reads SDRAM ("DAD")
    DWORD syncBit;         // in DMACtrl.ERR.IStatus
    DWORD contextRegister; // BAR0 offset, 0x0F before each transfer
};

// The per-format loop both tests run, and its summary. A run keeps its state here, on the stack.
class CPassthruLoopbackEngine {
public:
    enum FormatResult { kUntested = 0, kPassed = 1, kFailed = 2 };
    static constexpr DWORD kErrorStatusRegister = 0x58110;  // DMACtrl.ERR.IStatus
    static constexpr DWORD kCacheFlushRegister = 0x40004;

    // The row of a FORMSEQ letter 'a'-'d' (row number = index + 1).
    static const LoopbackFormat& Format(char letter);
    static int FormatNumber(char letter) { return letter - 'a' + 1; }

    CPassthruLoopbackEngine(CTestBase& out, CWexalBoardIF& board, const LoopbackPort& port, const char* testPrefix);

    // The first 16 letters of the sequence; every format starts untested.
    void SetSequence(const CString& sequence);
    int GetFormatCount() const { return m_formats; }
    char GetLetter(int t) const { return m_sequence[t]; }
    int GetResult(int t) const { return m_results[t]; }
    int GetErrors() const { return m_errors; }
    void CountError() { ++m_errors; }

    // Clears DMACtrl.ERR.IStatus by writing back what it reads.
    void ClearErrorStatus();
    // Every format of the sequence in turn, until the host's stop flag is seen (before a format or
    // in its transfer wait; that format and the rest stay untested).
    void RunFormats(DataPatternGenerator& pattern, const LoopbackGeometry& geometry);
    // Whether the host's stop flag has been seen; it is looked at again now.
    bool Stopped();
    // The per-format lines and the verdict; 1 when every format passed and nothing was counted, 3
    // when the stop flag ended the formats, else 2.
    DWORD Summarise();

private:
    void RunFormat(int t, DataPatternGenerator& pattern, const LoopbackGeometry& geometry);
    // Waits for the input channel's DCB 0 to run out; false after the time-out report.
    bool WaitForTransfer(const LoopbackGeometry& geometry);

    CTestBase& m_out;
    CWexalBoardIF& m_board;
    LoopbackPort m_port;
    const char* m_prefix;
    CString m_sequence;
    int m_formats = 0;
    int m_results[ArgListFormatSequence::kMaxFormats] = {};
    int m_errors = 0;
    bool m_stopped = false;
};

// "VantrelLoop Board [Board2] Channel [Options]": data through a board-link port, looped inside
// the FPGA (internal) or through a plug or a cable (external). With a second board the partner
// reflects the data back over the cable. One object is built at load and reached by no map.
class CVantrelLoopbackTest : public CWexalTestBase {
public:
    CVantrelLoopbackTest();
    ~CVantrelLoopbackTest() override;

    DWORD Run(CString command) override;
    void ShowHelp() override;

    static const char* const kHelpSyntax;
    static const char* const kHelpSequence;

private:
    // ResetDevice: pulses the FPGA's Chip Select with the link clocks off.
    static void ResetDevice(DWORD code, const RegisterPtr& controller, DWORD& ram);
    DWORD ParseCommand(const CString& command, bool& external, char& letter, CString& secondWord);

    CWexalBoardIF m_boardIF2;
    ArgList_DIM m_dim;
    ArgListFeskFormat m_formSeq;
    ArgList_PATTERN m_pattern;
    ArgListArg m_external;
    ArgListArg* m_table[5];
};

// "SulvethLoop PPA|PPB [Options]" under the main-board root: data through the keyer and one FPGA
// of the pair (the passthru path of PPP-A or PPP-B).
class CSulvethLoopbackTest : public CWexalTreeMapTB {
public:
    // Runs "Program DEVICE=n FILE=path" on the board root; 1 when the FPGA was loaded.
    using Programmer = std::function<DWORD(const CString& command)>;
    static constexpr const char* kDefaultFpga = "$(CWD)\\testdata\\TAZU$(VPDVER).oxd";

    explicit CSulvethLoopbackTest(CString name);
    ~CSulvethLoopbackTest() override;

    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }
    void SetProgrammer(Programmer programmer) { m_programmer = std::move(programmer); }

    DWORD Run(CString command) override;
    DWORD Help(CString subTest) override;

    static const char* const kHelpSyntax;
    static const char* const kHelpSequence;

private:
    // The set-up after the arguments; false when it ended with an error counted.
    bool SetUp(CPassthruLoopbackEngine& engine, int channel, const CString& wantedFile);
    CKeyerPathTB* GetPairTest(int channel);

    CWexalTreeMapTB* m_parent = nullptr;
    Programmer m_programmer;
    ArgList_DIM m_dim;
    ArgListTazuFormat m_formSeq;
    ArgList_PATTERN m_pattern;
    ArgListString m_fpga;          // read with CParamString; parsed only so it is not reported
    ArgListArg* m_table[4];        // the help's table
    ArgListArg* m_parseTable[5];
};
