// The passthru loopback tests: FORMSEQ, the per-format engine and summary, and the set-ups and restores of "VantrelLoop" and "SulvethLoop".
#include "videopath/passthru_loopback.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/perf_list.h"
#include "framework/param_string.h"
#include "framework/pattern_generators.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"
#include "videopath/video_path_tb.h"

namespace {

constexpr COLORREF kColorDarkRed = 0x0000C0;

// Controller block words (BAR0 0x4000).
constexpr int kStatusWord = 0x10 / 4;
constexpr int kFpgaWord = 0x14 / 4;
constexpr int kRamWord = 0x18 / 4;
constexpr DWORD kRamEnables = 0x1F;
constexpr DWORD kLinkClocks = 0x18;     // bits 3 and 4
constexpr DWORD kLinkLoopback = 0x100;  // bit 8
constexpr DWORD kCodeBits = 0x70000;
constexpr DWORD kChipSelect = 0x200;
constexpr DWORD kDone = 0x8000;
constexpr DWORD kClockWaitMs = 250;

// Keyer and FPGA pair (main board BAR0).
constexpr DWORD kKeyerId = 0xBFC8;
constexpr DWORD kKeyerResets = 0xBFD0;
constexpr DWORD kPortControl = 0x3C4;
constexpr DWORD kControlTwo = 0x3C8;
constexpr DWORD kPairId = 0x3FC8;
constexpr DWORD kPairReset = 0x3FD0;
constexpr DWORD kPairResetBit = 1u << 16;
constexpr DWORD kDdrStart[2] = {0x1FC4, 0x27C4};
constexpr DWORD kDdrStatus[2] = {0x17FC, 0x27FC};
constexpr DWORD kDdrDone = 3u << 18;
constexpr DWORD kDdrStartValue = 0x16;
constexpr LONGLONG kDdrDeadlineNs = 1000;
constexpr DWORD kUnconfigured = 0xFFFFFFFF;

const LoopbackFormat kFormats[4] = {
    {"Size: 8-bit, Format: 4-2-2", 0, 0, 0xFFFFFFFF},
    {"Size: 8-bit, Format: 4x4", 0, 1, 0xFFFFFFFF},
    {"Size: 16-bit, Format: 4-2-2", 1, 0, 0xFFF8FFF8},
    {"Size: 16-bit, Format: 4x4", 1, 1, 0xFFF8FFF8},
};

CWexalBoardDevice* BoardDevice(const CWexalBoardIF& board) { return dynamic_cast<CWexalBoardDevice*>(board.GetDevice()); }

RegisterPtr ControllerOf(const CWexalBoardIF& board) {
    CWexalBoardDevice* device = BoardDevice(board);
    return device ? device->GetControllerRegisters() : RegisterPtr();
}

// The pattern PATTERN built, else the suite's default FLRS.
std::unique_ptr<DataPatternGenerator> TakePattern(ArgList_PATTERN& argument) {
    std::unique_ptr<DataPatternGenerator> pattern = argument.TakeGenerator();
    if (pattern) return pattern;
    auto lrs = std::make_unique<LRS_Generator>(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    lrs->SetSeedRule(0, 1);
    return lrs;
}

// The command's geometry, or false after a red line when its regions run past the board's SDRAM.
bool FitsSDRAM(CTestBase& out, const CWexalBoardIF& board, const LoopbackGeometry& geometry) {
    const CDevAddrSpace* sdram = board.GetSDRAMSpace();
    const ULONGLONG size = sdram ? sdram->GetSize() : 0;
    if (geometry.EndByte() <= size) return true;
    out.PrintColor(FormatString("Error: DIM=%u,%u needs SDRAM up to 0x%08llX; the board has 0x%08llX bytes.\n",
                             geometry.width, geometry.height, static_cast<unsigned long long>(geometry.EndByte()),
                             static_cast<unsigned long long>(size)),
                   kColorRed);
    return false;
}

void PrintHelpPage(CTestBase& out, const char* syntax, ArgListArg* const* table, const char* sequence) {
    out.PrintRule(72, 0, kColorGreen);
    out.PrintColor(syntax, kColorBlack);
    out.PrintColor(ArgumentList::Help(table), kColorBlack);
    out.PrintColor(sequence, kColorBlack);
    out.PrintRule(72, 0, kColorGreen);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FORMSEQ

ArgListFormatSequence::ArgListFormatSequence() : ArgListString("FORMSEQ", ARG_ASSIGN, kDefault) {}

CString ArgListFormatSequence::Clean(const CString& value) {
    CString kept;
    for (int i = 0; i < value.GetLength(); ++i) {
        const char c = static_cast<char>(value[i] | 0x20);
        if (c >= 'a' && c <= 'd') kept += c;
    }
    return kept.IsEmpty() ? CString(kDefault) : kept;
}

const char* ArgListFormatSequence::HandleAssign(const char* text) {
    const char* rest = ArgListString::HandleAssign(text);
    m_value = Clean(m_value);
    if (m_chain) m_chain(this, m_chainContext);
    return rest;
}

CString ArgListFormatSequence::HelpAssign() {
    return "    FORMSEQ=seq: Each letter in 'seq' specifies a test data\n"
           "          format as follows: a=8bit422; b=8bit4444; c=16bit422;\n"
           "          d=16bit4444.  By default the test sequence is 'abcd'.\n"
           "          This option allows you to alter the test sequence.\n"
           "          As many as 16 formats may be included in the\n"
           "          sequence.\n";
}

// ---------------------------------------------------------------------------------------------
// The engine

const LoopbackFormat& CPassthruLoopbackEngine::Format(char letter) { return kFormats[(letter - 'a') & 3]; }

CPassthruLoopbackEngine::CPassthruLoopbackEngine(CTestBase& out, CWexalBoardIF& board, const LoopbackPort& port,
                                                 const char* testPrefix)
    : m_out(out), m_board(board), m_port(port), m_prefix(testPrefix) {}

void CPassthruLoopbackEngine::SetSequence(const CString& sequence) {
    m_sequence = sequence.Left(ArgListFormatSequence::kMaxFormats);
    m_formats = m_sequence.GetLength();
    for (int& result : m_results) result = kUntested;
}

void CPassthruLoopbackEngine::ClearErrorStatus() {
    const RegisterRef status = m_board.GetRegisters()[kErrorStatusRegister / 4];
    status = status.Read();
}

void CPassthruLoopbackEngine::RunFormats(DataPatternGenerator& pattern, const LoopbackGeometry& geometry) {
    for (int t = 0; t < m_formats && !Stopped(); ++t) RunFormat(t, pattern, geometry);
}

bool CPassthruLoopbackEngine::Stopped() {
    if (*g_StopFlag()) m_stopped = true;
    return m_stopped;
}

bool CPassthruLoopbackEngine::WaitForTransfer(const LoopbackGeometry& geometry) {
    CWexalBoardDevice* device = BoardDevice(m_board);
    CWexalDMAChannel* input = device ? device->GetDMAChannel(m_port.inputChannel) : nullptr;
    CWexalDMAChannel* output = device ? device->GetDMAChannel(m_port.outputChannel) : nullptr;
    DWORD in[8] = {}, out[8] = {};
    CPerformanceList deadline;
    deadline.SetMilliTimeout(geometry.DeadlineMs());
    for (;;) {
        if (input) input->GetDCBWords(0, in);
        if (input && in[3] == 0) return true;
        if (Stopped()) return false;
        if (deadline.IsTimeout()) break;
        Sleep(1);
    }
    if (output) output->GetDCBWords(0, out);
    const DWORD bytes = geometry.Words() * 4;
    // Remaining counts stand out in red.
    auto count = [](DWORD value, const char*& open, const char*& close) {
        open = value ? "~*RED*~" : "";
        close = value ? "~*BLACK*~" : "";
        return static_cast<int>(value);
    };
    const char *o1, *c1, *o2, *c2, *o3, *c3, *o4, *c4;
    const int inLines = count(in[3] >> 16, o1, c1), inWidth = count(in[3] & 0xFFFF, o2, c2);
    const int outLines = count(out[3] >> 16, o3, c3), outWidth = count(out[3] & 0xFFFF, o4, c4);
    m_out.Print(FormatString("~*RED*~Error: After %dmsec, timed out waiting for the completion of %d.%3.3dMbytes to DMA.\n"
                          "~*BLACK*~ Read DMA:  Lines=%s%2d%s; IWidth=%s%2d%s.\n Write DMA: Lines=%s%2d%s; IWidth=%s%2d%s.\n",
                          static_cast<int>(geometry.DeadlineMs()), static_cast<int>(bytes / 1000000),
                          static_cast<int>(bytes % 1000000 / 1000), o1, inLines, c1, o2, inWidth, c2, o3, outLines, c3, o4,
                          outWidth, c4));
    return false;
}

void CPassthruLoopbackEngine::RunFormat(int t, DataPatternGenerator& pattern, const LoopbackGeometry& geometry) {
    const char letter = m_sequence[t];
    const LoopbackFormat& format = Format(letter);
    const DWORD words = geometry.Words(), rounded = geometry.RoundedWords(), destination = geometry.Destination();
    m_out.PrintColorFormat(kColorBlack, "%sTest #%d: Format %d of 4 (%s)\n", m_prefix, t + 1, FormatNumber(letter),
                           format.name);

    bool check = true;
    pattern.Reset(t);
    if (m_board.CompareSDRAM(LoopbackGeometry::kSource, static_cast<int>(rounded), &pattern, format.mask,
                             "Filling SDRAM Source", "Checking SDRAM Source", TRUE) != kRunPassed) {
        ++m_errors;
        m_results[t] = kFailed;
        check = false;
    } else {
        m_results[t] = kPassed;
    }
    LRS_Generator zeros(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    zeros.SetValue(0);
    if (m_board.CompareSDRAM(destination, static_cast<int>(rounded), &zeros, 0xFFFFFFFF, "Zeroing SDRAM Destination",
                             "Checking SDRAM Destination", TRUE) != kRunPassed) {
        ++m_errors;
        m_results[t] = kFailed;
        check = false;
    }

    CWexalBoardDevice* device = BoardDevice(m_board);
    CWexalDMAChannel* input = device ? device->GetDMAChannel(m_port.inputChannel) : nullptr;
    CWexalDMAChannel* output = device ? device->GetDMAChannel(m_port.outputChannel) : nullptr;
    const RegisterPtr bar0 = m_board.GetRegisters();
    if (input) input->Flush();
    if (output) output->Flush();
    const DWORD op = format.sixteenBit << 13 | format.inputFormat << 14;
    const DWORD size = (geometry.height - 1) << 16 | geometry.width;
    const DWORD warm[8] = {op | 2u << 23, 0, destination, size, geometry.width, 0, 0, 0};
    const DWORD dad[8] = {op | 3u << 23, 0, LoopbackGeometry::kSource, size, geometry.width, 0, 0, 0};
    const DWORD bcu[4] = {0x20030002, 0, 0x00020002, 0};
    m_out.PrintColorFormat(kColorBlack, "Initializing Channel %d, DCB 1 (WARM).\n", m_port.inputChannel);
    if (input) input->SetDCBWords(1, warm);
    m_out.PrintColorFormat(kColorBlack, "Setting up BCU 2.\n");
    (bar0 + (0x70000 + 16 * 2) / 4).WriteBlock(bcu, 4);
    m_out.PrintColorFormat(kColorBlack, "Initializing Channel %d, DCB 1 (DAD).\n", m_port.outputChannel);
    if (output) output->SetDCBWords(1, dad);
    m_out.PrintColorFormat(kColorBlack, "Setting up BCU 3.\n");
    (bar0 + (0x70000 + 16 * 3) / 4).WriteBlock(bcu, 4);
    m_out.PrintColorFormat(kColorBlack, "Setting up Context as 0x0F.\n");
    bar0[m_port.contextRegister / 4] = 0x0F;

    Sleep(1);
    if (input) input->Trigger(1);
    if (output) output->Trigger(1);
    m_out.PrintColorFormat(kColorBlack, "Frame size: Y=%d; I=%d; L=%d; P=%d.\n", static_cast<int>(geometry.height - 1),
                           static_cast<int>(geometry.width), static_cast<int>(geometry.width), 0);
    const bool arrived = WaitForTransfer(geometry);
    bar0[kCacheFlushRegister / 4] = 0xFF;
    Sleep(1);
    // A stopped wait is no verdict on the format: it stays untested.
    if (m_stopped) {
        m_results[t] = kUntested;
        return;
    }
    if (!arrived) {
        ++m_errors;
        m_results[t] = kFailed;
        check = false;
    }

    if (check) {
        pattern.Reset(t);
        if (m_board.CompareSDRAM(destination, static_cast<int>(words), &pattern, format.mask, nullptr,
                                 "Checking SDRAM Destination", TRUE) != kRunPassed) {
            ++m_errors;
            m_results[t] = kFailed;
        }
    }
    const RegisterRef status = bar0[kErrorStatusRegister / 4];
    const DWORD value = status.Read();
    if (value & m_port.syncBit) {
        status = value;
        ++m_errors;
        m_results[t] = kFailed;
        m_out.PrintColor(FormatString("Sync Error!!!  DMACtrl.ERR.IStatus=0x%8.8X.\n", value), kColorRed);
    }
    m_out.PrintColorFormat(kColorBlack, "---------------------------------------------\n");
}

DWORD CPassthruLoopbackEngine::Summarise() {
    int passed = 0, failed = 0;
    for (int t = 0; t < m_formats; ++t) {
        const char letter = m_sequence[t];
        m_out.PrintColorFormat(kColorBlack, "Test %d -- %s ", FormatNumber(letter), Format(letter).name);
        passed += m_results[t] == kPassed;
        failed += m_results[t] == kFailed;
        if (m_results[t] == kPassed) m_out.PrintColor("PASSED\n", kColorGreen);
        else m_out.PrintColor(m_results[t] == kFailed ? "FAILED\n" : "Untested\n", kColorRed);
    }
    m_out.PrintColorFormat(kColorBlack, "------------------------------------------------\n");
    if (passed) m_out.PrintColor(FormatString("%d test formats passed.\n", passed), kColorGreen);
    if (failed) m_out.PrintColor(FormatString("%d test formats failed.\n", failed), kColorRed);
    const bool pass = m_errors == 0 && passed == m_formats;
    if (m_stopped) m_out.PrintColor("Stopped by User\n", kColorRed);
    else if (pass) m_out.Print("~*GREEN*~PASSED\n");
    else m_out.Print(FormatString("~*RED*~FAILED~*BLACK*~ with ~*RED*~%d~*BLACK*~ error(s)\n", m_errors));
    m_out.PrintColorFormat(kColorBlack, "DONE.\n");
    return m_stopped ? kRunStopped : pass ? kRunPassed : kRunFailed;
}

// ---------------------------------------------------------------------------------------------
// VantrelLoop

const char* const CVantrelLoopbackTest::kHelpSyntax =
    "VantrelLoop: Wexal/Vantrel loopback test.\n\n"
    "Command syntax: VantrelLoop Board [Board2] Channel [Options]\n"
    "    Board:   the Pexano board whose SDRAM sends and receives the data.\n"
    "    Board2:  optional; a second Pexano board cabled to the first one,\n"
    "             which reflects the data back over the cable.\n"
    "    Channel: the expansion port letter, A or B.\n";
const char* const CVantrelLoopbackTest::kHelpSequence =
    "Test sequence:\n"
    "    1. The Vantrel FPGA(s) are checked for their configuration and\n"
    "       reset; internal tests loop the data inside the Vantrel FPGA,\n"
    "       external tests wait for the clock from the cable or plug.\n"
    "    2. For each format: the source is filled with the pattern and\n"
    "       the destination zeroed, the data is sent out of the port and\n"
    "       received back into SDRAM, and the destination is checked.\n"
    "    3. A summary lists each format as PASSED, FAILED or Untested.\n";

CVantrelLoopbackTest::CVantrelLoopbackTest()
    : m_external("EXTERNAL", ArgListArg::ARG_FLAG),
      m_table{&m_dim, &m_formSeq, &m_pattern, &m_external, nullptr} {
    m_boardIF2.SetOwner(this);
}

CVantrelLoopbackTest::~CVantrelLoopbackTest() = default;

void CVantrelLoopbackTest::ShowHelp() { PrintHelpPage(*this, kHelpSyntax, m_table, kHelpSequence); }

void CVantrelLoopbackTest::ResetDevice(DWORD code, const RegisterPtr& controller, DWORD& ram) {
    ram &= ~kLinkClocks;
    controller[kRamWord] = ram;
    controller[kFpgaWord] = code << 16;
    controller[kFpgaWord] = code << 16 | kChipSelect;
    Sleep(10);
    ram |= kLinkClocks;
    controller[kRamWord] = ram;
    Sleep(1);
    controller[kFpgaWord] = code << 16;
}

DWORD CVantrelLoopbackTest::ParseCommand(const CString& command, bool& external, char& letter, CString& secondWord) {
    ArgumentList list;
    list.Set(command.c_str());
    m_boardIF2.Clear();
    DWORD result = m_boardIF.ParseDevice(&list, 0, TRUE);
    if (result == kRunPassed) result = m_boardIF.GetBAR0(TRUE);
    if (result == kRunPassed) result = m_boardIF.GetSDRAM(TRUE);
    if (result != kRunPassed) return result;

    const char* second = list.Index(1);
    if (!second) {
        PrintColor("The second parameter is missing.  An expansion port letter\n(A or B) must be specified.  The second "
                   "parameter can also\nspecify a second Pexano board.\n",
                   kColorRed);
        return kRunFailed;
    }
    int positional = 2;
    const char* position = "second";
    CString channel = second;
    if (std::strlen(second) > 1) {
        secondWord = second;
        if (m_boardIF2.ParseDevice(&list, 1, TRUE) != kRunPassed) return kRunFailed;
        if (m_boardIF2.GetDevice() == m_boardIF.GetDevice()) {
            PrintColor("The first two parameters specify the same device.  When\ntwo Pexano boards are specified for this "
                       "test, they must\nbe two different boards which are cabled together.\n",
                       kColorRed);
            m_boardIF2.Clear();
            return kRunFailed;
        }
        if (m_boardIF2.GetBAR0(TRUE) != kRunPassed) return kRunFailed;
        const char* third = list.Index(2);
        if (!third) {
            PrintColor("The third parameter is missing.  It must be an expansion\nport letter (A or B).\n", kColorRed);
            return kRunFailed;
        }
        channel = third;
        positional = 3;
        position = "third";
    }
    if (channel.GetLength() != 1 || !std::strchr("AaBb", channel[0])) {
        PrintColor(FormatString("The %s parameter is \"%s\".  It must be an expansion\n port letter (\"A\" or \"B\").\n",
                             position, channel.c_str()),
                   kColorRed);
        return kRunFailed;
    }
    letter = static_cast<char>(channel[0] & ~0x20);

    const char* rest = command.c_str();
    for (int i = 0; i < positional; ++i) ArgumentList::Get(rest);
    m_dim.ResetValues();
    m_formSeq.ResetValue();
    m_pattern.TakeGenerator();
    m_external.SetFlagValue(m_boardIF2.GetDevice() ? 1 : 0);
    if (ReportUnrecognizedArgs(&list, rest, m_table) != kRunPassed) return kRunFailed;
    external = m_external.GetFlagValue() != 0;
    return kRunPassed;
}

DWORD CVantrelLoopbackTest::Run(CString command) {
    bool external = false;
    char letter = 'A';
    CString secondWord;
    if (ParseCommand(command, external, letter, secondWord) != kRunPassed) return kRunFailed;
    std::unique_ptr<DataPatternGenerator> pattern = TakePattern(m_pattern);
    const LoopbackGeometry geometry{static_cast<DWORD>(m_dim.GetX()), static_cast<DWORD>(m_dim.GetY())};
    if (!FitsSDRAM(*this, m_boardIF, geometry)) return kRunFailed;

    if (m_boardIF2.GetDevice() && !external) {
        m_boardIF2.Clear();
        Print(FormatString("~*BACK_LTYELLOW*~Notice: Disabling the 'external' option has resulted in\nthe second parameter "
                        "(%s) being ignored.\n~*BACK_WHITE*~",
                        secondWord.c_str()));
    }
    const bool twoBoards = m_boardIF2.GetDevice() != nullptr;
    Print(FormatString("~*BLACK*~Vantrel %c %s loop back test.\n", letter, external ? "external" : "internal"));

    const bool portA = letter == 'A';
    const DWORD code = portA ? 3 : 4;
    // The board-link sync bits follow the channel order: EXPB bit 2, EXPA bit 3.
    const LoopbackPort port{letter, portA ? 59 : 58, portA ? 37 : 36, portA ? 0x8u : 0x4u, portA ? 0x98000u : 0xA0000u};
    CPassthruLoopbackEngine engine(*this, m_boardIF, port, "");
    engine.SetSequence(m_formSeq.GetString());

    struct Board {
        CWexalBoardIF* board;
        RegisterPtr controller;
        DWORD savedRam, savedFpga, ram;
        CString label;
    };
    Board boards[2];
    int count = 0;
    ArgumentList names;
    names.Set(command.c_str());
    for (CWexalBoardIF* b : {&m_boardIF, &m_boardIF2}) {
        if (!b->GetDevice()) continue;
        Board& entry = boards[count];
        entry.board = b;
        entry.controller = ControllerOf(*b);
        entry.savedRam = entry.controller[kRamWord];
        entry.savedFpga = entry.controller[kFpgaWord];
        entry.label = twoBoards ? FormatString("(%s) ", names.Index(count)) : CString();
        ++count;
    }
    boards[0].ram = (boards[0].savedRam | kRamEnables) & ~kLinkLoopback;
    if (!external) boards[0].ram |= kLinkLoopback;
    if (twoBoards) boards[1].ram = boards[1].savedRam | kLinkClocks | kLinkLoopback;
    for (int i = 0; i < count; ++i) boards[i].controller[kRamWord] = boards[i].ram;

    bool ready = true;
    for (int i = 0; i < count && ready; ++i) {
        const RegisterRef fpga = boards[i].controller[kFpgaWord];
        fpga = code << 16;
        const DWORD value = fpga.Read();
        const DWORD readCode = (value & kCodeBits) >> 16;
        if (readCode != code) {
            PrintColor(FormatString("Error: Vantrel %c %sdevice code read back as %u instead of %u.\n", letter,
                                 boards[i].label.c_str(), readCode, code),
                       kColorRed);
            ready = false;
        } else if (!(value & kDone)) {
            Print(FormatString("~*RED*~Error: Vantrel %c %sis not loaded (done==0).\n", letter, boards[i].label.c_str()));
            ready = false;
        } else {
            PrintColor(FormatString("  Vantrel device %u %sloaded.\n", code, boards[i].label.c_str()), kColorBlack);
        }
    }
    if (ready && external) {
        const DWORD clockBit = portA ? 0x2 : 0x4;
        const RegisterRef status = boards[0].controller[kStatusWord];
        bool ticking = (status.Read() & clockBit) != 0;
        CPerformanceList deadline;
        deadline.SetMilliTimeout(kClockWaitMs);
        while (!ticking && !deadline.IsTimeout()) {
            Sleep(1);
            ticking = (status.Read() & clockBit) != 0;
        }
        if (!ticking) {
            Print(FormatString("~*RED*~~*BACK_WHITE*~Error: Timed out (250msec) waiting for clock.\n~*BLACK*~ "
                            "~*BACK_LTYELLOW*~ This error may indicate that the loopback  \n~*BACK_WHITE*~ "
                            "~*BACK_LTYELLOW*~ cable is not in place on Expansion Port %c. \n~*BACK_WHITE*~",
                            letter));
            ready = false;
        }
    }
    if (ready) {
        engine.ClearErrorStatus();
        PrintColor(FormatString("  Reseting Vantrel %c device.\n", letter), kColorBlack);
        ResetDevice(code, boards[0].controller, boards[0].ram);
        if (twoBoards) {
            PrintColor(FormatString("  Reseting remote Vantrel %c device.\n", letter), kColorBlack);
            ResetDevice(code, boards[1].controller, boards[1].ram);
        }
        PrintColor("\n", kColorBlack);
        engine.RunFormats(*pattern, geometry);
    } else {
        engine.CountError();
    }

    pattern.reset();
    for (int i = 0; i < count; ++i) {
        Board& b = boards[i];
        b.controller[kRamWord] = b.savedRam;
        b.controller[kFpgaWord] = b.savedFpga & kCodeBits;
        const bool wasInternal = i == 0 ? !external : true;
        if (!(b.savedRam & kLinkLoopback) && wasInternal && (b.savedRam & kLinkClocks)) {
            DWORD ram = b.savedRam;
            ResetDevice(code, b.controller, ram);
        }
    }
    return engine.Summarise();
}

// ---------------------------------------------------------------------------------------------
// SulvethLoop

const char* const CSulvethLoopbackTest::kHelpSyntax =
    "SulvethLoop: BaseBoard/Kerzil/Sulveth passthru loopback test.\n\n"
    "Command syntax: SulvethLoop Board Channel [Options]\n"
    "    Board:   the Pexano main board (chosen by the test tree).\n"
    "    Channel: PPA or PPB, the VelkoDrun port whose Kerzil channel and\n"
    "             Sulveth FPGA carry the data.\n"
    "    FPGA=file: the Sulveth configuration wanted; by default\n"
    "             $(CWD)\\testdata\\TAZU$(VPDVER).oxd.\n";
const char* const CSulvethLoopbackTest::kHelpSequence =
    "Test sequence:\n"
    "    1. The Kerzil and Sulveth FPGAs are checked for their configuration\n"
    "       (the Sulveth FPGA is loaded with the wanted file when needed),\n"
    "       the Kerzil channel is set for passthru, both datapaths are reset\n"
    "       and the Sulveth DDR memories are initialised.\n"
    "    2. For each format: the source is filled with the pattern and\n"
    "       the destination zeroed, the data is sent through the Kerzil and\n"
    "       Sulveth FPGAs and back into SDRAM, and the destination is checked.\n"
    "    3. A summary lists each format as PASSED, FAILED or Untested.\n";

CSulvethLoopbackTest::CSulvethLoopbackTest(CString name)
    : CWexalTreeMapTB(std::move(name)),
      m_fpga("FPGA", ArgListArg::ARG_ASSIGN, kDefaultFpga),
      m_table{&m_dim, &m_formSeq, &m_pattern, nullptr},
      m_parseTable{&m_dim, &m_formSeq, &m_pattern, &m_fpga, nullptr} {}

CSulvethLoopbackTest::~CSulvethLoopbackTest() = default;

void CSulvethLoopbackTest::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CSulvethLoopbackTest::Help(CString) {
    PrintHelpPage(*this, kHelpSyntax, m_table, kHelpSequence);
    return kRunPassed;
}

CKeyerPathTB* CSulvethLoopbackTest::GetPairTest(int channel) {
    CWexalTreeMapTB::ChildMap* children = m_parent ? m_parent->GetChildMap() : nullptr;
    if (!children) return nullptr;
    const auto found = children->find(channel == 1 ? "CSulvethA" : "CSulvethB");
    return found == children->end() ? nullptr : dynamic_cast<CKeyerPathTB*>(found->second);
}

bool CSulvethLoopbackTest::SetUp(CPassthruLoopbackEngine& engine, int channel, const CString& wantedFile) {
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    const char letter = channel == 1 ? 'A' : 'B';
    const DWORD window = channel == 1 ? 0x18000 : 0x1C000;
    const DWORD block = channel == 1 ? 0x8C00 : 0xAC00;
    ControllerOf(m_boardIF)[kRamWord] |= kRamEnables;

    if (bar0[kKeyerId / 4] == kUnconfigured) {
        PrintColor(" Error: The Kerzil FPGA has not been downloaded.\n", kColorRed);
        return false;
    }
    CKeyerPathTB* pair = GetPairTest(channel);
    if (!pair || bar0[(window + kPairId) / 4] == kUnconfigured || pair->GetRememberedFile().IsEmpty()) {
        PrintColor(FormatString("ERROR: Sulveth %c has not been downloaded\n", letter), kColorDarkRed);
        return false;
    }
    if (wantedFile.CompareNoCase(pair->GetProgrammedFile()) != 0) {
        // A file that is not there leaves the FPGA with its image: say which file was looked for.
        CString looked = wantedFile, other = wantedFile;
        CKeyerPathTB* first = channel == 2 ? GetPairTest(1) : nullptr;
        if (!FindNamedFile(looked, pair->GetVPDRevision()) &&
            !(first && FindNamedFile(other, first->GetVPDRevision()))) {
            PrintColor("ERROR:  FPGA file[" + looked + "] not found.\n", kColorRed);
            return false;
        }
        const CString command = FormatString("Program DEVICE=%d FILE=%s", channel, wantedFile.c_str());
        // A failed download leaves the FPGA with no known image: it must not be recorded as loaded.
        if (!m_programmer || m_programmer(command) != kRunPassed) {
            PrintColor(FormatString("ERROR: Sulveth %c could not be programmed with %s\n", letter,
                                    ExpandedPath(wantedFile).c_str()),
                       kColorRed);
            return false;
        }
        pair->SetProgrammedFile(wantedFile);
    }

    engine.ClearErrorStatus();
    PrintColor(" Setting up Kerzil for NO Loopback.\n", kColorBlack);
    bar0[(block + kControlTwo) / 4] = 0x4000;
    bar0[(block + kPortControl) / 4] = 0xC0000000;

    const DWORD keyerReset = channel == 1 ? 1u << 16 : 1u << 17;
    PrintColor(FormatString("Reseting Kerzil %c channel Datapath.\n", letter), kColorBlack);
    bar0[kKeyerResets / 4] |= keyerReset;
    bar0[kKeyerResets / 4] &= ~keyerReset;
    PrintColor(FormatString("Reseting Sulveth %c channel Datapath.\n", letter), kColorBlack);
    bar0[(window + kPairReset) / 4] |= kPairResetBit;
    bar0[(window + kPairReset) / 4] &= ~kPairResetBit;

    PrintColor("Programming Mask Skew/Scale of Sulveth SDRAM Control Regs.\n", kColorBlack);
    for (DWORD start : kDdrStart) bar0[(window + start) / 4] = kDdrStartValue;
    CPerformanceList deadline;
    LONGLONG frequency = 0;
    QueryPerformanceFrequency(&frequency);
    deadline.SetMilliTimeout(0);
    deadline.m_deadline += frequency * kDdrDeadlineNs / 1000000000;
    bool done[2] = {false, false};
    for (;;) {
        for (int pass = 0; pass < 2; ++pass)
            done[pass] = done[pass] || (bar0[(window + kDdrStatus[pass]) / 4] & kDdrDone) == kDdrDone;
        if ((done[0] && done[1]) || deadline.IsTimeout()) break;
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (done[pass]) continue;
        Print(FormatString("~*RED*~Initialization NOT completed in time: Sulveth %c %s DDR chips.\n", letter,
                        pass == 0 ? "1st-Pass" : "2nd-Pass"));
        engine.CountError();
    }
    PrintColor(" Initialization Complete.\n", kColorBlack);
    return true;
}

DWORD CSulvethLoopbackTest::Run(CString command) {
    if (!m_parent) {
        PrintColor("CSulvethLoopbackTest:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    const int channel = command.Find("PPA") >= 0 ? 1 : command.Find("PPB") >= 0 ? 2 : 0;
    if (!channel) {
        PrintColor("Error: The second parameter must be a VelkoDrun port letter (PPA or PPB).\n", kColorRed);
        return kRunFailed;
    }
    // The options are the words around the channel word.
    CString options;
    const char* rest = command.c_str();
    for (CString word = ArgumentList::Get(rest); !word.IsEmpty(); word = ArgumentList::Get(rest))
        if (word.Find("PPA") < 0 && word.Find("PPB") < 0) options += word + " ";
    m_dim.ResetValues();
    m_formSeq.ResetValue();
    m_pattern.TakeGenerator();
    if (ReportUnrecognizedArgs(nullptr, options.c_str(), m_parseTable) != kRunPassed) return kRunFailed;
    CString wantedFile = kDefaultFpga, given;
    if (CParamString(command).GetValue("FPGA", given)) wantedFile = given;
    if (!m_boardIF.GetMainBoardRegisters() || !BoardDevice(m_boardIF)) {
        PrintColor("CSulvethLoopbackTest:  no main board is selected\n", kColorRed);
        return kRunFailed;
    }
    std::unique_ptr<DataPatternGenerator> pattern = TakePattern(m_pattern);
    const LoopbackGeometry geometry{static_cast<DWORD>(m_dim.GetX()), static_cast<DWORD>(m_dim.GetY())};
    if (!FitsSDRAM(*this, m_boardIF, geometry)) return kRunFailed;

    const char letter = channel == 1 ? 'A' : 'B';
    Print(FormatString("~*BLACK*~Sulveth %c loop back test.\n", letter));
    const LoopbackPort port{letter, channel == 1 ? 24 : 25, channel == 1 ? 28 : 29, channel == 1 ? 0x1u : 0x2u,
                            channel == 1 ? 0x88000u : 0x90000u};
    CPassthruLoopbackEngine engine(*this, m_boardIF, port, " ");
    engine.SetSequence(m_formSeq.GetString());
    if (SetUp(engine, channel, wantedFile)) engine.RunFormats(*pattern, geometry);
    else engine.CountError();

    pattern.reset();
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    const DWORD block = channel == 1 ? 0x8C00 : 0xAC00;
    PrintColor("Setting up Kerzil for NO Loopback.\n", kColorBlack);
    bar0[(block + kControlTwo) / 4] = 0;
    bar0[(block + kPortControl) / 4] = 0xC0000000;
    return engine.Summarise();
}
