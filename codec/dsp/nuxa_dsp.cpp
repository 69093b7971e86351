// CNuxaDSP: EMIF tables, the register access test, microcode boot, mailbox commands, memory and chip programming.
#include "codec/dsp/nuxa_dsp.h"

#include <cctype>
#include <cstring>

#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "platform/clock.h"

namespace {

// EMIF control values: global control, chip-space controls and SDRAM timing of each interface.
struct EmifPair {
    DWORD offset, value;
};
constexpr EmifPair kEmifTable[2][CNuxaDSP::kEmifPairs] = {
    {{0x00, 0x00003078}, {0x04, 0xFFFFFF23}, {0x08, 0xFFFFFF23}, {0x0C, 0x22A28A22}, {0x10, 0x22A28A22},
     {0x14, 0x47115000}, {0x18, 0x0000081B}, {0x1C, 0x00054529}, {0x20, 0x00000000}, {0x24, 0x00000000},
     {0x28, 0x00000000}, {0x2C, 0x00000000}, {0x30, 0x00000000}, {0x34, 0x00000000}, {0x38, 0x00000000},
     {0x3C, 0x00000000}, {0x40, 0x00000002}, {0x44, 0x00000002}, {0x48, 0x00000002}, {0x4C, 0x00000002},
     {0x50, 0x00000000}, {0x54, 0x00000000}, {0x58, 0x00000000}, {0x5C, 0x00000001}},
    {{0x00, 0x00002078}, {0x04, 0xFFFFFF13}, {0x08, 0xFFFFFF13}, {0x0C, 0x11A18A11}, {0x10, 0x11A18A11},
     {0x14, 0x47115000}, {0x18, 0x0000061A}, {0x1C, 0x00054519}, {0x20, 0x00000000}, {0x24, 0x00000000},
     {0x28, 0x00000000}, {0x2C, 0x00000000}, {0x30, 0x00000000}, {0x34, 0x00000000}, {0x38, 0x00000000},
     {0x3C, 0x00000000}, {0x40, 0x00000001}, {0x44, 0x00000001}, {0x48, 0x00000001}, {0x4C, 0x00000001},
     {0x50, 0x00000000}, {0x54, 0x00000000}, {0x58, 0x00000000}, {0x5C, 0x00000001}},
};

int ChipFromName(CString name) {
    name.TrimRight();
    if (name.IsEmpty()) return 0;
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.GetLength() - 1])));
    return last == 'A' ? 1 : last == 'B' ? 2 : 0;
}

CString Upper(CString text) {
    text.MakeUpper();
    return text;
}

}  // namespace

CNuxaDSP::CNuxaDSP(CDremolun* bridge, CString name) : CNuxaBoardMember(name), m_bridge(bridge), m_chip(ChipFromName(name)) {
    SetCodeName(name);
}

bool CNuxaDSP::SelectBlock() {
    if (!m_bridge || m_chip == 0) return false;
    m_bridge->SetDSPBlock(m_chip);
    return true;
}

BOOL CNuxaDSP::InitEmif(int emif, int verbose) {
    if ((emif != 0 && emif != 1) || !SelectBlock()) return FALSE;
    BOOL ok = TRUE;
    for (const EmifPair& pair : kEmifTable[emif]) {
        const DWORD address = kEmifBase[emif] + pair.offset;
        m_bridge->WriteDataFixed(address, pair.value);
        const DWORD read = m_bridge->ReadDataFixed(address);
        if (read != pair.value) {
            CString line;
            line.Format("ERROR:  InitEmif(%c) Address[0x%08X]  Wrote[0x%08X]  Read[0x%08X]\n", 'A' + emif, address, pair.value, read);
            Red(line);
            ok = FALSE;
        } else if (verbose > 1) {
            CString line;
            line.Format("EMIF_%c Address[0x%08X] = 0x%08X\n", 'A' + emif, address, pair.value);
            PrintColor(line, kColorBlack);
        }
    }
    return ok;
}

