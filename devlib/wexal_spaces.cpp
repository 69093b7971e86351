// BAR0 (with its product data) and SDRAM spaces of a Wexal board.
#include "devlib/wexal_spaces.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "devlib/perf_list.h"
#include "platform/clock.h"
#include "sim/channel_table.h"
#include "sim/sdram.h"

namespace {

// BAR0 register symbols. "DMACRB" holds one 512-byte register block per named DMA channel.
struct Bar0Symbols {
    CPPVarDesc channels[sim::kChannels];
    CPPVarDesc top[6];
    int channelCount = 0;

    Bar0Symbols() {
        for (int c = 0; c < sim::kChannels; ++c) {
            const auto& info = sim::ChannelAt(c);
            if (std::strcmp(info.name, "unused") == 0) continue;
            channels[channelCount++] = {info.name, 0x60000u + 0x200u * static_cast<DWORD>(c), 0x200, 0, nullptr};
        }
        top[0] = {"VPD", 0x2000, 0x400, 0, nullptr};
        top[1] = {"JASTEL", 0x4000, 0x20, 0, nullptr};
        top[2] = {"WEXAL", 0x40000, 0x10000, 0, nullptr};
        top[3] = {"DMACTRL", 0x58000, 0x8000, 0, nullptr};
        top[4] = {"DMACRB", 0x60000, 0x8000, channelCount, channels};
        top[5] = {"BCU", 0x70000, 0x2000, 0, nullptr};
    }
};

const Bar0Symbols& Symbols() {
    static const Bar0Symbols symbols;
    return symbols;
}

}  // namespace

void PCI_VPD::Reset() {
    m_prom = 0;
    m_valid = FALSE;
    m_idOffset = m_idLength = m_roOffset = m_roLength = m_endOffset = m_size = m_reserved = 0;
}

PCI_VPD::ErrorCode PCI_VPD::Parse(const BYTE* image, DWORD size) {
    Reset();
    if (!image || size < 8) return VPD_BAD_ARGUMENT;
    // Large resources: tag, 16-bit length, data. The identifier string comes first, then the read-only fields.
    auto large = [&](DWORD at, BYTE tag, DWORD& offset, DWORD& length) {
        if (at + 3 > size || image[at] != tag) return false;
        length = image[at + 1] | DWORD{image[at + 2]} << 8;
        offset = at + 3;
        return offset + length <= size;
    };
    if (!large(0, 0x82, m_idOffset, m_idLength)) return VPD_BAD_FORMAT;
    if (!large(m_idOffset + m_idLength, 0x90, m_roOffset, m_roLength)) return VPD_BAD_FORMAT;
    m_endOffset = m_roOffset + m_roLength;
    if (m_endOffset + 1 >= size || image[m_endOffset] != 0x79) return VPD_BAD_FORMAT;
    BYTE sum = 0;
    for (DWORD i = 0; i <= m_endOffset + 1; ++i) sum = static_cast<BYTE>(sum + image[i]);
    if (sum != 0) return VPD_BAD_CHECKSUM;
    m_size = size;
    m_valid = TRUE;
    return VPD_OK;
}

PCI_VPD::ErrorCode PCI_VPD::Find(const BYTE* image, const char* key, DWORD* offset, DWORD* length) const {
    if (!m_valid) return VPD_BAD_FORMAT;
    if (!key || std::strlen(key) != 2) return VPD_BAD_ARGUMENT;
    DWORD at = m_roOffset;
    const DWORD end = m_roOffset + m_roLength;
    while (at + 3 <= end) {
        const DWORD len = image[at + 2];
        if (at + 3 + len > end) return VPD_BAD_FORMAT;
        if (image[at] == static_cast<BYTE>(key[0]) && image[at + 1] == static_cast<BYTE>(key[1])) {
            *offset = at + 3;
            *length = len;
            return VPD_OK;
        }
        at += 3 + len;
    }
    return VPD_KEY_NOT_FOUND;
}

BOOL CWexalBAR0Space::GetPhysAddress(DWORD address, DWORD* out) {
    const BOOL mapped = m_busAddress != 0 && address < kWindowBytes;
    if (out) *out = mapped ? m_busAddress + address : 0xFFFFFFFF;
    return mapped;
}

