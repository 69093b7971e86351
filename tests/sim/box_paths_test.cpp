// The external I/O connector's loops: video through the box or a cable with its delays, audio, the frame counter and sync flag.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/rig.h"
#include "yorbflow/wire/command_table.h"

namespace {

namespace Wire = YorbFlow::Wire;
constexpr uint32_t kDst = 0x100000;

// Sends a box command with its parameters in table order, typed as the wire table says.
void Command(sim::BreakoutBox& box, const char* name, std::vector<uint64_t> values = {}) {
    sim::BoxMessage c, reply;
    c.name = name;
    const Wire::CommandEntry* e = Wire::FindCommand(name);
    const bool send = e->directions & Wire::DIR_SEND;  // else a request with its keys (StartIOFrame)
    if (!send) c.kind = Wire::KIND_REQUEST;
    for (size_t i = 0, v = 0; i < e->paramCount && v < values.size(); ++i)
        if (e->params[i].roles & (send ? Wire::ROLE_SEND : Wire::ROLE_KEY)) c.params.push_back({e->params[i].name, e->params[i].type, values[v++], {}});
    ASSERT_EQ(box.Handle(c, reply), Wire::RESULT_SUCCESS) << name;
}

// The Nulk's video loopback packet with ENABLE=enable.
void Loopback(sim::BreakoutBox& box, uint8_t enable = 1) {
    std::vector<uint8_t> p(40, 0);
    std::memcpy(p.data(), "zorv_diagnostics", 16);
    p[31] = 41, p[33] = 6, p[35] = 4, p[36] = enable;
    sim::BoxMessage c, reply;
    c.name = "Diagnostic";
    c.params = {{"Length", Wire::FindCommand("Diagnostic")->Find("Length")->type, 36, {}}, {"DiagData", Wire::TYPE_BYTES, 0, p}};
    ASSERT_EQ(box.Handle(c, reply), Wire::RESULT_SUCCESS);
}

// A chain of n DCBs of `words` each on a channel, from start on, tags 1..n, then triggered.
void Arm(sim::SimBoard& b, int channel, uint32_t start, int n, uint32_t words) {
    b.Fpga().Write32(0x70000 + 16 * 2, 1u << 29);
    for (uint32_t i = 1; i <= static_cast<uint32_t>(n); ++i) {
        const uint32_t dcb[4] = {(i < static_cast<uint32_t>(n) ? i + 1 : 0) | 1u << 13 | 2u << 23, i << 16, start + (i - 1) * 4 * words, words};
        for (uint32_t w = 0; w < 4; ++w) b.Fpga().Write32(0x60000 + 0x200 * channel + 0x20 * i + 4 * w, dcb[w]);
    }
    b.Fpga().Write32(0x58200 + 4 * channel, 1);
}
bool Done(sim::SimBoard& b, int channel) { return b.Fpga().Read32(0x60000 + 0x200 * channel + 12) == 0; }
uint32_t* Words(sim::SimBoard& b, uint32_t addr, size_t n) { return reinterpret_cast<uint32_t*>(b.Fpga().Sdram().Map(addr, 4 * n)); }

enum Attached { kNone, kCable, kInternal, kHd1080i, kHd720p, kSdi, kHdNotStarted, kHdStopped };

sim::RigConfig Rig(Attached setup, const sim::BoxFaults& faults = {}) {
    sim::RigConfig cfg;
    cfg.boards = {sim::DefaultBoard(sim::BoardKind::Brimola, "Brimola1")};
    cfg.boards[0].breakoutBox = setup != kCable && setup != kNone;
    cfg.boards[0].loopbackCable = setup == kCable;
    cfg.boards[0].faults.box = faults;
    return cfg;
}

void Prepare(sim::SimBoard& b, Attached setup) {
    sim::BreakoutBox* box = b.Box();
    if (setup == kInternal) Loopback(*box);
    if (setup == kHd1080i || setup == kHd720p || setup == kHdNotStarted || setup == kHdStopped) {
        Command(*box, "HVProjectFormat", {setup == kHd720p ? 14u : 1u});
        Command(*box, "IOMode", {0, 3});
    }
    if (setup == kSdi) {
        Command(*box, "HVProjectFormat", {22});
        Command(*box, "VideoOutput", {5});
        Command(*box, "VideoInput", {5});
    }
    if (setup != kInternal && setup != kHdNotStarted && box) Command(*box, "StartIO");
    if (setup == kHdStopped) Command(*box, "StopIO");
}

TEST(BoxVideoLoop, FramesComeBackMaskedOnTheActivePathAfterItsDelayInBlackOrNotAtAll) {
    // delay -1: nothing comes back; corrupt: the inbound channel's XOR on every word, black frames included.
    struct Row { const char* name; Attached setup; sim::BoxFaults faults; int bvi, delay; uint32_t corrupt = 0; };
    sim::BoxFaults hdOpen, sdiOpen, slip, internalSlip;
    hdOpen.hdLoopOpen = true, sdiOpen.sdiLoopOpen = true, slip.bexiSlip = 2, internalSlip.nulkInternalSlip = 1;
    const Row rows[] = {
        {"cable", kCable, {}, 0, 0}, {"nulk internal, BVI 3", kInternal, {}, 3, 0}, {"hd 1080i", kHd1080i, {}, 0, 2},
        {"hd 720p", kHd720p, {}, 1, 3}, {"sdi", kSdi, {}, 2, 1}, {"hd slips 2 frames", kHd1080i, slip, 0, 4},
        {"internal slips 1 frame", kInternal, internalSlip, 0, 1}, {"hd loop open", kHd1080i, hdOpen, 0, -1},
        {"sdi loop open", kSdi, sdiOpen, 0, -1}, {"hd not started", kHdNotStarted, {}, 0, -1},
        {"hd stopped", kHdStopped, {}, 0, -1}, {"nothing attached", kNone, {}, 0, -1},
        {"hd 1080i, the inbound channel corrupts", kHd1080i, {}, 2, 2, 0x00010020},
    };
    constexpr int kFrames = 6;
    constexpr uint32_t kWords = 256;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Rig(row.setup, row.faults);
        if (row.corrupt) cfg.boards[0].faults.dmaCorrupt.push_back({row.bvi, row.corrupt, 0, 0});
        sim::Rig rig(cfg);
        sim::SimBoard& b = *rig.Board("Brimola1");
        Prepare(b, row.setup);
        uint32_t* sent = Words(b, 0, kFrames * kWords);
        for (uint32_t i = 0; i < kFrames * kWords; ++i) sent[i] = (i + 1) * 2654435761u;
        Arm(b, row.bvi, kDst, kFrames, kWords);
        Arm(b, 4, 0, kFrames, kWords);
        ASSERT_EQ(Done(b, row.bvi), row.delay >= 0);
        EXPECT_TRUE(Done(b, 4));
        const uint32_t* back = Words(b, kDst, kFrames * kWords);
        for (int f = 0; row.delay >= 0 && f < kFrames; ++f)
            for (uint32_t w = 0; w < kWords; w += 37) {
                const uint32_t want = (f < row.delay ? 0 : sent[(f - row.delay) * kWords + w] & 0xFFC0FFC0) ^ row.corrupt;
                ASSERT_EQ(back[f * kWords + w], want) << "frame " << f << " word " << w;
            }
    }
}

