// BCU and DCB register pattern tests: the passes, the revision masks, the fault records and the help texts.
#include "boards/dma/bcu_dcb_rw.h"

#include <cctype>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"

namespace {

struct Pass {
    const char* announcement;
    DWORD start;
    DWORD step;
};
// Four constant patterns, then one that differs from unit to unit (so aliased units show).
constexpr Pass kPasses[] = {{"Testing with pattern 0x00000000...", 0x00000000, 0},
                            {"Testing with pattern 0xFFFFFFFF...", 0xFFFFFFFF, 0},
                            {"Testing with pattern 0xAAAAAAAA...", 0xAAAAAAAA, 0},
                            {"Testing with pattern 0x55555555...", 0x55555555, 0},
                            {"Testing with varying pattern...", 0xFFFF0000, 0xFDFF0301}};

// The faults of one pass: the first `shown` are printed as they are found; beyond that only the
// last one closes the list, after a note when some were left out between.
template <class Record>
class FaultList {
public:
    explicit FaultList(int shown) : m_shown(shown) {}

    void Add(CTestBase* test, const Record& record) {
        if (++m_count == 1) test->PrintColor("Fault\n", kColorRed);
        if (m_count <= m_shown) record.Print(test);
        m_last = record;
    }
    int Count() const { return m_count; }
    // Closes the list, then the pass's verdict: "Okay" in okColour, "Interrupted" when stopped
    // before any fault, else the count of failing units.
    void Finish(CTestBase* test, const char* units, int checked, bool stopped, COLORREF okColour) const {
        if (m_count > m_shown) {
            if (m_count > m_shown + 1) test->PrintColor(" ... Additional faults not detailed ...\n", kColorRed);
            m_last.Print(test);
        }
        if (!m_count)
            test->PrintColor(stopped ? "Interrupted\n" : "Okay\n", stopped ? kColorRed : okColour);
        else
            test->PrintColorFormat(kColorRed, " Total failing %s: %d of %d\n\n", units, m_count, checked);
    }

private:
    int m_shown;
    int m_count = 0;
    Record m_last;
};

// From this firmware revision every BCU and DCB bit is implemented (and BCU register 1 is gone).
constexpr DWORD kFullProfile = 0xC70;

struct BcuMaskRow {
    DWORD from, to;
    DWORD masks[4];
};
constexpr BcuMaskRow kBcuMasks[] = {{0x0, 0xC6F, {0xFFFF0FFF, 0x003F0FFF, 0x0FFF0FFF, 0x003F0FFF}},
                                    {0xC70, 0xFFFFFFFF, {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF, 0xFFFFFFFF}}};
constexpr DWORD kBcuDefaultMasks[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

constexpr DWORD kDcbFullMasks[8] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0};
constexpr DWORD kDcbDataMasks[8] = {0xFFFF7FFF, 0x0FFF03FF, 0x3FFFFFFC, 0x3FFFFFFF, 0xFFFFFFFF, 0, 0, 0};
constexpr DWORD kDcbAddressMasks[8] = {0xFFFF7FFF, 0x0FFF03FF, 0x3FFFFFFC, 0x3FFFFFFF,
                                       0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

bool Stopped() { return *g_StopFlag() != 0; }
bool Present(int channel) { return g_DMAChannelTable[channel].present != 0; }

}  // namespace

DWORD DescriptorMaskRevision(const CString& revision) {
    const std::string text = revision.str();
    if (text.empty() || text.size() > 8) return 0;
    DWORD value = 0;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return 0;
        value = value << 4 | static_cast<DWORD>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10));
    }
    return value;
}

void BCUCompareRecord::Set(int bcu, const DWORD* masks, DWORD pattern, RegisterPtr registers) {
    m_bcu = bcu;
    for (int r = 0; r < kWords; ++r) {
        m_expected[r] = masks ? masks[r] & pattern : pattern;
        m_actual[r] = registers[r];
    }
}

BOOL BCUCompareRecord::Matches() const {
    for (int r = 0; r < kWords; ++r)
        if (m_expected[r] != m_actual[r]) return FALSE;
    return TRUE;
}

void BCUCompareRecord::Print(CTestBase* out) const {
    out->PrintColorFormat(kColorRed, " BCU #%d; BAR0+%5.5X\n", m_bcu, C_BCU_RW::kWindow + 16 * static_cast<DWORD>(m_bcu));
    out->PrintCompareDwords(kWords, m_expected, m_actual);
}