DWORD CNuxaDSP::RegisterAccessTest(DWORD accessType, DWORD start, DWORD end) {
    (void)start;
    (void)end;
    if (!m_pattern || m_pattern->empty()) {
        Red("ERROR:  CNuxaDSP::RegisterAccessTest() No test pattern\n");
        return 0;
    }
    if (!SelectBlock()) return 0;
    constexpr DWORD kValue = 0x9876;
    CString line;
    switch (accessType) {
    case kAccessWriteEmifA:
        PrintColor("ACCESS_TYPE_FIXED_WRITE_EMIF_A\n", kColorBlack);
        m_bridge->WriteDataFixed(0xB0010000, kValue);
        return 1;
    case kAccessWriteEmifB:
        PrintColor("ACCESS_TYPE_FIXED_WRITE_EMIF_B\n", kColorBlack);
        m_bridge->WriteDataFixed(0x6C000000, kValue);
        return 1;
    case kAccessReadEmifA:
    case kAccessReadEmifB: {
        const bool a = accessType == kAccessReadEmifA;
        PrintColor(a ? "ACCESS_TYPE_FIXED_READ_EMIF_A\n" : "ACCESS_TYPE_FIXED_READ_EMIF_B\n", kColorBlack);
        const DWORD value = m_bridge->ReadDataFixed(a ? 0xB0010000 : 0x6C000000);
        line.Format(a ? "Address[0xb0010000]  Read[0x%08X]\n" : "Address[0x6c000000]  Read[0x%08X]\n", value);
        PrintColor(line, kColorBlack);
        return value == kValue ? 1 : 0;
    }
    default: return 0;
    }
}

BOOL CNuxaDSP::DownloadMicrocode(CString& path, int verbose) {
    if (!SelectBlock()) return FALSE;
    CString line;
    if (ExpandPathMacros(path, TRUE, TRUE) == kPathNotFound) {
        line.Format("ERROR:  CNuxaDSP::DownloadMicrocode() Unable to find file[%s]\n", path.c_str());
        Red(line);
        return FALSE;
    }
    const COxd image(path, 1);
    if (!image.IsValid() || image.GetDataSize() < 16 || image.GetDataSize() % 4 != 0 || image.GetDataSize() > 0x80000) {
        line.Format("ERROR:  CNuxaDSP::DownloadMicrocode() Not a microcode image[%s]\n", path.c_str());
        Red(line);
        return FALSE;
    }
    std::vector<DWORD> words(image.GetDataSize() / 4);
    std::memcpy(words.data(), image.GetData(), image.GetDataSize());
    m_revision = 0;
    m_bridge->WriteDataFixed(kControl, 0);
    if (!m_bridge->WriteDataAuto(0, words.data(), static_cast<DWORD>(words.size()))) return FALSE;
    m_bridge->WriteDataFixed(kControl, 1);
    if (m_bridge->ReadDataFixed(kControl) != 1 || m_bridge->ReadDataFixed(kMailboxStatus) != 0) {
        line.Format("ERROR:  CNuxaDSP::DownloadMicrocode() The DSP did not start the microcode[%s]\n", path.c_str());
        Red(line);
        return FALSE;
    }
    m_revision = m_bridge->ReadDataFixed(4);
    if (verbose > 1) {
        line.Format("Microcode[%s] Revision[%u] running\n", path.c_str(), m_revision);
        PrintColor(line, kColorGreen);
    }
    return TRUE;
}