TEST(BoxVideoLoop, FramesOfChangingSizesComeBackWholeAndMaskedToTheirLastWord) {
    // One DCB per frame of its own size, odd word counts included, on the cable and on a channel
    // armed with the same sizes: every word of every frame comes back masked, none from an earlier frame.
    const std::vector<uint32_t> sizes = {255, 64, 301, 1, 255, 37, 512, 3};
    sim::Rig rig(Rig(kCable));
    sim::SimBoard& b = *rig.Board("Brimola1");
    Prepare(b, kCable);
    uint32_t total = 0;
    for (uint32_t n : sizes) total += n;
    uint32_t* sent = Words(b, 0, total);
    for (uint32_t i = 0; i < total; ++i) sent[i] = ~i * 2246822519u;
    for (int channel : {1, 4}) {
        b.Fpga().Write32(0x70000 + 16 * 2, 1u << 29);
        const uint32_t start = channel == 4 ? 0 : kDst;
        for (uint32_t i = 1, at = 0; i <= sizes.size(); at += sizes[i - 1], ++i) {
            const uint32_t dcb[4] = {(i < sizes.size() ? i + 1 : 0) | 1u << 13 | 2u << 23, i << 16, start + 4 * at, sizes[i - 1]};
            for (uint32_t w = 0; w < 4; ++w) b.Fpga().Write32(0x60000 + 0x200 * channel + 0x20 * i + 4 * w, dcb[w]);
        }
        b.Fpga().Write32(0x58200 + 4 * channel, 1);
    }
    ASSERT_TRUE(Done(b, 1) && Done(b, 4));
    const uint32_t* back = Words(b, kDst, total);
    for (uint32_t i = 0; i < total; ++i) ASSERT_EQ(back[i], sent[i] & 0xFFC0FFC0) << "word " << i;
}