void DCBCompareRecord::Set(int dcb, const DWORD* masks, DWORD pattern, RegisterPtr words) {
    m_dcb = dcb;
    m_count = kWords;
    if (masks) {
        m_count = 0;
        for (int k = 0; k < kWords; ++k)
            if (masks[k]) m_count = k + 1;
    }
    for (int k = 0; k < kWords; ++k) {
        m_expected[k] = masks ? masks[k] & pattern : pattern;
        m_actual[k] = words[k];
        if (masks && !masks[k]) m_actual[k] = 0;
    }
}

BOOL DCBCompareRecord::Matches() const {
    for (int k = 0; k < m_count; ++k)
        if (m_expected[k] != m_actual[k]) return FALSE;
    return TRUE;
}

void DCBCompareRecord::Print(CTestBase* out) const {
    out->PrintColorFormat(kColorRed, " Channel: %d;  DCB #%d; BAR0+%5.5X\n", m_dcb / 16, m_dcb % 16,
                          C_DCB_RW::kWindow + 32 * static_cast<DWORD>(m_dcb));
    out->PrintCompareDwords(m_count, m_expected, m_actual);
}

DWORD C_BCU_RW::Run(CString arguments) {
    m_totalFailures = 0;
    PrintHeader(arguments, "");
    if (Stopped()) return kRunStopped;
    const RegisterPtr bar0 = GetBoardIF().GetRegisters();
    m_channels.Clear();
    m_bcuWindow = bar0 ? bar0 + kWindow / 4 : RegisterPtr();
    m_channels.Init(bar0 ? bar0 + CDMAControlChannels::kControlBase / 4 : RegisterPtr(), RegisterPtr());
    m_channels.DisableAll(this);
    RunPasses(0);
    PrintColor("Zeroing all BCUs\n", kColorBlack);
    if (m_bcuWindow)
        for (int n = 0; n < kUnits; ++n) BufferControlUnit(m_bcuWindow + 4 * n).Clear();
    m_channels.RestoreAll(this);
    return static_cast<DWORD>(m_result);
}

void C_BCU_RW::RunPasses(int) {
    m_result = kRunPassed;
    for (const Pass& pass : kPasses) {
        PrintColor(pass.announcement, kColorBlack);
        const int result = RunPass(pass.start, pass.step);
        if (result == kRunFailed) m_result = kRunFailed;  // also a board without BCUs
        if (result == kRunStopped) break;
    }
}

int C_BCU_RW::RunPass(DWORD start, DWORD step) {
    if (!m_bcuWindow) {
        PrintColor("Error: No BCU on this device.\n", kColorRed);
        return kRunFailed;
    }
    DWORD pattern = start;
    for (int n = 0; n < kUnits; ++n) {
        pattern += step;
        for (int r = 0; r < BCUCompareRecord::kWords; ++r) m_bcuWindow[4 * n + r] = pattern;
    }
    pattern = start;
    const DWORD* masks = GetMasks();
    int checked = 0;
    bool stopped = false;
    BCUCompareRecord record;
    FaultList<BCUCompareRecord> faults(7);
    for (int n = 0; n < kUnits; ++n) {
        if (Stopped()) {
            stopped = true;
            break;
        }
        pattern += step;
        ++checked;
        record.Set(n, masks, pattern, m_bcuWindow + 4 * n);
        if (record.Matches()) continue;
        ++m_totalFailures;
        m_result = kRunFailed;
        faults.Add(this, record);
    }
    faults.Finish(this, "BCUs", checked, stopped, kColorGreen);
    if (stopped) {
        if (m_result != kRunFailed) m_result = kRunStopped;
        return kRunStopped;
    }
    return faults.Count() ? kRunFailed : kRunPassed;
}

const DWORD* C_BCU_RW_Active::GetMasks() {
    const DWORD revision = DescriptorMaskRevision(GetFlashRevision());
    for (const BcuMaskRow& row : kBcuMasks)
        if (revision >= row.from && revision <= row.to) return row.masks;
    return kBcuDefaultMasks;
}

void C_BCU_RW_Active::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

void C_BCU_RW_Active::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor("This test is intended to check the Active regions of the BCU\naddress space.\n", kColorBlack);
    PrintRule(72, 0, kColorGreen);
}

