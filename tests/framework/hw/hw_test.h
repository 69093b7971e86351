// Helpers of the framework's hardware tests: bound tests, DCB chains, register memory, OXD files, common headers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "devlib/register_window.h"
#include "devlib/rig.h"
#include "framework/board_if.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dcb_list.h"
#include "framework/hw/flash_prom.h"
#include "framework/hw/oxd.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "platform/clock.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/temp_dir.h"

namespace hwtest {

using namespace support;

// Bytes that differ from word to word and from run to run of the seed (a 32-bit LCG, high bytes).
inline std::vector<BYTE> PatternBytes(size_t count, uint32_t seed) {
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = static_cast<BYTE>(seed >> 24);
    }
    return bytes;
}

// A tree-map test bound to one board of the rig now in place, as a board root would bind it.
class BoundTest : public support::RecordingTreeTest {
public:
    explicit BoundTest(const char* board = "Brimola1") : RecordingTreeTest("CBound") {
        EXPECT_EQ(SetupDevice(board), 1u) << out.text;
        m_board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    }
    CWexalBoardDevice* Board() const { return m_board; }
    CWexalDMAChannel* Channel(int n) const { return m_board ? m_board->GetDMAChannel(n) : nullptr; }
    CHostPCDevice* Host() const { return GetZorvHardware(); }

private:
    CWexalBoardDevice* m_board = nullptr;
};

// A DCB of bytes (a multiple of 4 KiB) in lines of 1024 DWORDs at an SDRAM address, tagged and
// served by a buffer control unit; for the PCI channels it points at a page table.
inline WexalDCB MakeDcb(DWORD sdram, DWORD bytes, WORD tag, WORD bcu, ULONGLONG pageTable = 0) {
    WexalDCB dcb;
    EXPECT_TRUE(dcb.GetOpField().SetBCUPointer(bcu));
    EXPECT_TRUE(dcb.GetPortField().SetTag(tag));
    dcb.SetStartAddress(sdram);
    dcb.SetInitialLineLength(1024);
    dcb.SetLineLength(1024);
    dcb.SetLines(static_cast<WORD>(bytes / 4096 - 1));
    dcb.GetPCIAddressField().Set(static_cast<DWORD>(pageTable), static_cast<DWORD>(pageTable >> 32));
    return dcb;
}

// Loads the DCBs at indices 1, 2, ... with their units running and starts the chain at DCB 1.
inline void StartChain(BoundTest& test, int channel, std::vector<WexalDCB> dcbs) {
    CWexalDMAChannel* dma = test.Channel(channel);
    ASSERT_NE(dma, nullptr);
    dma->Flush();
    for (size_t i = 0; i < dcbs.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        dcbs[i].GetOpField().SetNext(static_cast<BYTE>(i + 1 < dcbs.size() ? index + 1 : 0));
        BufferControlUnit(test.GetBoardIF(), static_cast<int>(dcbs[i].GetOpField().GetBCUPointer())).SetGo(1);
        ASSERT_TRUE(dma->SetDCB(index, &dcbs[i]));
    }
    dma->Trigger(1);
}

// Polls the live context (DCB 0) until it shows the tag with nothing left, or the deadline on the
// (virtual) clock passes; true when it completed.
inline bool WaitForCompletion(BoundTest& test, int channel, DWORD tag, DWORD milliseconds) {
    LONGLONG now = 0, frequency = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const LONGLONG deadline = now + frequency * milliseconds / 1000;
    WexalDCB live;
    while (now < deadline) {
        test.Channel(channel)->GetDCB(0, &live);
        if (live.GetLines() == 0 && live.GetInitialLineLength() == 0 && live.GetPortField().GetTag() == tag) return true;
        Sleep(1);
        QueryPerformanceCounter(&now);
    }
    return false;
}

// A register window over plain memory, counting its accesses.
class MemoryWindow : public CRegisterWindow {
public:
    explicit MemoryWindow(DWORD bytes) : m_words(bytes / 4, 0) {}
    DWORD Read(DWORD offset) override {
        ++reads;
        return offset / 4 < m_words.size() ? m_words[offset / 4] : 0;
    }
    void Write(DWORD offset, DWORD value) override {
        ++writes;
        if (offset / 4 < m_words.size()) m_words[offset / 4] = value;
    }
    DWORD Size() const override { return static_cast<DWORD>(m_words.size() * 4); }

    DWORD& At(DWORD byteOffset) { return m_words.at(byteOffset / 4); }
    int reads = 0;
    int writes = 0;

private:
    std::vector<DWORD> m_words;
};

// OXD files for the readers: magic, big-endian header length, a 32-byte head, tags, image data.
struct OxdParts {
    std::string magic = "ZORV.OXD";
    std::string head = std::string(32, '\x5A');  // bytes 12-43, not interpreted by the readers
    std::string tags;                           // "N:KEZO0101;R:0202;"
    std::string data;
    // The header length written at byte 8; by default the true one (44 + the tags' length).
    int64_t headerLength = -1;
};

inline std::string BigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string MakeOxd(const OxdParts& parts) {
    const uint32_t length = parts.headerLength >= 0 ? static_cast<uint32_t>(parts.headerLength)
                                                     : static_cast<uint32_t>(12 + parts.head.size() + parts.tags.size());
    return parts.magic + BigEndian(length) + parts.head + parts.tags + parts.data;
}

}  // namespace hwtest
