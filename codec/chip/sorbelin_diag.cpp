// CSorbelinDiag: dispatch, RAM initialisation, chip number, and the FIFO, RAM table and SDRAM window tests.
#include "codec/chip/sorbelin_diag.h"

#include <cctype>

#include "devlib/devices.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "platform/clock.h"

namespace {

constexpr COLORREF kColorNote = 0x00C0E8;

// Byte lanes in which two words differ.
int ByteErrors(DWORD a, DWORD b) {
    const DWORD x = a ^ b;
    return ((x & 0xFF000000) != 0) + ((x & 0x00FF0000) != 0) + ((x & 0x0000FF00) != 0) + ((x & 0x000000FF) != 0);
}

struct Window {
    DWORD index, control, status, write, read, words;
};
constexpr Window kWindow32 = {0xB0000200, 0xB0000208, 0xB0000210, 0xA0000008, 0xA0000010, 2};
constexpr Window kWindow64 = {0xB0000400, 0xB0000408, 0xB0000410, 0xA0000020, 0xA0000040, 4};

}  // namespace

CSorbelinDiag::CSorbelinDiag(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CSorbelin(dsp, bridge, controller, std::move(name)) {}

DWORD CSorbelinDiag::GetNextRunStage(DWORD previous) { return previous == 0 ? kStageBase : previous == 1 ? kStageRunTest : kStageNone; }

int CSorbelinDiag::GetChipFromName(DWORD verbose) {
    CString name = GetName();
    name.TrimRight();
    const char last = name.IsEmpty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.GetLength() - 1])));
    const int alpha = std::isalpha(static_cast<unsigned char>(last)) ? 1 : 0;
    const int value = alpha ? last - 0x40 : 0;
    if (verbose >= 5) {
        CString line;
        line.Format("CSorbelinDiag::ClassName[%s] String[%c] Char[%c] isAlpha[%d] Value[%d]\n", name.c_str(), last, last, alpha, value);
        PrintColor(line, kColorBlack);
    }
    return value;
}

void CSorbelinDiag::HelpTest(CString name) {
    CString line;
    line.Format("\nHelp is not available for:\n  CSorbelinDiag %s\n", name.c_str());
    PrintColor(line, kColorBlack);
}

BOOL CSorbelinDiag::RAMInit(DWORD verbose) {
    BOOL result = TRUE;
    if (verbose > 1) PrintColor("CSorbelinDiag::RAMInit()\n", kColorBlack);
    if (!SelectChip()) return FALSE;
    struct Step {
        DWORD start, required;
        const char* done;
        const char* timeout;
    };
    const Step steps[2] = {
        {kDdrStart32, 0x20000, "32Bit DDR Init done received\n",
         "RAMInit() Timeout (%d milliseconds) waiting for 32Bit DDR Init done.\nReceived Status[0x%08X], Looking for bit(s)[0x%08X]\n"},
        {kDdrStart64, 0x30000, "64Bit DDR Init done received\n",
         "Timeout (%d milliseconds) waiting for 64Bit DDR Init done.\nReceived Status[0x%08X], Looking for bit(s)[0x%08X]\n"},
    };
    for (const Step& step : steps) {
        m_bridge->WriteDataFixed(step.start, 1);
        DWORD status = 0;
        bool done = false;
        for (int read = 0; read < 100 && !done; ++read) {
            status = m_bridge->ReadDataFixed(kDdrStatus);
            done = (status & step.required) == step.required;
            if (!done) Sleep(1);
        }
        if (done) {
            if (verbose > 1) PrintColor(step.done, kColorGreen);
        } else {
            CString line;
            line.Format(step.timeout, 100, status, step.required);
            PrintRed(line);
            result = FALSE;
        }
    }
    return result;
}

const std::vector<DWORD>* CSorbelinDiag::Pattern(DWORD words, const char* test) {
    if (m_pattern && m_pattern->size() >= words) return m_pattern;
    CString line;
    line.Format("ERROR:  CSorbelinDiag::%s  The board test pattern is missing or holds fewer than %u words\n", test, words);
    PrintColor(line, kColorRed);
    return nullptr;
}