CWexalBAR0Space::CWexalBAR0Space(const char* name, CRegisterWindow* window)
    : CDevRegSpace(SPACE_BAR0, name, "Wexal FPGA registers (BAR0)", kWindowBytes, PMD_AccessInfo{1, 4, 4, 4, 1}),
      m_window(window) {
    SetSymbolTable(Symbols().top, 6);
}

int CWexalBAR0Space::Set(const void* buffer, DWORD address, int count) {
    if (!m_window || !buffer || count <= 0 || (address & 3) || (count & 3) || address >= kWindowBytes) return 0;
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(count), kWindowBytes - address) / 4;
    const BYTE* in = static_cast<const BYTE*>(buffer);
    for (DWORD i = 0; i < n; ++i) {
        DWORD v;
        std::memcpy(&v, in + 4 * i, 4);
        m_window->Write(address + 4 * i, v);
    }
    return static_cast<int>(4 * n);
}

int CWexalBAR0Space::Get(void* buffer, DWORD address, int count) {
    if (!m_window || !buffer || count <= 0 || (address & 3) || (count & 3) || address >= kWindowBytes) return 0;
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(count), kWindowBytes - address) / 4;
    BYTE* out = static_cast<BYTE*>(buffer);
    for (DWORD i = 0; i < n; ++i) {
        const DWORD v = m_window->Read(address + 4 * i);
        std::memcpy(out + 4 * i, &v, 4);
    }
    return static_cast<int>(4 * n);
}

RegisterPtr CWexalBAR0Space::GetRegisterPointer(DWORD offset, DWORD length) {
    if (!m_window || offset > kWindowBytes || length > kWindowBytes - offset) return nullptr;
    return RegisterPtr(m_window, offset);
}

PCI_VPD::ErrorCode CWexalBAR0Space::GetVPDField(const char* key, int size, char* buffer, int* length) {
    if (length) *length = 0;
    if (!key || size < 0 || (size > 0 && !buffer)) return PCI_VPD::VPD_BAD_ARGUMENT;
    BYTE image[kVpdBytes];
    if (Get(image, kVpdOffset, static_cast<int>(kVpdBytes)) != static_cast<int>(kVpdBytes)) return PCI_VPD::VPD_BAD_FORMAT;
    PCI_VPD::ErrorCode rc = m_vpd.Parse(image, kVpdBytes);
    if (rc != PCI_VPD::VPD_OK) return rc;
    DWORD offset = 0, len = 0;
    rc = m_vpd.Find(image, key, &offset, &len);
    if (rc != PCI_VPD::VPD_OK) return rc;
    if (length) *length = static_cast<int>(len);
    if (size > 0) std::memcpy(buffer, image + offset, std::min<DWORD>(len, static_cast<DWORD>(size)));
    return PCI_VPD::VPD_OK;
}

CWexalSDRAMSpace::CWexalSDRAMSpace(const char* name, sim::SdramModel* sdram)
    : CDevAddrSpace(SPACE_SDRAM, name, "Wexal SDRAM", sdram ? static_cast<DWORD>(sdram->Size()) : 0, PMD_AccessInfo{1, 4, 4, 1, 1}),
      m_sdram(sdram) {}

void* CWexalSDRAMSpace::GetRdPointer(DWORD address, DWORD length) { return GetSDRAMPointer(KWO_RAMWIN_1, address, length); }
void* CWexalSDRAMSpace::GetWrPointer(DWORD address, DWORD length) { return GetSDRAMPointer(KWO_RAMWIN_1, address, length); }

int CWexalSDRAMSpace::Set(const void* buffer, DWORD address, int count) {
    if (!m_sdram || !buffer || count <= 0) return 0;
    return static_cast<int>(m_sdram->Write(address, buffer, static_cast<size_t>(std::min(count, kMaxTransfer))));
}

int CWexalSDRAMSpace::Get(void* buffer, DWORD address, int count) {
    if (!m_sdram || !buffer || count <= 0) return 0;
    return static_cast<int>(m_sdram->Read(address, buffer, static_cast<size_t>(std::min(count, kMaxTransfer))));
}

void* CWexalSDRAMSpace::GetSDRAMPointer(KWO_RAMWINTYPE window, DWORD address, DWORD length) {
    if (!m_sdram || (window != KWO_RAMWIN_1 && window != KWO_RAMWIN_2)) return nullptr;
    return m_sdram->Map(address, length);
}

