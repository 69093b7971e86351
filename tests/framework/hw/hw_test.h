// Helpers of the framework's hardware tests: boards bound to a test, register memory, OXD files, common headers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dcb_list.h"
#include "framework/hw/flash_prom.h"
#include "framework/hw/oxd.h"
#include "framework/hw/paged_memory.h"
#include "framework/result_screen.h"
#include "platform/clock.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace hwtest {

using namespace support;

// Bytes that differ from word to word and from run to run of the seed (a 32-bit LCG, high bytes).
inline std::vector<BYTE> PatternBytes(size_t count, uint32_t seed) {
    std::vector<BYTE> bytes(count);
    for (BYTE& b : bytes) b = static_cast<BYTE>((seed = seed * 1664525u + 1013904223u) >> 24);
    return bytes;
}

// A tree-map test bound to one board of the rig now in place, as a board root would bind it.
class BoundTest : public RecordingTreeTest {
public:
    explicit BoundTest(const char* board = "Brimola1") : RecordingTreeTest("CBound") {
        EXPECT_EQ(SetupDevice(board), 1u) << out.text;
        m_board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    }
    CWexalBoardDevice* Board() const { return m_board; }
    CWexalDMAChannel* Channel(int n) const { return m_board->GetDMAChannel(n); }

private:
    CWexalBoardDevice* m_board = nullptr;
};

// OXD files for the readers: magic, big-endian header length, a 32-byte head (not interpreted), tags, image data.
struct OxdParts {
    std::string magic = "ZORV.OXD";
    std::string head = std::string(32, '\x5A');
    std::string tags;  // "N:KEZO0101;R:0202;"
    std::string data;
    int64_t headerLength = -1;  // written at byte 8; by default the true one (44 + the tags' length)
};

inline std::string BigEndian(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

inline std::string MakeOxd(const OxdParts& p) {
    const int64_t length = p.headerLength >= 0 ? p.headerLength : static_cast<int64_t>(12 + p.head.size() + p.tags.size());
    return p.magic + BigEndian(static_cast<uint32_t>(length)) + p.head + p.tags + p.data;
}

}  // namespace hwtest