DWORD CSorbelinDiag::FifoTest(DWORD address, DWORD verbose) {
    constexpr DWORD kWords = 25;
    for (DWORD i = 0; i < kWords; ++i) m_bridge->WriteDataFixed(address, kWords - 1 - i);
    DWORD read[kWords];
    for (DWORD i = 0; i < kWords; ++i) read[i] = m_bridge->ReadDataFixed(address) & 0xFFFF;
    DWORD result = 1;
    int total = 0;
    for (DWORD i = 0; i < kWords; ++i) {
        const DWORD wrote = kWords - 1 - i;
        CString line;
        line.Format("Address[0x%08X]  Wrote[0x%08X]  Read[0x%08X]\n", address + 4 * i, wrote, read[i]);
        if (read[i] != wrote) {
            total += ByteErrors(wrote, read[i]);
            if (total <= kMaxByteErrorsShown) PrintColor(line, kColorRed);
            result = 0;
        } else if (verbose > 1) {
            PrintColor(line, kColorGreen);
        }
    }
    return result;
}

DWORD CSorbelinDiag::RamTableTest(DWORD base, DWORD size) {
    if ((base == kRamTableB && size % 4 != 0) || (base == kRamTableA && size % 8 != 0)) return 0;
    const DWORD n = size / 4;
    const std::vector<DWORD>* pattern = Pattern(n, "RamTableTest()");
    if (!pattern) return 0;
    for (DWORD i = 0; i < n; ++i) m_bridge->WriteDataFixed(base + 4 * i, (*pattern)[i]);
    DWORD result = 1;
    int total = 0, lines = 0;
    for (DWORD i = 0; i < n; ++i) {
        const DWORD read = m_bridge->ReadDataFixed(base + 4 * i);
        CString line;
        line.Format("Address[0x%08X]  Wrote[0x%08X]  Read[0x%08X]\n", base + 4 * i, (*pattern)[i], read);
        if (read != (*pattern)[i]) {
            total += ByteErrors(read, (*pattern)[i]);
            if (total <= kMaxByteErrorsShown && lines < kMaxRamTableLines) {
                PrintRed(line);
                ++lines;
            }
            result = 0;
        } else if (total > 0 && lines < kMaxRamTableLines) {
            PrintColor(line, kColorGreen);
            ++lines;
        }
    }
    if (total > 0) {
        CString line;
        line.Format("ERROR:   Total errors %ld bytes out of %ld bytes\n", static_cast<long>(total), static_cast<long>(size));
        PrintColor(line, kColorRed);
    }
    return result;
}