BOOL CNuxaDSP::SendCommand(DWORD command, const DWORD* args, DWORD argCount, DWORD* reply, DWORD replyCount) {
    if (!SelectBlock() || argCount > 8 || replyCount > 8) return FALSE;
    CString line;
    // Only running firmware serves the mailbox. The status word is no guide: it also carries the
    // codec's error bits while the firmware runs.
    if (m_bridge->ReadDataFixed(kControl) != 1) {
        line.Format("ERROR:  CNuxaDSP::SendCommand(%u) The DSP firmware is not running\n", command);
        Red(line);
        return FALSE;
    }
    DWORD words[8] = {};
    for (DWORD i = 0; i < argCount; ++i) words[i] = args[i];
    if (!m_bridge->WriteDataAuto(kMailboxArgs, words, 8)) return FALSE;
    m_bridge->WriteDataFixed(kMailboxCommand, command);
    if (!m_bridge->RingDoorbell()) return FALSE;
    bool done = false;
    for (int poll = 0; poll < kMailboxPolls && !done; ++poll) {
        done = m_bridge->ReadDataFixed(kMailboxCommand) == 0;
        if (!done) Sleep(1);
    }
    if (!done) {
        line.Format("ERROR:  CNuxaDSP::SendCommand(%u) Timeout (%d milliseconds) waiting for the DSP mailbox\n", command, kMailboxPolls);
        Red(line);
        return FALSE;
    }
    DWORD answer[8] = {};
    if (!m_bridge->ReadDataAuto(kMailboxReply, answer, 8)) return FALSE;
    for (DWORD i = 0; i < replyCount; ++i) reply[i] = answer[i + 1];
    if (answer[0] != 1) {
        line.Format("ERROR:  CNuxaDSP::SendCommand(%u) The DSP refused the command\n", command);
        Red(line);
        return FALSE;
    }
    return TRUE;
}

BOOL CNuxaDSP::InitializeFirmware(int verbose) {
    DWORD revision = 0;
    if (!SendCommand(kCmdStartUp, nullptr, 0, &revision, 1)) return FALSE;
    if (revision != m_revision) {
        CString line;
        line.Format("ERROR:  CNuxaDSP::InitializeFirmware() Firmware revision[%u], downloaded[%u]\n", revision, m_revision);
        Red(line);
        return FALSE;
    }
    if (verbose > 1) PrintColor("DSP firmware initialized\n", kColorGreen);
    return TRUE;
}

BOOL CNuxaDSP::InitializeFirmwareMode(const CString& mode, int) {
    const CString upper = Upper(mode);
    const DWORD code = upper == "ENCODE" ? 1 : upper == "DECODE" ? 2 : 0;
    if (code == 0) {
        Red("ERROR:  CNuxaDSP::InitializeFirmwareMode() Unknown mode[" + mode + "]\n");
        return FALSE;
    }
    return SendCommand(kCmdFirmwareMode, &code, 1, nullptr, 0);
}

BOOL CNuxaDSP::SetStateByName(const CString& state, int) {
    const CString upper = Upper(state);
    const DWORD code = upper == "RUN" ? 1 : upper == "HALT" ? 2 : 0;
    if (code == 0) {
        Red("ERROR:  CNuxaDSP::SetStateByName() Unknown state[" + state + "]\n");
        return FALSE;
    }
    return SendCommand(kCmdSetState, &code, 1, nullptr, 0);
}

CString CNuxaDSP::GetState() {
    DWORD state = 0;
    if (!SendCommand(kCmdGetState, nullptr, 0, &state, 1)) return "Unknown";
    return state == 1 ? "Run" : state == 2 ? "Halt" : "Unknown";
}

CString CNuxaDSP::GetMode() {
    DWORD mode = 3;
    if (!SendCommand(kCmdGetMode, nullptr, 0, &mode, 1)) return "Unknown";
    return mode == 0 ? "Idle" : mode == 1 ? "Encode" : mode == 2 ? "Decode" : mode == 3 ? "Zorv HD Encode" : "Unknown";
}

BOOL CNuxaDSP::SetMode(const CString& mode, int) {
    const CString upper = Upper(mode);
    const DWORD code = upper == "IDLE" ? 0 : upper == "ENCODE" ? 1 : upper == "DECODE" ? 2 : upper == "ZORV HD ENCODE" ? 3 : 4;
    if (code == 4) {
        Red("ERROR:  CNuxaDSP::SetMode() Unknown mode[" + mode + "]\n");
        return FALSE;
    }
    return SendCommand(kCmdSetMode, &code, 1, nullptr, 0);
}

