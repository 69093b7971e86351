// CBrimolaWemp and CGenFileReader: the "Play" command, GenFile reading and the header checks before anything is loaded.
#include "videopath/brimola_wemp.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/arg_number.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/jastel.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kBobOffset = 0x80000, kBcuOffset = 0x70000, kDmacOffset = 0x58000, kPciOffset = 0x40000;
constexpr int kBviWord = 0x100 / 4;     // in the BoB block
constexpr int kCacheFlushWord = 0x4 / 4;  // in the PCI block: SDRAM post-write flush
constexpr WORD kBcu = 4;
constexpr DWORD kFieldMax = 0xFFFF;  // DCB geometry fields are 16 bits wide

// A size override (KEY=value, "%lu"): value unchanged when the key is missing or holds no number;
// false after the red line for one that does not fit 32 bits, which is never cut to fit.
bool ReadSizeOverride(CTestBase& out, const CParamString& arguments, const char* key, long long& value) {
    const ArgNumber read = ReadArgValue(arguments, key, platform::NumberForm::Decimal, platform::kUnsigned32Field);
    if (read.state == ArgRead::Refused) {
        out.PrintColor(read.refusal, kColorRed);
        return false;
    }
    if (read.state == ArgRead::Read) value = read.value;
    return true;
}

struct FrameGeometry {
    long long x = 0, i = 0;
    long long y = 0;  // the header's line count field may give -1
    bool Fits() const {
        const auto fits = [](long long v) { return v >= 0 && v <= static_cast<long long>(kFieldMax); };
        return fits(x) && fits(i) && fits(y);
    }
};

// Why the file cannot be played as asked; "" when it can. frames 0 plays the whole file.
CString CheckGenFile(const CGenFileReader& file, const FrameGeometry& geometry, DWORD frames, ULONGLONG sdramBytes) {
    CString reason;
    const DWORD size = file.GetFrameSize();
    const ULONGLONG room = sdramBytes > CBrimolaWemp::kFirstFrameAddress ? sdramBytes - CBrimolaWemp::kFirstFrameAddress : 0;
    const ULONGLONG played = frames ? std::min<ULONGLONG>(frames, file.GetFrameCount()) : file.GetFrameCount();
    if (file.GetBlockSize() == 0) {
        reason = "ERROR:  GenFile refused: its block size is 0\n";
    } else if (file.GetFrameCount() == 0) {
        reason = "ERROR:  GenFile refused: it holds no frames\n";
    } else if (size == 0 || size > room) {
        reason.Format("ERROR:  GenFile refused: frame size %lu does not fit SDRAM of 0x%08llX bytes above 0x%04lX\n",
                      static_cast<unsigned long>(size), static_cast<unsigned long long>(sdramBytes),
                      static_cast<unsigned long>(CBrimolaWemp::kFirstFrameAddress));
    } else if (!geometry.Fits()) {
        reason.Format("ERROR:  GenFile refused: [I=%lld,W=%lld,H=%lld] does not fit the DCB's 16-bit fields\n", geometry.i,
                      geometry.x, geometry.y);
    } else if (played > room / size) {
        reason.Format("ERROR:  GenFile refused: %llu frames of %lu bytes from 0x%04lX run past the SDRAM end (0x%08llX)\n",
                      static_cast<unsigned long long>(played), static_cast<unsigned long>(size), static_cast<unsigned long>(CBrimolaWemp::kFirstFrameAddress),
                      static_cast<unsigned long long>(sdramBytes));
    }
    return reason;
}

}  // namespace

BOOL CGenFileReader::Open(const CString& name, UINT flags) {
    Close();
    m_file = std::make_unique<CFile>();
    if (!m_file->Open(name.c_str(), flags)) {
        m_file.reset();
        return FALSE;
    }
    m_opened = TRUE;
    m_header.reset(new (std::nothrow) BYTE[kHeaderBytes]);
    if (!m_header || m_file->Read(m_header.get(), kHeaderBytes) != kHeaderBytes) {
        Close();
        return FALSE;
    }
    return TRUE;
}

DWORD CGenFileReader::Field32(DWORD offset) const {
    if (!m_header) return 0;
    const BYTE* p = m_header.get() + offset;
    return DWORD{p[0]} | DWORD{p[1]} << 8 | DWORD{p[2]} << 16 | DWORD{p[3]} << 24;
}

ULONGLONG CGenFileReader::GetFrameCount() const { return ULONGLONG{Field32(60)} << 32 | Field32(56); }

bool CGenFileReader::FramePosition(ULONGLONG index, ULONGLONG* position) const {
    const ULONGLONG block = GetBlockSize(), size = GetFrameSize();
    if (!block) return false;
    const ULONGLONG blocksPerFrame = (size + block - 1) / block;
    ULONGLONG at = 0;
    if (__builtin_mul_overflow(index, blocksPerFrame, &at) || __builtin_add_overflow(at, 1ULL, &at) ||
        __builtin_mul_overflow(at, block, &at) || __builtin_add_overflow(at, ULONGLONG{GetFrameOffset()}, &at) ||
        at > static_cast<ULONGLONG>(INT64_MAX))
        return false;
    *position = at;
    return true;
}

