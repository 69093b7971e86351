// Tests of the DCB record: field placement, checked setters, copies, channel words and line geometry.
#include "framework/hw/wexal_dcb.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/framework/hw/register_memory.h"

namespace {

TEST(WexalDCBTest, OpAndPortFieldsSitAtTheirBits) {
    WexalDCB dcb;
    WexalDCBOp& op = dcb.GetOpField();
    EXPECT_TRUE(op.SetNext(63));
    EXPECT_TRUE(op.SetForceBCU(1));
    EXPECT_TRUE(op.SetRepeatLine(1));
    EXPECT_TRUE(op.SetPack(WEXAL_DCBPACK_WWWX));
    EXPECT_TRUE(op.SetIntEn(1));
    EXPECT_TRUE(op.SetWaitDMA(1));
    EXPECT_TRUE(op.Set16bit(1));
    EXPECT_TRUE(op.SetInputFormat(INPUT_FORMAT_4444));
    EXPECT_TRUE(op.SetBCUIncrement(1));
    EXPECT_TRUE(op.SetBCUSequence(0x2A));
    EXPECT_TRUE(op.SetBCUPointer(0x155));
    const DWORD opWord = 63u | 1u << 6 | 1u << 7 | 5u << 8 | 1u << 11 | 1u << 12 | 1u << 13 | 1u << 14 | 1u << 16 |
                         0x2Au << 17 | 0x155u << 23;
    EXPECT_EQ(dcb.GetWords()[0], opWord);
    EXPECT_EQ(op.GetNext(), 63u);
    EXPECT_EQ(op.GetPack(), 5u);
    EXPECT_EQ(op.GetInputFormat(), 1);
    EXPECT_EQ(op.GetBCUSequence(), 0x2Au);
    EXPECT_EQ(op.GetBCUPointer(), 0x155u);
    EXPECT_EQ(op.GetForceBCU() + op.GetRepeatLine() + op.GetIntEn() + op.GetWaitDMA() + op.Get16bit() +
                  op.GetBCUIncrement(),
              6u);

    WexalDCBPort& port = dcb.GetPortField();
    EXPECT_TRUE(port.SetContextID(0xA));
    EXPECT_TRUE(port.SetSecondaryControl(0x3F));
    EXPECT_TRUE(port.SetTag(0xABC));
    EXPECT_EQ(dcb.GetWords()[1], 0xAu | 0x3Fu << 4 | 0xABCu << 16);
    EXPECT_EQ(port.GetContextID(), 0xAu);
    EXPECT_EQ(port.GetSecondaryControl(), 0x3Fu);
    EXPECT_EQ(port.GetTag(), 0xABCu);

    dcb.SetStartAddress(0x12345678);
    EXPECT_TRUE(dcb.SetInitialLineLength(0x1111));
    EXPECT_TRUE(dcb.SetLines(0xFFFF));
    EXPECT_TRUE(dcb.SetLineLength(0x3333));
    EXPECT_TRUE(dcb.SetPad(0x4444));
    EXPECT_EQ(dcb.GetWords()[2], 0x12345678u);
    EXPECT_EQ(dcb.GetWords()[3], 0xFFFF1111u);
    EXPECT_EQ(dcb.GetWords()[4], 0x44443333u);
    EXPECT_EQ(dcb.GetLines(), 0xFFFFu);
    EXPECT_EQ(dcb.GetPad(), 0x4444u);

    // Clearing a flag with any value but 1 touches that bit only.
    EXPECT_TRUE(op.SetForceBCU(2));
    EXPECT_EQ(dcb.GetWords()[0], opWord & ~(1u << 6));
    EXPECT_EQ(dcb.Clear(), 0);
    for (int w = 0; w < 8; ++w) EXPECT_EQ(dcb.GetWords()[w], 0u);
}

TEST(WexalDCBTest, RejectedValuesLeaveTheWordAlone) {
    WexalDCB dcb;
    WexalDCBOp& op = dcb.GetOpField();
    WexalDCBPort& port = dcb.GetPortField();
    const DWORD* w = dcb.GetWords();
    auto rejectedWithoutChange = [&](int word, auto&& set) {
        const DWORD before = w[word];
        return !set() && w[word] == before;
    };
    op.SetNext(5);
    EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetNext(64); }));
    // Only the low 8 bits of the argument arrive: 0x140 is 64 and rejected, 0x100 is 0.
    EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetNext(static_cast<BYTE>(0x140)); }));
    EXPECT_TRUE(op.SetNext(static_cast<BYTE>(0x100)));
    EXPECT_EQ(op.GetNext(), 0u);
    for (DWORD pack : {3u, 4u, 8u, 0xFFFFFFFFu}) EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetPack(pack); }));
    for (DWORD pack : {0u, 1u, 2u, 5u, 6u, 7u}) {
        EXPECT_TRUE(op.SetPack(pack));
        EXPECT_EQ(op.GetPack(), pack);
    }
    for (int format : {-1, 2}) EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetInputFormat(format); }));
    EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetBCUSequence(64); }));
    EXPECT_TRUE(rejectedWithoutChange(0, [&] { return op.SetBCUPointer(4096); }));
    // BCU numbers below 4096 are taken and kept by their low 9 bits.
    EXPECT_TRUE(op.SetBCUPointer(600));
    EXPECT_EQ(op.GetBCUPointer(), 88u);
    EXPECT_TRUE(op.SetBCUPointer(static_cast<WORD>(0x10005)));
    EXPECT_EQ(op.GetBCUPointer(), 5u);

    port.SetTag(7);
    EXPECT_TRUE(rejectedWithoutChange(1, [&] { return port.SetTag(4096); }));
    EXPECT_TRUE(port.SetTag(4095));
    EXPECT_EQ(w[1], 4095u << 16);
    EXPECT_TRUE(rejectedWithoutChange(1, [&] { return port.SetContextID(16); }));
    EXPECT_TRUE(rejectedWithoutChange(1, [&] { return port.SetSecondaryControl(64); }));
    EXPECT_TRUE(port.SetContextID(15));
    EXPECT_TRUE(port.SetSecondaryControl(63));
    EXPECT_EQ(w[1], 4095u << 16 | 63u << 4 | 15u);
}