// Frames left in the memory until they move must come back as if copied out when sent: the loop
// is checked against a word model of the same chains (the outbound chain, which the loop holds
// whole, moves first, then the inbound one),
// with destinations that miss the sources, land on later frames not yet sent, on the frame itself or
// on frames still in the loop, with lines and pads of other shapes than the source's, and on a
// memory with a stuck bit.
TEST(BoxVideoLoop, FramesInTheLoopComeBackAsSentWhereverTheirDestinationsLie) {
    struct Shape { uint32_t initial, lines, length, pad; };
    struct Row { const char* name; Attached setup; int delay; uint32_t dst; Shape in, out; bool stuck = false; };
    constexpr uint32_t kSrc = 0x4000;  // bytes
    const Shape flat{300, 0, 0, 0}, lined{12, 9, 32, 5}, wide{0, 4, 77, 0}, padded{20, 10, 28, 3};
    const Row rows[] = {
        {"cable, apart", kCable, 0, 0x40000, flat, flat},
        {"hd 1080i, apart", kHd1080i, 2, 0x40000, flat, flat},
        {"hd 1080i, onto the frames sent next", kHd1080i, 2, kSrc + 1200, flat, flat},
        {"hd 720p, onto each frame itself", kHd720p, 3, kSrc, flat, flat},
        {"hd 1080i, onto frames still in the loop", kHd1080i, 2, kSrc - 2400, flat, flat},
        {"sdi, lines and pads of other shapes", kSdi, 1, kSrc + 600, lined, wide},
        {"hd 720p, padded into lined, overlapping", kHd720p, 3, kSrc + 40, padded, lined},
        {"hd 1080i, onto the frames sent next, a stuck bit", kHd1080i, 2, kSrc + 1200, flat, lined, true},
    };
    constexpr int kFrames = 7;
    constexpr uint32_t kRegion = 0x80000;  // bytes the model holds
    auto bytes = [](const Shape& s) { return 4 * (s.initial + s.lines * s.length); };
    auto stride = [](const Shape& s) { return 4 * (s.initial + s.lines * (s.length + s.pad) + 8); };
    // The byte addresses of a frame's words in order.
    auto words = [](const Shape& s, uint32_t start) {
        std::vector<uint32_t> at;
        uint32_t addr = start;
        auto line = [&](uint32_t n) {
            for (uint32_t w = 0; w < n; ++w) at.push_back(addr + 4 * w);
            if (n) addr += 4 * (n + s.pad);
        };
        line(s.initial);
        for (uint32_t l = 0; l < s.lines; ++l) line(s.length);
        return at;
    };
    auto arm = [](sim::SimBoard& b, int channel, const Shape& s, uint32_t start, uint32_t step) {
        b.Fpga().Write32(0x70000 + 16 * 2, 1u << 29);
        for (uint32_t i = 1; i <= kFrames; ++i) {
            const uint32_t dcb[5] = {(i < kFrames ? i + 1 : 0) | 1u << 13 | 2u << 23, i << 16, start + (i - 1) * step,
                                     s.initial | s.lines << 16, s.length | s.pad << 16};
            for (uint32_t w = 0; w < 5; ++w) b.Fpga().Write32(0x60000 + 0x200 * channel + 0x20 * i + 4 * w, dcb[w]);
        }
        b.Fpga().Write32(0x58200 + 4 * channel, 1);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Rig(row.setup);
        const uint32_t stuckBit = 1u << 7;  // a value bit under the sample mask
        if (row.stuck) cfg.boards[0].faults.sdramStuck.push_back({0, kRegion, 7, 1});
        sim::Rig rig(cfg);
        sim::SimBoard& b = *rig.Board("Brimola1");
        Prepare(b, row.setup);
        std::vector<uint32_t> model(kRegion / 4);
        uint32_t* cells = Words(b, 0, model.size());
        for (uint32_t i = 0; i < model.size(); ++i) cells[i] = model[i] = (i + 7) * 2654435761u;
        b.Fpga().Write32(0x40004, 0xFF);  // what was written through the window reaches the cells
        if (row.stuck)
            for (uint32_t& w : model) w |= stuckBit;
        const uint32_t outStep = stride(row.out), inStep = stride(row.in);
        arm(b, 0, row.in, row.dst, inStep);
        arm(b, 4, row.out, kSrc, outStep);
        ASSERT_TRUE(Done(b, 0));
        // The model: every frame is read, masked; destination r then takes the frame D places
        // earlier (black before it), as much of it as both hold.
        std::deque<std::vector<uint32_t>> loop(static_cast<size_t>(row.delay), std::vector<uint32_t>());
        for (uint32_t r = 0; r < kFrames; ++r) {
            std::vector<uint32_t> frame;
            for (uint32_t at : words(row.out, kSrc + r * outStep)) frame.push_back(model[at / 4] & 0xFFC0FFC0);
            loop.push_back(frame);
        }
        for (uint32_t r = 0; r < kFrames; ++r) {
            std::vector<uint32_t> back = loop.front();
            loop.pop_front();
            if (back.empty()) back.assign(bytes(row.out) / 4, 0);
            const std::vector<uint32_t> to = words(row.in, row.dst + r * inStep);
            for (size_t w = 0; w < to.size() && w < back.size(); ++w)
                model[to[w] / 4] = back[w] | (row.stuck ? stuckBit : 0);
        }
        const uint32_t* got = Words(b, 0, model.size());
        for (uint32_t i = 0; i < model.size(); ++i) ASSERT_EQ(got[i], model[i]) << "byte address 0x" << std::hex << 4 * i;
    }
}