DWORD CSorbelinDiag::SdramTest(DWORD size, DWORD width, DWORD mode, DWORD verbose) {
    const Window& w = width == 64 ? kWindow64 : kWindow32;
    if (m_bridge->ReadDataFixed(w.status) & 1) {
        PrintColor("The busy bit is high on entrance to function, ABORTING!!!\n", kColorRed);
        return 0;
    }
    // Blocks visited: block mode 0, 4, 8, ... below size / 4; address mode 0 and the powers of two
    // from 4 below the block count, as long as the pattern lasts.
    std::vector<DWORD> blocks;
    const DWORD usable = m_patternEnd > m_patternStart ? m_patternEnd - m_patternStart : 0;
    if (mode == 1) {
        for (DWORD b = 0; b < size / 4; b += 4) blocks.push_back(b);
    } else {
        const DWORD count = size / (width / 8);
        for (DWORD b = 0, words = 0; b < count && words < usable; b = b == 0 ? 4 : b * 2, words += w.words) blocks.push_back(b);
    }
    const DWORD words = static_cast<DWORD>(blocks.size()) * w.words;
    const std::vector<DWORD>* pattern = Pattern(words, "SdramTest()");
    if (!pattern) return 0;
    const bool shift = (width == 32 && size == 0x800000) || (width == 64 && size == 0x1000000);
    auto indexValue = [&](DWORD b) { return mode == 1 || !shift ? b : ((b & 0x180000) << 1) | (b & 0x7FFFF); };
    auto offsetOf = [&](size_t k, DWORD b, DWORD j) {
        return mode == 1 ? static_cast<DWORD>(k) * (width == 64 ? 16 : 8) + 4 * j : (b * w.words + j) * (width == 64 ? 2 : 4);
    };
    auto busyWait = [&](bool writing, DWORD b) {
        for (int read = 0; read < 100; ++read) {
            if (!(m_bridge->ReadDataFixed(w.status) & 1)) {
                if (verbose > 1) PrintColor("OK\n", kColorGreen);
                return true;
            }
            Sleep(1);
        }
        CString line;
        if (writing) line.Format("Write Timeout  dwIndexData = %d\n", static_cast<int>(b));
        else if (mode == 1) line.Format("Read Timeout  dwIndexData = %d\n", static_cast<int>(b));
        else line.Format("Read Timeout  dwIndexData = 0x%08X  dwIndexReg = 0x%08X\n", b, indexValue(b));
        PrintColor(line, kColorRed);
        return false;
    };
    CString line;
    // Write phase.
    if (verbose > 1) PrintColor(mode == 1 ? "Write data to SDRAM\n" : "Write data from SDRAM\n", kColorBlack);
    m_bridge->WriteDataFixed(w.control, 0);
    Sleep(1);
    DWORD at = 0;
    for (size_t k = 0; k < blocks.size(); ++k) {
        const DWORD b = blocks[k];
        m_bridge->WriteDataFixed(w.index, indexValue(b));
        for (DWORD j = 0; j < w.words; ++j, ++at) {
            m_bridge->WriteDataFixed(w.write, (*pattern)[at]);
            if (verbose > 1) {
                const DWORD offset = offsetOf(k, b, j);
                if (mode == 1) line.Format("Address[0x%08X]  Write[0x%08x]\n", offset, (*pattern)[at]);
                else line.Format("%d MB - Address[0x%08X]  IndexReg[0x%08X]  WR[0x%08X]\n", static_cast<int>(offset >> 20), offset, indexValue(b), (*pattern)[at]);
                PrintColor(line, kColorBlack);
            }
        }
        m_bridge->WriteDataFixed(w.control, 1);
        if (verbose > 1) {
            line.Format("WRITE:  Wait for busy block(%d) ...  ", static_cast<int>(b));
            PrintColor(line, kColorBlack);
        }
        if (!busyWait(true, b)) return 0;
    }
    // Read phase: every word compared whole.
    if (verbose > 1) PrintColor("Read data from SDRAM\n", kColorBlack);
    m_bridge->WriteDataFixed(w.control, 0);
    Sleep(1);
    DWORD result = 1;
    int total = 0;
    at = 0;
    for (size_t k = 0; k < blocks.size(); ++k) {
        const DWORD b = blocks[k];
        m_bridge->WriteDataFixed(w.index, indexValue(b));
        m_bridge->WriteDataFixed(w.control, 2);
        if (verbose > 1) {
            line.Format("READ:  Wait for busy block(%d) ...  ", static_cast<int>(b));
            PrintColor(line, kColorBlack);
        }
        if (!busyWait(false, b)) return 0;
        for (DWORD j = 0; j < w.words; ++j, ++at) {
            const DWORD read = m_bridge->ReadDataFixed(w.read), wrote = (*pattern)[at];
            const DWORD offset = offsetOf(k, b, j);
            if (mode == 1) line.Format("Address[0x%08X] Wrote[0x%08X]  Read[0x%08X]\n", offset, wrote, read);
            else line.Format("%d MB - Address[0x%08X] IndexReg[0x%08X]  WR[0x%08X]  RD[0x%08X]\n", static_cast<int>(offset >> 20), offset, indexValue(b), wrote, read);
            if (read != wrote) {
                total += ByteErrors(read, wrote);
                if (total <= kMaxByteErrorsShown) PrintRed(line);
                result = 0;
            } else if (verbose > 1) {
                PrintColor(line, kColorBlack);
            }
        }
    }
    return result;
}

