// CWexalBoardIF: device selection, space look-ups, the SDRAM write/read-back compare and the DMA channel mask.
#include "framework/board_if.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "devlib/arg_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/pattern_generators.h"
#include "framework/result_screen.h"
#include "framework/test_base.h"

namespace {

constexpr int kDotEvery = 16384;  // words per progress dot
constexpr int kRingSlots = 8;
constexpr int kDumpSlots = 128;
// Expected words are generated this many at a time for the read-back: large enough that the
// generator's per-call start-up is lost in the noise, small enough to stay in the cache levels.
constexpr size_t kCompareChunk = size_t{1} << 18;

CString Blanks(int n) { return n > 0 ? CString(' ', n) : CString(); }

void ApplyMask(DWORD* words, size_t count, DWORD mask) {
    if (mask == 0xFFFFFFFF) return;
    for (size_t i = 0; i < count; ++i) words[i] &= mask;
}

// What the read-back keeps of the wrong words for the report.
struct CompareRecord {
    DWORD expected[kDumpSlots] = {};
    DWORD actual[kDumpSlots] = {};
    long long errors = 0;
    long long firstError = -1;
    long long lastError = -1;
    long long groupStart = 0;
    int filled = 0;          // slots in use from groupStart on
    int lastRecorded = 0;    // slot of the last wrong word that got one

    // Word i of the range, which may or may not be wrong. Before the first error only the ring of
    // the current 8-word group matters; callers hand those words in when the first error shows.
    void Take(long long i, DWORD exp, DWORD act) {
        const bool wrong = exp != act;
        if (errors == 0) {
            if (!wrong) {
                expected[i % kRingSlots] = exp;
                actual[i % kRingSlots] = act;
                return;
            }
            const int slot = static_cast<int>(i % kRingSlots);
            expected[slot] = exp;
            actual[slot] = act;
            firstError = lastError = i;
            groupStart = i - slot;
            filled = slot + 1;
            lastRecorded = slot;
            errors = 1;
            return;
        }
        if (filled < kDumpSlots) {
            expected[filled] = exp;
            actual[filled] = act;
            if (wrong) lastRecorded = filled;
            ++filled;
        }
        if (wrong) {
            ++errors;
            lastError = i;
        }
    }
};

}  // namespace

void CWexalBoardIF::SetOwner(CTestBase* owner) {
    m_owner = owner;
    m_quiet = TRUE;
}

int CWexalBoardIF::Clear() {
    m_device = nullptr;
    m_sdram = nullptr;
    m_lastSpace = nullptr;
    m_registerSpace = nullptr;
    m_registers = nullptr;
    m_mainRegisters = nullptr;
    m_codecRegisters = nullptr;
    return 0;
}

void CWexalBoardIF::Copy(const CWexalBoardIF* source) {
    if (source == this) return;
    Clear();
    if (!source) return;
    m_device = source->m_device;
    m_sdram = source->m_sdram;
    m_lastSpace = source->m_lastSpace;
    m_registerSpace = source->m_registerSpace;
    m_bar0 = source->m_bar0;
    m_registers = source->m_registers;
    if (m_registers) SetBoardKindPointers();
}

BOOL CWexalBoardIF::SetVerbose(BOOL verbose) {
    m_quiet = !verbose;
    if (!m_owner) {
        m_quiet = TRUE;
        return verbose ? FALSE : TRUE;
    }
    return TRUE;
}

void CWexalBoardIF::Print(const CString& text) {
    if (!m_quiet && m_owner) m_owner->Print(text);
}

void CWexalBoardIF::PrintColor(const CString& text, COLORREF colour) {
    if (!m_quiet && m_owner) m_owner->PrintColor(text, colour);
}

void CWexalBoardIF::PrintCompare(const char* headerFormat, const char* addressFormat, DWORD base, DWORD step,
                                 int perLine, int count, const DWORD* expected, const DWORD* actual) {
    if (!m_quiet && m_owner) m_owner->PrintCompare(headerFormat, addressFormat, base, step, perLine, count, expected, actual);
}

void CWexalBoardIF::SetBoardKindPointers() {
    if (!m_device) return;
    if (m_device->GetType() == CZorvDevice::DEVTYPE_BRIMOLA) m_mainRegisters = m_registers;
    else if (m_device->GetType() == CZorvDevice::DEVTYPE_NUXA) m_codecRegisters = m_registers;
}

DWORD CWexalBoardIF::ParseDevice(ArgumentList* list, int index, BOOL verbose) {
    if (!list) {
        PrintColor("CWexalBoardIF::ParseDevice\n  pal is NULL\n", kColorRed);
        return kRunFailed;
    }
    Clear();
    if (!SetVerbose(verbose)) return kRunFailed;
    const char* word = index >= 0 ? list->Index(index) : nullptr;
    if (!word) {
        CString text;
        text.Format("Device name (parameter %d) missing from command line.\n", index + 1);
        PrintColor(text, kColorRed);
        return kRunFailed;
    }
    return SelectDevice(word, verbose);
}

