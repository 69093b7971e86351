// Helpers shared by the device library tests: a fresh rig per test, DCB words, host buffers with page tables.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/support/rig.h"

// Stand-in for the library's DCB record: the device library reads and fills its first eight DWORDs.
class WexalDCB {
public:
    DWORD w[13] = {};
};

namespace devtest {

// A DCB image laid out as the hardware reads it.
struct Dcb {
    DWORD w[8] = {};
    DWORD Initial() const { return w[3] & 0xFFFF; }
    bool Done() const { return w[3] == 0; }
    int Tag() const { return static_cast<int>(w[1] >> 16 & 0xFFF); }
};

inline Dcb MakeDcb(int next, int bcu, int tag, DWORD start, DWORD lines, DWORD initial, DWORD lineLength, ULONGLONG bus = 0,
                   bool is16 = false) {
    Dcb d;
    d.w[0] = static_cast<DWORD>(next) | (is16 ? 1u << 13 : 0) | static_cast<DWORD>(bcu) << 23;
    d.w[1] = static_cast<DWORD>(tag) << 16;
    d.w[2] = start;
    d.w[3] = lines << 16 | initial;
    d.w[4] = lineLength;
    d.w[6] = static_cast<DWORD>(bus);
    d.w[7] = static_cast<DWORD>(bus >> 32);
    return d;
}

// A host DMA buffer with its page table (entries of 128 KiB at most).
struct HostBuffer {
    void* data = nullptr;
    void* table = nullptr;
    LARGE_INTEGER bus{}, tableBus{};

    explicit HostBuffer(DWORD bytes) {
        constexpr DWORD kEntry = 0x20000;
        const DWORD entries = (bytes + kEntry - 1) / kEntry;
        EXPECT_EQ(g_WexalHW->Malloc(bytes, &data, &bus).status, DRV_SUCCESS);
        EXPECT_EQ(g_WexalHW->Malloc(entries * 16, &table, &tableBus).status, DRV_SUCCESS);
        auto* e = static_cast<DWORD*>(table);
        for (DWORD i = 0; i < entries; ++i) {
            e[4 * i] = bus.u.LowPart + i * kEntry;
            e[4 * i + 1] = static_cast<DWORD>(bus.u.HighPart);
            e[4 * i + 2] = std::min(kEntry, bytes - i * kEntry);
        }
    }
    ~HostBuffer() {
        if (!g_WexalHW) return;
        g_WexalHW->Free(data);
        g_WexalHW->Free(table);
    }
    DWORD* Words() const { return static_cast<DWORD*>(data); }
    ULONGLONG Table() const { return static_cast<ULONGLONG>(tableBus.QuadPart); }
};

// The shared rig fixture, with the register window and the DMA steps the device library tests use.
class RigTest : public support::RigTest {
protected:
    static RegisterPtr Regs(const char* tag) {
        auto* bar0 = dynamic_cast<CWexalBAR0Space*>(Board(tag)->GetSpace(CDevAddrSpace::SPACE_BAR0, 0));
        return bar0 ? bar0->GetRegisterPointer(0, 0x100000) : RegisterPtr();
    }
    static void SetGo(RegisterPtr regs, int bcu, bool go = true) { regs[(0x70000 + 16 * bcu) / 4] = go ? 1u << 29 : 0; }
    static Dcb Live(CWexalDMAChannel* ch) {
        Dcb d;
        ch->GetDCBWords(0, d.w);
        return d;
    }
    // Runs one DCB (BCU 0) on a flushed channel of board tag and answers the live context after it.
    static Dcb Transfer(const char* tag, int channel, ULONGLONG table, DWORD addr, DWORD words, int dcbTag = 1) {
        SetGo(Regs(tag), 0);
        CWexalDMAChannel* c = Board(tag)->GetDMAChannel(channel);
        c->Flush();
        const Dcb d = MakeDcb(0, 0, dcbTag, addr, 0, words, 0, table);
        c->SetDCBWords(1, d.w);
        c->Trigger(1);
        return Live(c);
    }
};

}  // namespace devtest