namespace {

constexpr DWORD kFrameWords = 486 * 640;  // 311,040 DWORDs, 0x12FC00 bytes
constexpr COLORREF kNoteBackground = 0x00F0FF;

}  // namespace

bool CSorbelinDiag::VelkoDrunStart(std::vector<DWORD>& frame, const char* allocationMessage) {
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return false;
    }
    Sleep(1);
    try {
        frame.assign(kFrameWords, 0);
    } catch (const std::bad_alloc&) {
        PrintColor(allocationMessage, kColorRed);
        return false;
    }
    return true;
}

void CSorbelinDiag::SetUpVelkoDrunChannel(CWexalDMAChannel* channel, bool inbound) {
    WexalDCB dcb;
    channel->GetDCB(1, &dcb);
    if (!inbound) dcb.Clear();
    dcb.GetOpField().SetPack(inbound ? 1 : 0);
    dcb.GetOpField().Set16bit(1);
    dcb.GetOpField().SetInputFormat(1);
    dcb.GetOpField().SetBCUPointer(3);
    dcb.GetPortField().SetTag(0);
    dcb.SetStartAddress(inbound ? 0 : 0x1000000);
    dcb.SetLineLength(640);
    dcb.SetInitialLineLength(640);
    dcb.SetLines(485);
    channel->SetDCB(1, &dcb);
    BufferControlUnit bcu(m_boardIF.GetRegisters() + 0x70030 / 4);
    bcu.Clear();
    bcu.SetLinesPerSlice(2);
    bcu.SetBufferCapacity(3);
    bcu.SetGo(1);
    bcu.SetLinesWrittenToNextSlice(485);
    bcu.SetLinesReadFromNextSlice(485);
}

DWORD CSorbelinDiag::VelkoDrunInbound(int channelNumber) {
    std::vector<DWORD> frame;
    if (!VelkoDrunStart(frame, "Unable to allocate data for buffer\n")) return 0;
    const std::vector<DWORD>* pattern = Pattern(640, "VelkoDrunInbound()");
    if (!pattern) return 0;
    for (DWORD i = 0; i < kFrameWords; ++i) frame[i] = (*pattern)[(i % 640) % pattern->size()];
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    const DWORD address = 0;
    if (!WriteMemory(frame.data(), address, kFrameWords * 4)) return 0;
    bar0[0x40004 / 4] = 0xFF;
    Sleep(1);
    if (channelNumber != 28 && channelNumber != 29) {
        PrintColor("Unrecognized dcbOut\n", kColorRed);
        return 0;
    }
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* channel = board ? board->GetDMAChannel(channelNumber) : nullptr;
    if (!channel) return 0;
    channel->Flush();
    channel->Flush();
    SetUpVelkoDrunChannel(channel, true);
    bar0[(channelNumber == 28 ? 0x88000 : 0x90000) / 4] = 0xA;
    Sleep(1);
    bar0[0x40004 / 4] = 0xFF;
    channel->GetControlWord() = 1;
    Sleep(1);
    PrintColor("Waiting for Data ready ... \n", kColorBlack);
    CProgressCtrl* progress = GetProgressCtrl();
    if (progress) {
        progress->ShowWindow(SW_SHOW);
        progress->SetRange32(0, static_cast<int>(kFrameWords));
    }
    PrintStyled("Software manipulation of data.\n", kColorBlack, kNoteBackground, FALSE);
    PrintStyled("Using two reads, low half of first read and high half of \n", kColorBlack, kNoteBackground, FALSE);
    PrintStyled("second read are combined to create 32-bit data\n", kColorBlack, kNoteBackground, FALSE);
    int errors = 0;
    for (DWORD k = 0; k < kFrameWords && errors <= 40; ++k) {
        bool ready = false;
        for (int poll = 0; poll < 100 && !ready; ++poll) {
            ready = !(m_bridge->ReadDataFixed(0x6C000102) & 1);
            if (!ready) Sleep(1);
        }
        if (!ready) {
            CString line;
            line.Format("Read Timeout DataIndex = %d\n", static_cast<int>(k));
            PrintRed(line);
            if (progress) progress->ShowWindow(SW_HIDE);
            return 0;
        }
        if (progress && k % 250 == 0) progress->SetPos(static_cast<int>(k));
        // Each read carries two 16-bit halves of the stream: compared whole with the two halves sent.
        const DWORD value = m_bridge->ReadDataFixed(0x60000002);
        const DWORD expected = k == 0 ? (frame[0] << 16) | 0xA : (frame[k - 1] >> 16) | (frame[k] << 16);
        if (value != expected && ++errors <= 40) {
            CString line;
            line.Format("Offset[%d]\t dataWritten[0x%08X]  dataRead[0x%08X]\n", static_cast<int>(k), expected, value);
            PrintColor(line, kColorRed);
        }
    }
    if (errors == 0) PrintColor("OK\n", kColorGreen);
    if (progress) progress->ShowWindow(SW_HIDE);
    bar0[(0x58000 + 4 * static_cast<DWORD>(channelNumber)) / 4] = 0x80;
    bar0[(0x58000 + 4 * static_cast<DWORD>(channelNumber)) / 4] = 1;
    return errors == 0 ? 1 : 0;
}