const BYTE* CGenFileReader::ReadFrame(ULONGLONG index) {
    const DWORD size = GetFrameSize();
    ULONGLONG position = 0;
    if (!m_header || !m_file || !size || !FramePosition(index, &position)) return nullptr;
    if (!m_frame) m_frame.reset(new (std::nothrow) BYTE[size]);
    if (!m_frame) return nullptr;
    if (m_file->Seek(static_cast<LONGLONG>(position), CFile::begin) < 0) return nullptr;
    return m_file->Read(m_frame.get(), size) == size ? m_frame.get() : nullptr;
}

void CGenFileReader::Close() {
    if (m_opened && m_file) m_file->Close();
    m_file.reset();
    m_header.reset();
    m_frame.reset();
    m_opened = FALSE;
}

CBrimolaWemp::CBrimolaWemp(CJastel* controller, CString name) : CWexalTreeMapTB(name), m_controller(controller) {
    SetCodeName(name);
}

void CBrimolaWemp::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CBrimolaWemp::Run(CString command) {
    if (!GetParent()) {
        PrintColor("CKerzil:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    const bool play = command.Find("Play") == 0;
    CString arguments;
    if (play) {
        arguments = command.Mid(4);
        arguments.TrimLeft();
    }
    if (!GetDevice()) {
        PrintColor("m_pDevice is NULL\n", kColorRed);
        return kRunFailed;
    }
    // A negative count, or one past any width, gets the frames message: none is cut to fit.
    const ArgNumber framesRead =
        ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal, platform::NumberField{0, kMaxFrames}, "FRAMES");
    if (framesRead.state == ArgRead::Refused) {
        PrintColor("Number of frames must be between less than 15.\nTo specify all frames set FRAMES=0.\n", kColorRed);
        return kRunFailed;
    }
    const long frames = framesRead.state == ArgRead::Read ? static_cast<long>(framesRead.value) : 0;
    int verbosity = IsEngineering() && !IsRegression() ? 2 : 1;
    const ArgNumber verbose =
        ReadArgValue(CParamString(command), "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (verbose.state == ArgRead::Refused) {
        PrintColor(verbose.refusal, kColorRed);
        return kRunFailed;
    }
    if (verbose.state == ArgRead::Read) verbosity = static_cast<int>(verbose.value);
    if (play) {
        const DWORD played = Play(1, arguments, static_cast<DWORD>(frames), static_cast<DWORD>(verbosity));
        return played == 1 ? kRunPassed : played == kRunStopped ? kRunStopped : kRunFailed;
    }
    PrintColor("\n\nERROR:  CBrimolaWemp\n\"" + command + "\"\n Not recognized as a valid test\n", kColorRed);
    return kRunFailed;
}

DWORD CBrimolaWemp::Help(CString command) {
    CString line;
    line.Format("\nHelp is not available for:\n  CBrimolaWemp %s\n", command.c_str());
    PrintColor(line, kColorBlack);
    return kRunPassed;
}

BOOL CBrimolaWemp::GetChannelStructs(DWORD channel, RegisterPtr* bob, RegisterPtr* bcu, RegisterPtr* dmac,
                                     RegisterPtr* pci, CWexalDMAChannel** dma) {
    RegisterPtr bar0 = GetBoardIF().GetMainBoardRegisters();
    if (!bar0) bar0 = GetBoardIF().GetCodecBoardRegisters();
    if (!bar0) {
        PrintColor("Unrecognized Channel", kColorRed);
        *bob = *bcu = *dmac = *pci = RegisterPtr();
        *dma = nullptr;
        return FALSE;
    }
    *bob = bar0 + kBobOffset / 4;
    *bcu = bar0 + kBcuOffset / 4;
    *dmac = bar0 + kDmacOffset / 4;
    *pci = bar0 + kPciOffset / 4;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    *dma = board ? board->GetDMAChannel(static_cast<int>(channel)) : nullptr;
    return *dma != nullptr;
}

DWORD CBrimolaWemp::Play(int, CParamString arguments, DWORD frames, DWORD verbosity) {
    PrintColor("Test BrimolaWemp Images\n", kColorGreen);
    const ArgNumber bviRead = ReadArgValue(arguments, "BVI", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (bviRead.state == ArgRead::Refused) {
        PrintColor(bviRead.refusal, kColorRed);
        return 0;
    }
    const int bvi = bviRead.state == ArgRead::Read ? static_cast<int>(bviRead.value) : 0;
    CString name;
    if (!arguments.GetValue("Genfile", name)) {
        PrintColor("ERROR:  Missing GenFile= on the command line\n", kColorRed);
        return 0;
    }
    ExpandPathMacros(name, FALSE, FALSE);
    CGenFileReader file;
    if (!file.Open(name, CFile::modeRead | CFile::typeBinary)) {
        PrintColor("ERROR:  Unable to open GenFile\n", kColorRed);
        return 0;
    }
    FrameGeometry geometry;
    geometry.x = geometry.i = file.GetLineLength();
    geometry.y = static_cast<long long>(file.GetLineCountField() >> 2) - 1;
    if (!ReadSizeOverride(*this, arguments, "XSize", geometry.x) ||
        !ReadSizeOverride(*this, arguments, "ISize", geometry.i) ||
        !ReadSizeOverride(*this, arguments, "YSize", geometry.y))
        return 0;
    // Checked before anything is written, so a refused file leaves the board as it was.
    const CDevAddrSpace* sdram = GetBoardIF().GetSDRAMSpace();
    const CString refusal = CheckGenFile(file, geometry, frames, sdram ? sdram->GetSize() : 0);
    if (!refusal.IsEmpty()) {
        PrintColor(refusal, kColorRed);
        return 0;
    }
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);
    RegisterPtr bob, bcu, dmac, pci;
    CWexalDMAChannel* dma = nullptr;
    if (!GetChannelStructs(kChannel, &bob, &bcu, &dmac, &pci, &dma)) {
        if (!bob) PrintColor("Unable to obtain pBobStruct\n", kColorRed);
        if (!bcu) PrintColor("Unable to obtain pBCUStruct\n", kColorRed);
        if (!dmac) PrintColor("Unable to obtain pDMACStruct\n", kColorRed);
        if (!pci) PrintColor("Unable to obtain pPCIStruct\n", kColorRed);
        if (!dma) PrintColor("Unable to obtain pDMAout\n", kColorRed);
        return 0;
    }
    CString line;
    line.Format("DCB  Wexal outbound to Wemp=%d\n", static_cast<int>(kChannel));
    PrintColor(line, kColorBlack);
    dma->Flush();
    bob[kBviWord] = static_cast<DWORD>(bvi);

    WexalDCB dcb;
    dma->GetDCB(1, &dcb);
    const DWORD limit = std::min<DWORD>(frames, kMaxFrames) + 1;
    const DWORD size = file.GetFrameSize();
    const ULONGLONG count = file.GetFrameCount();
    DWORD address = kFirstFrameAddress;
    for (ULONGLONG n = 1; n <= count; ++n) {
        // A whole file can hold millions of frames: the host's stop flag ends the load before the
        // channel starts.
        if (*g_StopFlag()) {
            PrintColor("Stopped by User\n", kColorRed);
            return kRunStopped;
        }
        const BYTE* frame = file.ReadFrame(n - 1);
        if (!frame) {
            line.Format("ERROR:  Unable to read frame %llu of the GenFile\n", static_cast<unsigned long long>(n - 1));
            PrintColor(line, kColorRed);
            return 0;
        }
        if (!WriteMemory(frame, address, size)) return 0;
        pci[kCacheFlushWord] = 0xFF;
        Sleep(1);
        dcb.SetLineLength(static_cast<WORD>(geometry.x));
        dcb.SetInitialLineLength(static_cast<WORD>(geometry.i));
        dcb.SetLines(static_cast<WORD>(geometry.y));
        dcb.SetStartAddress(address);
        WexalDCBOp& op = dcb.GetOpField();
        op.Set16bit(0);
        op.SetBCUPointer(kBcu);
        op.SetInputFormat(INPUT_FORMAT_422);
        op.SetNext(static_cast<BYTE>((n + 1) % limit));
        dcb.GetPortField().SetTag(static_cast<WORD>(n & 0xF));
        dcb.GetPortField().SetContextID(0);
        // The ring closes at the last frame played, also when the file ends before FRAMES: the
        // next DCB would be one this run never loaded.
        if (n == frames || (frames && n == count)) op.SetNext(1);
        dma->SetDCB(static_cast<int>(n & 0xF), &dcb);
        if (verbosity > 1) {
            line.Format("SRC Image:  Tag[%d]  Addr[0x%08X]  [I=%d,W=%d,H=%d] Next[%d]\n",
                        static_cast<int>(dcb.GetPortField().GetTag()), dcb.GetStartAddress(),
                        static_cast<int>(dcb.GetInitialLineLength()), static_cast<int>(dcb.GetLineLength()),
                        static_cast<int>(dcb.GetLines()), static_cast<int>(op.GetNext()));
            PrintColor(line, kColorBlack);
        }
        address += size;
        if (n == frames) break;
    }
    BufferControlUnit unit(bcu + 4 * kBcu);
    unit.Clear();
    unit.SetGo(1);
    bob[kBviWord] = 0;
    Sleep(1);
    dma->Trigger(1);
    if (auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice())) board->GetMainRegisters()[1] = 0xFF;
    Sleep(1);
    // The strobe, then the DCB enable: two separate writes.
    const RegisterRef control = dmac[static_cast<int>(kChannel)];
    control = 0x80;
    control = 1;
    return 1;
}
