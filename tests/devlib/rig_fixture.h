// Helpers shared by the device library tests: a fresh rig per test, DCB words, host buffers with page tables.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/rig.h"

// Stand-in for the library's DCB record: the device library reads and fills its first eight DWORDs.
class WexalDCB {
public:
    DWORD w[13] = {};
};

namespace devtest {

// A DCB image as the hardware reads it: word 1 holds the tag, word 3 the lines left and the initial line.
struct Dcb {
    DWORD w[8] = {};
    bool Done() const { return w[3] == 0; }
    int Tag() const { return static_cast<int>(w[1] >> 16 & 0xFFF); }
};

inline Dcb MakeDcb(int next, int bcu, int tag, DWORD start, DWORD lines, DWORD initial, DWORD lineLength, ULONGLONG bus = 0) {
    return {{static_cast<DWORD>(next) | static_cast<DWORD>(bcu) << 23, static_cast<DWORD>(tag) << 16, start, lines << 16 | initial, lineLength,
             0, static_cast<DWORD>(bus), static_cast<DWORD>(bus >> 32)}};
}

// A host DMA buffer of at most 128 KiB with its one-entry page table.
struct HostBuffer {
    void *data = nullptr, *table = nullptr;
    LARGE_INTEGER bus{}, tableBus{};
    explicit HostBuffer(DWORD bytes) {
        EXPECT_EQ(g_WexalHW->Malloc(bytes, &data, &bus).status, DRV_SUCCESS);
        EXPECT_EQ(g_WexalHW->Malloc(16, &table, &tableBus).status, DRV_SUCCESS);
        const DWORD entry[3] = {bus.u.LowPart, static_cast<DWORD>(bus.u.HighPart), bytes};
        std::memcpy(table, entry, sizeof entry);
    }
    ~HostBuffer() {
        g_WexalHW->Free(data);
        g_WexalHW->Free(table);
    }
    DWORD* Words() const { return static_cast<DWORD*>(data); }
    ULONGLONG Table() const { return static_cast<ULONGLONG>(tableBus.QuadPart); }
};

// The shared rig fixture, with the register window and the DMA steps the device library tests use.
class RigTest : public support::RigTest {
protected:
    static RegisterPtr Regs(const char* tag) { return Board(tag)->GetBAR0Space()->GetRegisterPointer(0, 0x100000); }
    static void SetGo(const char* tag, int bcu, bool go = true) { Regs(tag)[(0x70000 + 16 * bcu) / 4] = go ? 1u << 29 : 0; }
    static Dcb Live(CWexalDMAChannel* ch) {
        Dcb d;
        ch->GetDCBWords(0, d.w);
        return d;
    }
    // Loads DCB 1 of a flushed channel and triggers it; answers the live context after it.
    static Dcb Run(const char* tag, int channel, const Dcb& d) {
        CWexalDMAChannel* c = Board(tag)->GetDMAChannel(channel);
        c->Flush();
        c->SetDCBWords(1, d.w);
        c->Trigger(1);
        return Live(c);
    }
    // One DCB on BCU 0 (given Go) moving words between SDRAM at addr and the host table.
    static Dcb Transfer(const char* tag, int channel, ULONGLONG table, DWORD addr, DWORD words, int dcbTag = 1) {
        SetGo(tag, 0);
        return Run(tag, channel, MakeDcb(0, 0, dcbTag, addr, 0, words, 0, table));
    }
};

}  // namespace devtest