TEST(WexalDCBTest, CopyFromGoesThroughTheSetters) {
    WexalDCB source;
    source.GetOpField().SetNext(9);
    source.GetOpField().SetBCUPointer(300);
    source.GetOpField().SetBCUSequence(33);
    source.GetOpField().Set16bit(1);
    source.GetPortField().SetTag(0x123);
    source.GetPortField().SetContextID(3);
    source.SetStartAddress(0x400000);
    source.SetLines(10);
    source.SetLineLength(20);
    source.SetInitialLineLength(30);
    source.SetPad(40);
    source.GetPCIAddressField().Set(0xAAAA, 0xBBBB);
    for (DWORD pack : {5u, 6u, 7u}) {
        source.GetOpField().SetPack(pack);
        WexalDCB copy;
        copy.GetPCIAddressField().Set(1, 2);
        EXPECT_TRUE(copy.GetOpField().CopyFrom(source.GetOpField()));
        EXPECT_EQ(copy.GetOpField().GetPack(), pack);
        EXPECT_TRUE(copy.CopyFrom(source));
        for (int word = 0; word < 5; ++word) EXPECT_EQ(copy.GetWords()[word], source.GetWords()[word]) << word;
        EXPECT_EQ(copy.GetPCIAddressField().Get(), 0x200000001ull);  // words 5-7 are not copied
    }
    // A Pack of 3 read from hardware cannot be stored: failure, but every other field is copied.
    source.GetWords()[0] = (source.GetWords()[0] & ~(7u << 8)) | 3u << 8;
    WexalDCB copy;
    copy.GetOpField().SetPack(1);
    EXPECT_FALSE(copy.CopyFrom(source));
    EXPECT_EQ(copy.GetOpField().GetPack(), 1u);
    EXPECT_EQ(copy.GetOpField().GetBCUPointer(), 300u);
    EXPECT_EQ(copy.GetOpField().GetNext(), 9u);
    EXPECT_EQ(copy.GetPortField().GetTag(), 0x123u);
    EXPECT_EQ(copy.GetStartAddress(), 0x400000u);
    EXPECT_EQ(copy.GetPad(), 40u);
}

