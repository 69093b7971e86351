// Helpers shared by the device library tests: a fresh rig per test, DCB words, host buffers with page tables.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "sim/rig_config.h"
#include "tests/support/rig.h"

// Stand-in for the library's DCB record: the device library reads and fills its first eight DWORDs.
class WexalDCB {
public:
    DWORD w[13] = {};
};

namespace devtest {

struct Dcb {
    DWORD w[8] = {};
};

// A DCB image built field by field as the hardware lays it out.
inline Dcb MakeDcb(int next, int bcu, int tag, DWORD start, DWORD lines, DWORD initial, DWORD lineLength,
                   DWORD pad = 0, ULONGLONG bus = 0, bool is16 = false) {
    Dcb d;
    d.w[0] = static_cast<DWORD>(next) | (is16 ? 1u << 13 : 0) | static_cast<DWORD>(bcu) << 23;
    d.w[1] = static_cast<DWORD>(tag) << 16;
    d.w[2] = start;
    d.w[3] = lines << 16 | initial;
    d.w[4] = pad << 16 | lineLength;
    d.w[6] = static_cast<DWORD>(bus);
    d.w[7] = static_cast<DWORD>(bus >> 32);
    return d;
}

inline DWORD Lines(const Dcb& d) { return d.w[3] >> 16; }
inline DWORD Initial(const Dcb& d) { return d.w[3] & 0xFFFF; }
inline int Tag(const Dcb& d) { return static_cast<int>(d.w[1] >> 16 & 0xFFF); }

// A host DMA buffer of whole pages with its page table (entries of at most `entry` bytes).
struct HostBuffer {
    void* data = nullptr;
    LARGE_INTEGER bus{};
    void* table = nullptr;
    LARGE_INTEGER tableBus{};
    DWORD size = 0;

    HostBuffer(DWORD bytes, DWORD entry = 0x20000) : size(bytes) {
        Drv_Return r = g_WexalHW->Malloc(bytes, &data, &bus);
        EXPECT_EQ(r.status, DRV_SUCCESS);
        const DWORD entries = (bytes + entry - 1) / entry;
        r = g_WexalHW->Malloc(entries * 16, &table, &tableBus);
        EXPECT_EQ(r.status, DRV_SUCCESS);
        auto* e = static_cast<DWORD*>(table);
        for (DWORD i = 0; i < entries; ++i) {
            const DWORD n = bytes - i * entry < entry ? bytes - i * entry : entry;
            e[4 * i + 0] = bus.u.LowPart + i * entry;
            e[4 * i + 1] = static_cast<DWORD>(bus.u.HighPart);
            e[4 * i + 2] = n;
            e[4 * i + 3] = 0;
        }
    }
    ~HostBuffer() {
        if (g_WexalHW) {
            g_WexalHW->Free(data);
            g_WexalHW->Free(table);
        }
    }
    DWORD* Words() const { return static_cast<DWORD*>(data); }
};

// The shared rig fixture, with the register window and DCB words the device library tests poke.
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
};

}  // namespace devtest