DWORD CWexalBoardIF::SelectDevice(const char* name, BOOL) {
    if (!name) {
        PrintColor("CWexalBoardIF::ParseDevice\n  pszDevice is NULL\n", kColorRed);
        return kRunFailed;
    }
    CHostPCDevice* root = GetZorvHardware();
    CZorvDevice* device = root ? root->GetDevice(name) : nullptr;
    CString text;
    if (!device) {
        text.Format("CWexalBoardIF::ParseDevice\n  Selected device (%s) has not been found.\n", name);
        PrintColor(text, kColorRed);
        return kRunFailed;
    }
    const int type = device->GetType();
    if (type != CZorvDevice::DEVTYPE_BRIMOLA && type != CZorvDevice::DEVTYPE_NUXA) {
        text.Format("CWexalBoardIF::ParseDevice\n  Selected device (%s) is not valid for this test.\n", name);
        PrintColor(text, kColorRed);
        m_device = nullptr;
        return kRunFailed;
    }
    m_device = device;
    return kRunPassed;
}

DWORD CWexalBoardIF::GetSpace(CDevAddrSpace::SPACETYPE type, BOOL verbose) {
    m_lastSpace = nullptr;
    m_registerSpace = nullptr;
    if (!SetVerbose(verbose) || !m_device) return kRunFailed;
    m_lastSpace = m_device->GetSpace(type, 0);
    if (!m_lastSpace) {
        PrintColor("There is no \"" + CDevAddrSpace::EncodeType(type) + "\" space available for this device.", kColorRed);
        return kRunFailed;
    }
    if (m_lastSpace->AreSymbolsAvailable()) m_registerSpace = m_lastSpace;
    return kRunPassed;
}

DWORD CWexalBoardIF::GetBAR0(BOOL verbose) {
    m_registers = nullptr;
    m_mainRegisters = nullptr;
    m_codecRegisters = nullptr;
    m_bar0 = nullptr;
    if (!SetVerbose(verbose) || !m_device) return kRunFailed;
    const DWORD found = GetSpace(CDevAddrSpace::SPACE_BAR0, verbose);
    if (found != kRunPassed) return found;
    m_bar0 = m_lastSpace;
    // The register window stands where the original mapped BAR0 for direct writes.
    m_registers = m_bar0->GetRegisterPointer(0, kBar0MapBytes);
    if (!m_registers) {
        PrintColor("Unable to find a memory mapping for BAR0 (Wexal Registers)", kColorRed);
        return kRunFailed;
    }
    SetBoardKindPointers();
    return kRunPassed;
}

DWORD CWexalBoardIF::GetSDRAM(BOOL verbose) {
    m_sdram = nullptr;
    if (!SetVerbose(verbose) || !m_device) return kRunFailed;
    const DWORD found = GetSpace(CDevAddrSpace::SPACE_SDRAM, TRUE);
    if (found == kRunPassed) m_sdram = m_lastSpace;
    return found;
}

CWexalSDRAMSpace* CWexalBoardIF::GetWexalSDRAMSpace() const { return dynamic_cast<CWexalSDRAMSpace*>(m_sdram); }

CWexalBAR0Space* CWexalBoardIF::GetWexalBAR0Space() const { return dynamic_cast<CWexalBAR0Space*>(m_bar0); }