DWORD CSorbelinDiag::VelkoDrunOutbound(int channelNumber) {
    std::vector<DWORD> frame;
    if (!VelkoDrunStart(frame, "Unable to allocate data for buffer")) return 0;
    const std::vector<DWORD>* pattern = Pattern(1, "VelkoDrunOutbound()");
    if (!pattern) return 0;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* channel = board && channelNumber >= 0 && channelNumber < 64 ? board->GetDMAChannel(channelNumber) : nullptr;
    if (!channel) return 0;
    std::fill(frame.begin(), frame.end(), 0x55555555u);
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    const DWORD address = 0x1000000;
    if (!WriteMemory(frame.data(), address, kFrameWords * 4)) return 0;
    bar0[0x40004 / 4] = 0xFF;
    Sleep(1);
    frame.clear();
    channel->Flush();
    SetUpVelkoDrunChannel(channel, false);
    bar0[0x40004 / 4] = 0xFF;
    m_bridge->WriteDataFixed(0x01B00004, (m_bridge->ReadDataFixed(0x01B00004) & 0xFFFF) & ~0x3000u);
    m_bridge->WriteDataFixed(0x01B00000, (m_bridge->ReadDataFixed(0x01B00000) & 0xFFFF) | 0x3000u);
    auto strobe = [&] {
        bar0[(0x58000 + 4 * static_cast<DWORD>(channelNumber)) / 4] = 0x80;
        bar0[(0x58000 + 4 * static_cast<DWORD>(channelNumber)) / 4] = 1;
    };
    for (int pass = 0; pass < 2; ++pass) {
        // Bounded: a port that never gets ready ends the test with a red line.
        bool ready = false;
        for (int poll = 0; poll < 100 && !ready; ++poll) {
            ready = (m_bridge->ReadDataFixed(0x01B00008) & 0x2000) != 0;
            if (!ready) Sleep(1);
        }
        if (!ready) {
            PrintColor("ERROR:  Timeout (100 milliseconds) waiting for the outbound port to get ready\n", kColorRed);
            strobe();
            return 0;
        }
        for (DWORD j = 0; j < 128; ++j) {
            const DWORD w = 128 * static_cast<DWORD>(pass) + j;
            const DWORD value = (*pattern)[w % pattern->size()];
            if (w < 10) {
                CString line;
                line.Format("Data = 0x%08X\n", value);
                PrintColor(line, kColorBlack);
            }
            m_bridge->WriteDataFixed(0x60000004, value);
        }
        m_bridge->WriteDataFixed(0x6C000104, 0x10001);
        Sleep(1);
        if (pass == 0) channel->GetControlWord() = 1;
    }
    std::vector<WORD> data(kFrameWords);
    if (ReadMemory(address, data.data(), kFrameWords * 2)) {
        for (int i = 0; i < 64; ++i) {
            CString line;
            line.Format("Data Read = 0x%04X\n", static_cast<unsigned>(data[static_cast<size_t>(i)] >> 3));
            PrintColor(line, kColorBlack);
        }
    }
    strobe();
    return 0;
}