DWORD C_DCB_RW::Run(CString arguments) {
    m_totalFailures = 0;
    m_result = kRunPassed;
    PrintHeader(arguments, "");
    if (Stopped()) return kRunStopped;
    const RegisterPtr bar0 = GetBoardIF().GetRegisters();
    m_channels.Clear();
    if (bar0) m_channels.Init(bar0 + CDMAControlChannels::kControlBase / 4, bar0 + kWindow / 4);
    m_channels.DisableAll(this);
    for (const Pass& pass : kPasses) {
        PrintColor(pass.announcement, kColorBlack);
        const int result = RunPass(pass.start, pass.step);
        if (result != kRunPassed) m_result = kRunFailed;  // a stopped pass fails the run too
        if (result == kRunStopped) break;
    }
    const RegisterPtr window = m_channels.GetDCBWindow();
    PrintColor("Zeroing all DCBs\n", kColorBlack);
    // A channel the disabler could not stop may be running on its DCBs: leave them alone.
    for (int c = 0; window && c < kDMAChannelCount; ++c)
        if (Present(c) && m_channels.IsReady(c))
            for (int w = 0; w < 16 * DCBCompareRecord::kWords; ++w) window[c * 128 + w] = 0;
    PrintColor("Flushing all DCBs\n", kColorBlack);
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    for (int c = 0; window && board && c < kDMAChannelCount; ++c)
        if (Present(c)) board->GetDMAChannel(c)->Flush();
    m_channels.RestoreAll(this);
    return static_cast<DWORD>(m_result);
}

int C_DCB_RW::RunPass(DWORD start, DWORD step) {
    const RegisterPtr window = m_channels.GetDCBWindow();
    if (!window) {
        PrintColor("Error: No DCB on this device.\n", kColorRed);
        return kRunFailed;
    }
    // Every DCB of a present channel takes the next pattern, so the values do not depend on which
    // channels the disabler could stop.
    DWORD pattern = start;
    for (int i = 0; i < kUnits; ++i) {
        if (!Present(i / 16)) continue;
        pattern += step;
        if (m_channels.IsReady(i / 16))
            for (int k = 0; k < DCBCompareRecord::kWords; ++k) window[8 * i + k] = pattern;
    }
    pattern = start;
    int checked = 0;
    bool stopped = false;
    DCBCompareRecord record;
    FaultList<DCBCompareRecord> faults(4);
    for (int c = 0; c < kDMAChannelCount && !stopped; ++c) {
        if (Stopped()) {
            stopped = true;
            break;
        }
        if (!Present(c)) continue;
        for (int d = 0; d < 16; ++d) {
            const int i = 16 * c + d;
            pattern += step;
            if (!m_channels.IsReady(c)) continue;
            ++checked;
            record.Set(i, GetMasks(c, i), pattern, window + 8 * i);
            if (record.Matches()) continue;
            ++m_totalFailures;
            m_result = kRunFailed;
            faults.Add(this, record);
            if (Stopped()) {
                stopped = true;
                break;
            }
        }
    }
    faults.Finish(this, "DCBs", checked, stopped, kColorBlack);
    if (stopped) return kRunStopped;
    return faults.Count() ? kRunFailed : kRunPassed;
}

void C_DCB_RW::ShowHelp() {
    PrintColor(" This test disables all DCB activity, writes a test pattern to\neach of the 1024 DCB's, reads the test "
               "patterns back and checks\nthem, repeats this write/read cycle with additional test\npatterns, then zeroes "
               "all DCB's and restores DCB activity.\n The test patterns use are:\n  1) All zeroes.\n  2) All "
               "0xFFFFFFFF.\n  3) All 0xAAAAAAAA.\n  4) All 0x55555555.\n  5) A varying pattern which is different for "
               "each DCB.\n",
               kColorBlack);
}

const DWORD* C_DCB_RW_Active::GetMasks(int channel, int) {
    if (channel < 0 || channel >= kDMAChannelCount) return nullptr;
    if (DescriptorMaskRevision(GetFlashRevision()) >= kFullProfile) return kDcbFullMasks;
    switch (g_DMAChannelTable[channel].kind) {
    case 0: return kDcbDataMasks;
    case 1: return kDcbAddressMasks;
    default: return nullptr;
    }
}

void C_DCB_RW_Active::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

void C_DCB_RW_Active::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor("Test: DCBactive\n", kColorBlack);
    C_DCB_RW::ShowHelp();
    PrintColor("\n This is the \"Active\" DCB R/W test in the sense that only\nbits in the DCB structure which are "
               "actually used are tested.\n The unused bits should always read back zero and this test\nexpects "
               "zeroes in those locations and passes or fails the test\naccordingly.\n",
               kColorBlack);
    PrintRule(72, 0, kColorGreen);
}