DWORD CWexalBoardIF::CompareSDRAM(DWORD address, int count, DataPatternGenerator* generator, DWORD mask,
                                  const char* writeLabel, const char* readLabel, BOOL verbose) {
    if (!SetVerbose(verbose)) return kRunFailed;
    if (!writeLabel && !readLabel) return kRunPassed;
    if (!m_device || !generator) {
        Print(m_device ? "~*BLACK*~Error: ~*RED*~No pattern generator for the SDRAM compare.~*BLACK*~\n"
                       : "~*BLACK*~Error: ~*RED*~No device selected for the SDRAM compare.~*BLACK*~\n");
        return kRunFailed;
    }
    // Words are reached in place, so the range must start on a word; say so rather than blame the mapping.
    if (address & 3) {
        CString text;
        text.Format("~*BLACK*~Error: ~*RED*~SDRAM address 0x%6.6X is not on a DWORD boundary.~*BLACK*~\n", address);
        Print(text);
        return kRunFailed;
    }
    const uint64_t saved = generator->SetValue(0);
    generator->SetValue(saved);

    int pad = 0;  // > 0: the read label is the shorter one
    if (writeLabel && readLabel)
        pad = std::clamp(static_cast<int>(std::strlen(writeLabel)) - static_cast<int>(std::strlen(readLabel)), -10, 10);

    // The memory the board holds itself, as the hardware tests reach it.
    auto* board = dynamic_cast<CWexalBoardDevice*>(m_device);
    CWexalSDRAMSpace* space = board ? board->GetSDRAMSpace() : nullptr;
    const uint64_t bytes = 4 * static_cast<uint64_t>(count);
    const bool mappable = space && count >= 0 && bytes <= 0xFFFFFFFFull;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    CString text;

    if (writeLabel) {
        auto* out = mappable ? static_cast<DWORD*>(space->GetWrPointer(address, static_cast<DWORD>(bytes))) : nullptr;
        if (!out) {
            text.Format("~*BLACK*~Error: ~*RED*~Failed on attempt to get write access to\n SDRAM.~*BLACK*~  Address: 0x%6.6X  DWORD size: 0x%6.6X.\n",
                        address, static_cast<DWORD>(count));
            Print(text);
            return kRunFailed;
        }
        PrintColor(Blanks(-pad) + writeLabel, kColorBlack);
        generator->Fill(out, n);
        ApplyMask(out, n, mask);
        for (size_t d = 0; d < n / kDotEvery; ++d) PrintColor(".", kColorBlack);
        PrintColor("\n", kColorBlack);
    }

    if (!readLabel) return kRunPassed;
    auto* in = mappable ? static_cast<const DWORD*>(space->GetRdPointer(address, static_cast<DWORD>(bytes))) : nullptr;
    if (!in) {
        text.Format("~*BLACK*~Error: ~*RED*~Failed on attempt to get read access to\n SDRAM.~*BLACK*~  Address: 0x%6.6X  DWORD size: 0x%6.6X.\n",
                    address, static_cast<DWORD>(count));
        Print(text);
        return kRunFailed;
    }
    PrintColor(Blanks(pad) + readLabel, kColorBlack);
    generator->SetValue(saved);

    auto record = std::make_unique<CompareRecord>();
    std::unique_ptr<DWORD[]> expected(new DWORD[std::min(n, kCompareChunk) + 1]);
    for (size_t base = 0; base < n; base += kCompareChunk) {
        const size_t len = std::min(kCompareChunk, n - base);
        generator->Fill(expected.get(), len);
        ApplyMask(expected.get(), len, mask);
        const DWORD* actual = in + base;
        size_t i = 0;
        while (i < len) {
            // Equal runs are skipped whole unless the dump is still collecting words after an error.
            if (record->errors == 0 || record->filled >= kDumpSlots) {
                const size_t run = std::min<size_t>(kRingSlots * 64, len - i);
                if (std::memcmp(expected.get() + i, actual + i, run * 4) == 0) {
                    i += run;
                    continue;
                }
                // The ring holds the words of the current group before the first error.
                const size_t end = i + run;
                for (; i < end; ++i) {
                    const long long index = static_cast<long long>(base + i);
                    if (record->errors == 0 && expected[i] != actual[i]) {
                        for (size_t g = i - (static_cast<size_t>(index) % kRingSlots); g < i; ++g)
                            record->Take(static_cast<long long>(base + g), expected[g], actual[g]);
                    }
                    if (record->errors != 0 || expected[i] != actual[i]) record->Take(index, expected[i], actual[i]);
                }
                continue;
            }
            record->Take(static_cast<long long>(base + i), expected[i], actual[i]);
            ++i;
        }
    }
    for (size_t d = 0; d < n / kDotEvery; ++d) PrintColor(".", kColorBlack);
    PrintColor("\n", kColorBlack);

    if (record->errors == 0) return kRunPassed;

    const int shown = std::min(record->filled, (record->lastRecorded + 12) / 4 * 4);
    const bool wrote = writeLabel != nullptr;
    text.Format("~*BLACK*~Error: %d DWORDs were %s to SDRAM, address range %6.6X to %6.6X.\n On reading them%s, ~*RED*~%d~*BLACK*~ were found to be incorrect.\n",
                count, wrote ? "written" : "checked in", address, static_cast<DWORD>(address + bytes), wrote ? " back" : "",
                static_cast<int>(record->errors));
    Print(text);
    const DWORD dumpBase = static_cast<DWORD>(address + 4 * record->groupStart);
    PrintCompare("  SDRAM  %sExpected%s  %s.Actual.%s\n", " %6.6X ", dumpBase, 4, 8, shown, record->expected, record->actual);
    if (record->groupStart + shown < record->lastError) {
        text.Format("~*BLACK*~ %6.6X  ...\nErroneous words were found within this address range: ~*RED*~%6.6X~*BLACK*~ to ~*RED*~%6.6X~*BLACK*~\n",
                    static_cast<DWORD>(dumpBase + 4 * shown), static_cast<DWORD>(address + 4 * record->firstError),
                    static_cast<DWORD>(address + 4 * record->lastError));
        Print(text);
    }
    return kRunFailed;
}

BOOL CWexalBoardIF::IsChannelPresent(int channel) const {
    if (channel < 0 || channel > 63) return FALSE;
    const RegisterPtr regs = m_codecRegisters ? m_codecRegisters : m_mainRegisters;
    if (!regs) return FALSE;
    const DWORD revision = regs[kRevisionRegister / 4] & 0xFFF;
    const DWORD maskWord = regs[(channel < 32 ? kChannelMaskLow : kChannelMaskHigh) / 4];
    return (maskWord & (DWORD{1} << (channel % 32))) != 0 && revision > 0x47;
}