TEST(WexalDCBTest, CopiesKeepTheirAccessorsOnTheirOwnWords) {
    WexalDCB a;
    a.GetOpField().SetNext(4);
    a.GetPortField().SetTag(4);
    WexalDCB b(a);
    EXPECT_EQ(b.GetOpField().GetNext(), 4u);
    b.GetOpField().SetNext(5);
    b.GetPortField().SetTag(5);
    b.GetPCIAddressField().Set(5, 5);
    EXPECT_EQ(a.GetOpField().GetNext(), 4u);
    EXPECT_EQ(a.GetPortField().GetTag(), 4u);
    EXPECT_EQ(a.GetPCIAddressField().Get(), 0u);

    WexalDCB c;
    c = b;
    c.GetOpField().SetNext(6);
    EXPECT_EQ(b.GetOpField().GetNext(), 5u);
    EXPECT_EQ(c.GetPortField().GetTag(), 5u);

    // Records moved about inside a container keep working on their own words.
    std::vector<WexalDCB> many;
    for (int i = 0; i < 20; ++i) {
        many.push_back(a);
        many.back().GetOpField().SetNext(static_cast<BYTE>(i));
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(many[i].GetOpField().GetNext(), static_cast<DWORD>(i));
        EXPECT_EQ(many[i].GetWords()[0] & 0x3F, static_cast<DWORD>(i));
    }
}

TEST(WexalDCBTest, LoadsAnImageFromTheRegisterWindow) {
    hwtest::MemoryWindow window(0x80000);
    const DWORD base = 0x60000 + 0x200 * 3 + 0x20 * 2;  // DCB 2 of channel 3
    for (DWORD i = 0; i < 8; ++i) window.At(base + 4 * i) = 0x11111111u * (i + 1);
    WexalDCB dcb;
    dcb = RegisterPtr(&window, base);
    for (DWORD i = 0; i < 8; ++i) EXPECT_EQ(dcb.GetWords()[i], 0x11111111u * (i + 1));
    EXPECT_EQ(window.reads, 8);
    EXPECT_EQ(dcb.GetPortField().GetTag(), 0x222u);
}

TEST(WexalDCBTest, ChannelWordsFiveToSeven) {
    WexalDCB dcb;
    DWORD* w = dcb.GetWords();
    w[5] = 0x55555555;
    EXPECT_EQ(dcb.GetPCIAddressField().Set(0x89ABCDEF, 0x01234567), 0ull);
    EXPECT_EQ(dcb.GetPCIAddressField().Set(0x1000, 0x2), 0x0123456789ABCDEFull);
    EXPECT_EQ(dcb.GetPCIAddressField().Get(), 0x200001000ull);
    EXPECT_EQ(w[5], 0x55555555u);

    w[6] = 0x76543210;
    w[7] = 0xFEDCBA98;
    DWORD sample = 0;
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(dcb.GetARemapField().GetSample(i, &sample));
        EXPECT_EQ(sample, static_cast<DWORD>(i)) << i;
    }
    sample = 77;
    EXPECT_FALSE(dcb.GetARemapField().GetSample(16, &sample));
    EXPECT_FALSE(dcb.GetARemapField().GetSample(-1, &sample));
    EXPECT_EQ(sample, 77u);

    // Gains 0-5 in word 5 at bits 0, 5, 10, 16, 21, 26; then word 6; 12-15 in word 7.
    auto gains = [](std::initializer_list<DWORD> g) {
        static constexpr int kShift[6] = {0, 5, 10, 16, 21, 26};
        DWORD word = 0;
        int k = 0;
        for (DWORD v : g) word |= v << kShift[k++];
        return word;
    };
    w[5] = gains({1, 2, 3, 31, 5, 6});
    w[6] = gains({7, 8, 9, 10, 11, 12});
    w[7] = gains({13, 14, 15, 30});
    const DWORD expected[16] = {1, 2, 3, 31, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 30};
    DWORD gain = 0;
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(dcb.GetAAlphaField().GetGain(i, &gain));
        EXPECT_EQ(gain, expected[i]) << i;
    }
    EXPECT_EQ(w[5] >> 16 & 0x1F, 31u);  // gain 3 is bits 16-20 of word 5
    gain = 77;
    EXPECT_FALSE(dcb.GetAAlphaField().GetGain(16, &gain));
    EXPECT_EQ(gain, 77u);
}