// Channel 4 takes a frame whole or not at all, whether a path carries it back or it is lost: a
// frame running past the end of the memory hangs the channel.
TEST(BoxVideoLoop, AFramePastTheEndOfTheMemoryHangsTheOutboundChannelWithOrWithoutAPath) {
    struct Row {
        const char* name;
        Attached setup;
        uint32_t belowEnd;  // bytes from the frame's start to the end of the memory
        bool done;
    };
    constexpr uint32_t kWords = 256;
    const Row rows[] = {
        {"no path, inside", kHdNotStarted, 4 * kWords, true},
        {"no path, one word past the end", kHdNotStarted, 4 * kWords - 4, false},
        {"cable, inside", kCable, 4 * kWords, true},
        {"cable, one word past the end", kCable, 4 * kWords - 4, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Rig rig(Rig(row.setup));
        sim::SimBoard& b = *rig.Board("Brimola1");
        Prepare(b, row.setup);
        Arm(b, 4, static_cast<uint32_t>(b.Fpga().Sdram().Size() - row.belowEnd), 1, kWords);
        EXPECT_EQ(Done(b, 4), row.done);
    }
}

// A slipping internal loop holds the last frame sent; switching the loopback off and on between
// two transfers is a change of path and drops it, switching it on again while on is none.
TEST(BoxVideoLoop, TheLoopbackSwitchedOffAndOnDropsTheFrameInFlight) {
    struct Row { const char* name; std::vector<uint8_t> switches; bool black; };
    const Row rows[] = {{"off and on", {0, 1}, true}, {"on again while on", {1}, false}, {"no switch", {}, false}};
    constexpr uint32_t kWords = 64;
    sim::BoxFaults slip;
    slip.nulkInternalSlip = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Rig rig(Rig(kInternal, slip));
        sim::SimBoard& b = *rig.Board("Brimola1");
        Prepare(b, kInternal);
        uint32_t* sent = Words(b, 0, kWords);
        for (uint32_t i = 0; i < kWords; ++i) sent[i] = (i + 1) * 2654435761u;
        Arm(b, 0, kDst, 1, kWords);
        Arm(b, 4, 0, 1, kWords);
        ASSERT_TRUE(Done(b, 0));
        ASSERT_EQ(Words(b, kDst, 1)[0], 0u) << "the slip's black frame first";
        for (uint8_t enable : row.switches) Loopback(*b.Box(), enable);
        for (uint32_t i = 0; i < kWords; ++i) sent[i] = ~i;
        Arm(b, 0, kDst, 1, kWords);
        Arm(b, 4, 0, 1, kWords);
        ASSERT_TRUE(Done(b, 0));
        const uint32_t* back = Words(b, kDst, kWords);
        for (uint32_t w = 0; w < kWords; ++w)
            ASSERT_EQ(back[w], row.black ? 0u : (w + 1) * 2654435761u & 0xFFC0FFC0) << "word " << w;
    }
}