DWORD CSorbelinDiag::RunTest(CString command) {
    const DWORD verbose = ReadVerbosity(command);
    // A name that gives no chip A or B has no bridge block and no channels: nothing runs.
    if (!SelectChip()) {
        PrintColor("Unrecognized Chip\n", kColorRed);
        return 0;
    }
    enum Code { kFifoA_, kFifoB_, kTableA, kTableB, kBlock32, kBlock64, kBlock3264, kAddress32, kAddress64, kInbound, kOutbound,
                kReadA, kReadB, kWriteA, kWriteB };
    static const struct {
        const char* keyword;
        Code code;
    } kKeywords[] = {
        {"FIFO EMIF_A", kFifoA_},           {"FIFO EMIF_B", kFifoB_},           {"RAMTable EMIF_A", kTableA},
        {"RAMTable EMIF_B", kTableB},       {"SDRAM_32 Block", kBlock32},       {"SDRAM_64 Block", kBlock64},
        {"SDRAM_32/64 Block", kBlock3264},  {"SDRAM_32 Address", kAddress32},   {"SDRAM_64 Address", kAddress64},
        {"VelkoDrun_IB", kInbound},         {"VelkoDrun_OB", kOutbound},
        {"Register read EMIF_A", kReadA},   {"Register read EMIF_B", kReadB},   {"Register write EMIF_A", kWriteA},
        {"Register write EMIF_B", kWriteB},
    };
    for (const auto& row : kKeywords) {
        if (command.Find(row.keyword) != 0) continue;
        DWORD result = 0;
        switch (row.code) {
        case kFifoA_: result = FifoTest(kFifoA, verbose); break;
        case kFifoB_: result = FifoTest(kFifoB, verbose); break;
        case kTableA: result = RamTableTest(kRamTableA, 0x200); break;
        case kTableB: result = RamTableTest(kRamTableB, 0x80); break;
        case kBlock32: result = SdramTest(0x200, 32, 1, verbose); break;
        case kBlock64: result = SdramTest(0x200, 64, 1, verbose); break;
        case kBlock3264: PrintColor("Not implemented yet!!!\n", kColorNote); break;
        case kAddress32: result = SdramTest(0x800000, 32, 2, verbose); break;
        case kAddress64: result = SdramTest(0x1000000, 64, 2, verbose); break;
        case kInbound:
        case kOutbound: {
            // Only chips A and B get here (see above): another has no channels to start.
            const int chip = GetChipFromName(1);
            PrintColor(chip == 1 ? "Test Sorbelin A\n" : "Test Sorbelin B\n", kColorGreen);
            result = row.code == kInbound ? VelkoDrunInbound(chip == 1 ? 28 : 29) : VelkoDrunOutbound(chip == 1 ? 24 : 25);
            break;
        }
        case kReadA: result = m_dsp ? m_dsp->RegisterAccessTest(CNuxaDSP::kAccessReadEmifA, m_patternStart, m_patternEnd) : 0; break;
        case kReadB: result = m_dsp ? m_dsp->RegisterAccessTest(CNuxaDSP::kAccessReadEmifB, m_patternStart, m_patternEnd) : 0; break;
        case kWriteA: result = m_dsp ? m_dsp->RegisterAccessTest(CNuxaDSP::kAccessWriteEmifA, m_patternStart, m_patternEnd) : 0; break;
        case kWriteB: result = m_dsp ? m_dsp->RegisterAccessTest(CNuxaDSP::kAccessWriteEmifB, m_patternStart, m_patternEnd) : 0; break;
        }
        if ((row.code == kBlock64 || row.code == kInbound || row.code == kOutbound) && result == 0 && IsEngineering())
            PrintColor("This test is known to fail due to HPI->EMIF problems\n", kColorRed);
        return result;
    }
    PrintColor("\n\nERROR:  CSorbelinDiag\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
    return 0;
}