struct Geometry {
    DWORD length, lines, initial;
    bool operator==(const Geometry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Geometry& g) {
    return os << "L " << g.length << " Y " << g.lines << " I " << g.initial;
}

Geometry Calc(DWORD size, int mode, BOOL is16bit, Geometry in = {0, 0, 0}) {
    CalcDCBGeometry(size, &in.length, &in.lines, &in.initial, mode, is16bit);
    return in;
}

TEST(WexalDCBTest, GeometryOfTheWorkedSizes) {
    EXPECT_EQ(Calc(8192, 1, TRUE), (Geometry{1024, 1, 1024}));
    EXPECT_EQ(Calc(8192, 1, FALSE), (Geometry{512, 1, 512}));
    EXPECT_EQ(Calc(8200, 1, TRUE), (Geometry{1024, 2, 2}));
    EXPECT_EQ(Calc(1000000, 2, TRUE), (Geometry{478, 523, 6}));
    EXPECT_EQ(Calc(2000000, 2, TRUE), (Geometry{832, 600, 800}));
    EXPECT_EQ(Calc(1102336, 2, TRUE), (Geometry{478, 576, 256}));
    EXPECT_EQ(Calc(1102337, 2, TRUE), (Geometry{832, 331, 192}));
    EXPECT_EQ(Calc(0x242800, 2, TRUE).length, 832u);
    EXPECT_EQ(Calc(0x242801, 2, TRUE).length, 1216u);
    EXPECT_EQ(Calc(0x501A010, 2, TRUE).length, 1216u);
    EXPECT_EQ(Calc(0x501A011, 2, TRUE).length, 16382u);
    for (int mode : {1, 2})
        for (DWORD size : {0u, 3u}) {
            const Geometry g = Calc(size, mode, TRUE);
            EXPECT_EQ(g.lines, 0u);
            EXPECT_EQ(g.initial, 0u);
        }
    EXPECT_EQ(Calc(0, 0, TRUE, {100, 10, 0}), (Geometry{100, 9, 100}));
    EXPECT_EQ(Calc(0, 0, FALSE, {100, 10, 0}), (Geometry{50, 9, 50}));
    EXPECT_EQ(Calc(0, 0, TRUE, {100, 10, 7}), (Geometry{100, 10, 7}));
    EXPECT_EQ(Calc(5000, 3, FALSE, {1, 2, 3}), (Geometry{1, 2, 3}));
}

TEST(WexalDCBTest, GeometryCoversTheSizeAndKeepsLinesInTheField) {
    // With 16-bit elements the lines cover the size rounded down to whole DWORDs.
    std::mt19937 rng(11);
    for (int i = 0; i < 3000; ++i) {
        const DWORD size = rng() % (i < 1500 ? 0x3000000u : 0xF0000000u);
        for (int mode : {1, 2}) {
            const Geometry g = Calc(size, mode, TRUE);
            if (mode == 1 && size >= 0x10000000) continue;  // more lines than the field holds
            ASSERT_LE(g.lines, 0xFFFFu);
            ASSERT_GE(g.initial, size >= 4 ? 1u : 0u);
            ASSERT_LE(g.initial, g.length);
            ASSERT_EQ(uint64_t{g.lines} * g.length + g.initial, size / 4) << "size " << size << " mode " << mode;
        }
    }
    // 512 MiB in lines of 1024 DWORDs needs 131072 lines: held at the field's limit.
    EXPECT_EQ(Calc(0x20000000, 1, TRUE).lines, 0xFFFFu);
    EXPECT_EQ(Calc(0xFFFFFFFF, 2, TRUE).lines, 0xFFFFu);
    EXPECT_EQ(Calc(0, 0, TRUE, {4, 0x12345, 4}).lines, 0xFFFFu);

    // The record's setters take the geometry and answer 0 when it does not fit.
    WexalDCB dcb;
    dcb.GetOpField().SetNext(3);
    EXPECT_TRUE(dcb.SetGeometryForSize(2000000, TRUE));
    EXPECT_EQ(dcb.GetLineLength(), 832u);
    EXPECT_EQ(dcb.GetLines(), 600u);
    EXPECT_EQ(dcb.GetInitialLineLength(), 800u);
    EXPECT_EQ(dcb.GetOpField().Get16bit(), 1u);
    EXPECT_EQ(dcb.GetOpField().GetNext(), 3u);
    EXPECT_TRUE(dcb.SetGeometry(4000, 100, 10, 0, 0, FALSE));
    EXPECT_EQ(dcb.GetLineLength(), 50u);
    EXPECT_EQ(dcb.GetLines(), 9u);
    EXPECT_EQ(dcb.GetInitialLineLength(), 50u);
    EXPECT_EQ(dcb.GetOpField().Get16bit(), 0u);
    EXPECT_FALSE(dcb.SetGeometry(0x20000000, 0, 0, 0, 1, TRUE));
    EXPECT_EQ(dcb.GetLines(), 0xFFFFu);
    EXPECT_FALSE(dcb.SetGeometry(0, 0x20000, 1, 1, 0, TRUE));
}

}  // namespace