TEST(BoxPaths, SelectWordReadsBackCounterStepsPerFramePeriodAndBviSyncLatchesUntilCleared) {
    sim::BoxFaults sync;
    sync.bviSyncError = {2};
    sim::Rig rig(Rig(kCable, sync));
    sim::SimBoard& b = *rig.Board("Brimola1");
    b.Fpga().Write32(0x80100, 7);
    EXPECT_EQ(b.Fpga().Read32(0x80100), 7u);
    const int64_t period = 33 * kPerfFrequency / 1000;
    platform::SetTicks(65 * period + 1);
    EXPECT_EQ(b.Fpga().Read32(0x80208), 1u << 24);
    platform::AdvanceTicks(period);
    EXPECT_EQ(b.Fpga().Read32(0x80208), 2u << 24);
    for (int bvi : {0, 2}) {
        Arm(b, bvi, kDst, 1, 64);
        Arm(b, 4, 0, 1, 64);
        ASSERT_TRUE(Done(b, bvi));
        EXPECT_EQ(b.Fpga().Read32(0x58110) >> 24 & 1, bvi == 2u) << "BVI " << bvi;
    }
    b.Fpga().Write32(0x58110, 1u << 24);
    EXPECT_EQ(b.Fpga().Read32(0x58110), 0u);
    EXPECT_EQ(sim::FramePeriodTicks(14), kPerfFrequency * 1000 / 59940);
}

TEST(BoxVideoLoop, WithModelledTimingTheHdLoopWaitsForTheStartFrameAndReturnsAFramePerPeriod) {
    sim::RigConfig cfg = Rig(kHd1080i);
    cfg.dmaTiming.modelled = true;
    sim::Rig rig(cfg);
    sim::SimBoard& b = *rig.Board("Brimola1");
    platform::SetTicks(0);
    Command(*b.Box(), "HVProjectFormat", {1});
    Command(*b.Box(), "IOMode", {0, 3});
    Command(*b.Box(), "StartIOFrame", {10, 0});
    const int64_t period = sim::FramePeriodTicks(1);
    Arm(b, 0, kDst, 4, 64);
    Arm(b, 4, 0, 4, 64);
    while (!Done(b, 0)) ASSERT_LT(platform::NowTicks(), 20 * period);
    // The first frame back at frame 10, the fourth three periods later.
    EXPECT_GE(platform::NowTicks(), 13 * period);
    EXPECT_LT(platform::NowTicks(), 14 * period);
}

TEST(BoxAudioLoop, SamplesReturnWithTheirLowByteClearedShiftedByASlipOrNotThroughAnOpenLoop) {
    struct Row { const char* name; Attached setup; sim::BoxFaults faults; bool returns; int slip; };
    sim::BoxFaults open, late, early, dolwer;
    open.audioLoopOpen = true, late.audioSlipDwords = 8, early.audioSlipDwords = -16, dolwer.silent = {sim::BoxDevice::Dolwer};
    const Row rows[] = {{"box", kInternal, {}, true, 0}, {"cable", kCable, {}, true, 0}, {"8 late", kInternal, late, true, 8},
                        {"16 early", kInternal, early, true, -16}, {"loop open", kInternal, open, false, 0},
                        {"dolwer silent", kInternal, dolwer, false, 0}, {"nothing attached", kNone, {}, false, 0}};
    constexpr uint32_t kWords = 1024;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Rig rig(Rig(row.setup, row.faults));
        sim::SimBoard& b = *rig.Board("Brimola1");
        uint32_t* sent = Words(b, 0, kWords);
        for (uint32_t i = 0; i < kWords; ++i) sent[i] = (i + 1) * 2654435761u;
        Arm(b, 32, kDst, 1, kWords);
        Arm(b, 20, 0, 1, kWords);
        ASSERT_EQ(Done(b, 32), row.returns);
        const uint32_t* back = Words(b, kDst, kWords);
        for (int i = 0; row.returns && i < static_cast<int>(kWords); ++i) {
            const int from = i - row.slip;
            ASSERT_EQ(back[i], from < 0 || from >= static_cast<int>(kWords) ? 0 : sent[from] & 0xFFFFFF00) << i;
        }
    }
}

}  // namespace