const void* CWexalSDRAMSpace::GetReadView(DWORD address, DWORD length) {
    return m_sdram ? m_sdram->ReadView(address, length) : nullptr;
}

BOOL CWexalSDRAMSpace::HoldsInPlace(DWORD address, const void* want, DWORD length) {
    const void* view = want ? GetReadView(address, length) : nullptr;
    return view && std::memcmp(view, want, length) == 0;
}

BOOL CWexalSDRAMSpace::FlushSDRAM(DWORD) {
    if (!m_sdram) return FALSE;
    m_sdram->Commit();
    return TRUE;
}

namespace {

constexpr DWORD kDcbArea = 0x60000, kTriggerArea = 0x58200, kFlushArea = 0x58400;

DWORD DcbWord(CRegisterWindow* w, int channel, int dcb, int word) {
    return w->Read(kDcbArea + 0x200u * static_cast<DWORD>(channel) + 0x20u * static_cast<DWORD>(dcb) + 4u * static_cast<DWORD>(word));
}

DWORD Units(DWORD geometry, DWORD lineWord) { return (geometry & 0xFFFF) + (geometry >> 16) * (lineWord & 0xFFFF); }

// Where a channel's chain from DCB 1 stands: finished, and bytes moved. The live context (DCB 0)
// shows the DCB being worked on with its remaining units; it shows the last DCB's tag with no
// units left once the chain is done.
struct ChainState {
    bool done = false;
    DWORD moved = 0;
};

ChainState Follow(CRegisterWindow* w, int channel) {
    const DWORD live[5] = {DcbWord(w, channel, 0, 0), DcbWord(w, channel, 0, 1), DcbWord(w, channel, 0, 2),
                           DcbWord(w, channel, 0, 3), DcbWord(w, channel, 0, 4)};
    ChainState st;
    DWORD before = 0;
    DWORD seen = 0;
    for (int d = 1; d > 0 && d < 16 && !(seen & (1u << d)); d = static_cast<int>(DcbWord(w, channel, d, 0) & 0x3F)) {
        seen |= 1u << d;
        const DWORD units = Units(DcbWord(w, channel, d, 3), DcbWord(w, channel, d, 4));
        const bool last = (DcbWord(w, channel, d, 0) & 0x3F) == 0;
        if (live[0] == DcbWord(w, channel, d, 0) && live[2] == DcbWord(w, channel, d, 2)) {
            const DWORD remaining = Units(live[3], live[4]);
            st.moved = 4 * (before + (units > remaining ? units - remaining : 0));
            st.done = last && live[3] == 0 && ((live[1] ^ DcbWord(w, channel, d, 1)) & 0x0FFF0000) == 0;
            return st;
        }
        before += units;
    }
    return st;  // not started, or the context shows none of the chain's DCBs
}

}  // namespace

BOOL CWexalBAR0Space::TripDCBs(Wexal_TrackDCB* records) {
    if (!m_window || !records) return FALSE;
    for (Wexal_TrackDCB* r = records; r->name; ++r) {
        r->progress = r->start;
        if (r->channel >= 0 && r->channel < 64) m_window->Write(kTriggerArea + 4u * static_cast<DWORD>(r->channel), 1);
    }
    CPerformanceList timer;
    timer.SetMilliTimeout(kTripTimeoutMs);
    for (;;) {
        bool all = true;
        for (Wexal_TrackDCB* r = records; r->name; ++r) {
            if (r->channel < 0 || r->channel >= 64) {
                all = false;
                continue;
            }
            const ChainState st = Follow(m_window, r->channel);
            r->progress = r->start + st.moved;
            all = all && st.done;
        }
        if (all) return TRUE;
        if (timer.IsTimeout()) return FALSE;
        Sleep(1);
    }
}

BOOL CWexalBAR0Space::ResetDCBs(Wexal_TrackDCB* records) {
    if (!m_window || !records) return FALSE;
    for (Wexal_TrackDCB* r = records; r->name; ++r) {
        r->progress = r->start;
        if (r->channel < 0 || r->channel >= 64) continue;
        const DWORD c = static_cast<DWORD>(r->channel);
        m_window->Write(kFlushArea + 4 * c, 1);
        for (DWORD d = 1; d < 16; ++d)
            for (DWORD word = 0; word < 8; ++word) m_window->Write(kDcbArea + 0x200 * c + 0x20 * d + 4 * word, 0);
    }
    return TRUE;
}