BOOL CNuxaDSP::ProgramFPGA(CString& imagePath, int verbose) {
    if (!SelectBlock()) return FALSE;
    CString line;
    if (ExpandPathMacros(imagePath, TRUE, TRUE) == kPathNotFound) {
        line.Format("ERROR:  CNuxaDSP::ProgramFPGA() Unable to find file[%s]\n", imagePath.c_str());
        Red(line);
        return FALSE;
    }
    const COxd image(imagePath, 1);
    if (!image.IsValid() || image.GetDataSize() == 0) {
        line.Format("ERROR:  CNuxaDSP::ProgramFPGA() Not a firmware image[%s]\n", imagePath.c_str());
        Red(line);
        return FALSE;
    }
    m_bridge->WriteDataFixed(kConfigControl, kConfigProg);
    m_bridge->WriteDataFixed(kConfigControl, 0);
    bool init = false;
    for (int poll = 0; poll < 100 && !init; ++poll) {
        init = (m_bridge->ReadDataFixed(kConfigControl) & kConfigInit) != 0;
        if (!init) Sleep(1);
    }
    if (!init) {
        Red("ERROR:  CNuxaDSP::ProgramFPGA() Timeout waiting for INIT\n");
        return FALSE;
    }
    const BYTE* data = image.GetData();
    const DWORD size = image.GetDataSize();
    for (DWORD at = 0; at < size; at += 4) {
        DWORD word = 0;
        std::memcpy(&word, data + at, size - at < 4 ? size - at : 4);
        m_bridge->WriteDataFixed(kConfigData, word);
    }
    if (!(m_bridge->ReadDataFixed(kConfigControl) & kConfigDone)) {
        line.Format("ERROR:  CNuxaDSP::ProgramFPGA() DONE did not rise after [%s]\n", imagePath.c_str());
        Red(line);
        return FALSE;
    }
    if (verbose > 1) {
        line.Format("Programmed[%s]\n", imagePath.c_str());
        PrintColor(line, kColorGreen);
    }
    return TRUE;
}

DWORD CNuxaDSP::Alloc(DWORD bytes, DWORD, int) {
    DWORD address = 0;
    return SendCommand(kCmdAlloc, &bytes, 1, &address, 1) ? address : 0;
}

BOOL CNuxaDSP::Dealloc(DWORD address, DWORD bytes, int) {
    const DWORD args[2] = {address, bytes};
    return SendCommand(kCmdDealloc, args, 2, nullptr, 0);
}

BOOL CNuxaDSP::WriteMemory(const void* data, DWORD address, DWORD bytes, int) {
    if (!SelectBlock() || (!data && bytes)) return FALSE;
    std::vector<DWORD> words((bytes + 3) / 4, 0);
    if (bytes) std::memcpy(words.data(), data, bytes);
    return m_bridge->WriteDataAuto(address, words.data(), static_cast<DWORD>(words.size()));
}

BOOL CNuxaDSP::AddEncodeTableList(DWORD vcid, DWORD encodeAddress, DWORD encodeBytes, DWORD resolutionAddress, DWORD resolutionBytes,
                                  DWORD* tableOffset, int) {
    const DWORD args[5] = {vcid, encodeAddress, encodeBytes, resolutionAddress, resolutionBytes};
    DWORD offset = 0;
    const BOOL ok = SendCommand(kCmdAddEncodeTableList, args, 5, &offset, 1);
    if (tableOffset) *tableOffset = ok ? offset : 0;
    return ok;
}

BOOL CNuxaDSP::LoadTableList(int) { return SendCommand(kCmdLoadTableList, nullptr, 0, nullptr, 0); }
