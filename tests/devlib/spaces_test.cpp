// Address spaces: SDRAM transfers and windows, BAR0 registers, product data, register symbols.
#include <numeric>

#include "rig_fixture.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, SdramTransfersAreCappedPerCallAndShortAtTheEnd) {
    CWexalSDRAMSpace* s = Sdram("Nuxa1");
    std::vector<DWORD> out(0x200000), in(0x200000);
    std::iota(out.begin(), out.end(), 0x1000u);
    EXPECT_EQ(s->Set(out.data(), 0x100000, 0x800000), 0x400000) << "at most 4 MiB per call";
    EXPECT_EQ(s->Get(in.data(), 0x100000, 0x400000), 0x400000);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 0x100000, out.begin()));
    EXPECT_EQ(s->Set(out.data(), (256u << 20) - 8, 16), 8);
    EXPECT_EQ(s->Get(in.data(), 256u << 20, 4), 0);
    EXPECT_EQ(s->Set(out.data(), 0, 0), 0) << "a zero-length trailer moves nothing and says so";
}

TEST_F(RigTest, SdramWindowsReachTheSameMemory) {
    CWexalSDRAMSpace* s = Sdram("Brimola1");
    EXPECT_NE(s->GetSDRAMWindow(KWO_RAMWIN_1), 0xFFFFFFFFu);
    EXPECT_NE(s->GetSDRAMWindow(KWO_RAMWIN_1), s->GetSDRAMWindow(KWO_RAMWIN_2));
    EXPECT_EQ(s->GetSDRAMWindow(static_cast<KWO_RAMWINTYPE>(3)), 0xFFFFFFFFu);
    auto* w1 = static_cast<DWORD*>(s->GetSDRAMPointer(KWO_RAMWIN_1, 0x1000, 512));
    ASSERT_NE(w1, nullptr);
    for (int i = 0; i < 128; ++i) w1[i] = 0xBAD00000u | static_cast<DWORD>(i);
    EXPECT_TRUE(s->FlushSDRAM(0));
    auto* w2 = static_cast<DWORD*>(s->GetSDRAMPointer(KWO_RAMWIN_2, 0x1000, 512));
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(w2[5], 0xBAD00005u);
    DWORD v = 0;
    EXPECT_EQ(s->Get(&v, 0x1000 + 4 * 127, 4), 4);
    EXPECT_EQ(v, 0xBAD0007Fu);
    EXPECT_EQ(s->GetSDRAMPointer(static_cast<KWO_RAMWINTYPE>(0), 0, 4), nullptr);
    EXPECT_EQ(s->GetRdPointer((512u << 20) - 4, 8), nullptr);
    EXPECT_NE(s->GetWrPointer((512u << 20) - 4, 4), nullptr);
}

TEST_F(RigTest, Bar0RegistersRevisionPresentMasksAndBlockAccess) {
    RegisterPtr r = Regs("Brimola1");
    ASSERT_TRUE(r);
    EXPECT_EQ(r[0x40000 / 4] & 0xFFF, 0xC75u);
    EXPECT_GT(r[0x40000 / 4] & 0xFFF, 0x47u);
    const DWORD lo = r[0x58308 / 4], hi = r[0x5830C / 4];
    EXPECT_EQ(__builtin_popcount(lo) + __builtin_popcount(hi), 47);
    EXPECT_EQ(lo >> 31, 0u) << "channel 31 is not present";
    EXPECT_TRUE(hi >> (40 - 32) & 1) << "channel 40 is tested with bit 8 of the high mask";
    EXPECT_TRUE(lo >> 12 & 1);
    EXPECT_FALSE(lo >> 7 & 1);
    EXPECT_EQ((r[0x48044 / 4] >> 4) & 7, 6u) << "CAS latency code 2.5";
    // Writes of 0x80 then 1 to a control word leave the channel enabled, not aborted.
    r[(0x58000 + 4 * 57) / 4] = 0x80;
    r[(0x58000 + 4 * 57) / 4] = 1;
    EXPECT_EQ(r[(0x58000 + 4 * 57) / 4], 1u);
    // Compound assignment is a read then a write.
    r[0x48048 / 4] |= 0x80000000u;
    r[0x48048 / 4] &= 0x7FFFFFFFu;
    r[0x48048 / 4] |= 0x10u;
    EXPECT_EQ(r[0x48048 / 4], 0x10u);
    const RegisterRef scratch = r[0x40060 / 4];  // a reference kept aside still reaches its register
    scratch = r[0x48048 / 4];
    EXPECT_EQ(r[0x40060 / 4], 0x10u);
    EXPECT_EQ((r + 0x40000 / 4)[0x60 / 4], 0x10u);
    EXPECT_EQ((r + 0x40060 / 4) - r, 0x40060 / 4);
    EXPECT_EQ(r[0x100000 / 4], 0u) << "past the window";
    // The space's Get/Set move whole registers only.
    CDevAddrSpace* bar0 = Board("Brimola1")->GetBAR0Space();
    DWORD words[2] = {};
    EXPECT_EQ(bar0->Get(words, 0x58308, 8), 8);
    EXPECT_EQ(words[0], lo);
    EXPECT_EQ(words[1], hi);
    EXPECT_EQ(bar0->Get(words, 0x58309, 4), 0);
    EXPECT_EQ(bar0->GetRdPointer(0, 0x100000), nullptr);
    EXPECT_FALSE(bar0->GetRegisterPointer(0x80000, 0x100000));
}

TEST_F(RigTest, ProductDataFieldsAndImageStructure) {
    auto* bar0 = Board("Brimola1")->GetBAR0Space();
    int len = -1;
    EXPECT_EQ(bar0->GetVPDField("SN", 0, nullptr, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(len, 10);
    char buf[79];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(bar0->GetVPDField("SN", 4, buf, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(std::string(buf, 5), "BRM0#") << "at most size bytes, unterminated";
    EXPECT_EQ(bar0->GetVPDField("ZB", 79, buf, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "02");
    EXPECT_EQ(bar0->GetVPDField("QQ", 79, buf, &len), PCI_VPD::VPD_KEY_NOT_FOUND);
    EXPECT_EQ(len, 0);
    // The image at BAR0 0x2000 walks as the VPD structure check walks it.
    RegisterPtr r = Regs("Brimola1");
    BYTE img[0x400];
    for (int i = 0; i < 0x100; ++i) {
        const DWORD w = r[(0x2000 + 4 * i) / 4];
        std::memcpy(img + 4 * i, &w, 4);
    }
    ASSERT_EQ(img[0], 0x82);
    DWORD pos = img[1] + 256u * img[2] + 3;
    ASSERT_EQ(img[pos], 0x90);
    pos = pos + img[pos + 1] + 256u * img[pos + 2] + 3;
    ASSERT_EQ(img[pos], 0x79);
    BYTE sum = 0;
    for (DWORD i = 0; i <= pos + 1; ++i) sum = static_cast<BYTE>(sum + img[i]);
    EXPECT_EQ(sum, 0) << "checksum byte after the end tag";
    EXPECT_EQ(img[pos + 2], 0);

    LoadJson(R"({"boards": [{"tag": "B1", "kind": "brimola", "vpd": {"SN": "ABC", "ZB": null}}]})");
    bar0 = Board("B1")->GetBAR0Space();
    EXPECT_EQ(bar0->GetVPDField("SN", 79, buf, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(std::string(buf, 3), "ABC");
    EXPECT_EQ(bar0->GetVPDField("ZB", 79, buf, &len), PCI_VPD::VPD_KEY_NOT_FOUND);
}

TEST_F(RigTest, RegisterSymbolsNameEachChannelBlock) {
    auto* bar0 = Board("Nuxa1")->GetBAR0Space();
    ASSERT_TRUE(bar0->AreSymbolsAvailable());
    CPPVarDesc copy;
    const CPPVarDesc* crb = bar0->GetSymbolDesc("DMACRB", &copy);
    ASSERT_NE(crb, nullptr);
    EXPECT_EQ(copy.offset, 0x60000u);
    // The look-up a test makes for channel 12: the entry of size 512 at the channel's offset.
    const CPPVarDesc* hit = nullptr;
    for (int i = 0; i < crb->entryCount; ++i)
        if (crb->entries[i].size == 0x200 && crb->entries[i].offset == crb->offset + 12 * 512) hit = &crb->entries[i];
    ASSERT_NE(hit, nullptr);
    EXPECT_STREQ(hit->name, "PCIWRITE1");
    for (int i = 0; i < crb->entryCount; ++i) EXPECT_NE(crb->entries[i].offset, crb->offset + 7 * 512) << "unused channel";
    EXPECT_EQ(bar0->GetSymbolDesc("NOSUCH"), nullptr);
    EXPECT_FALSE(Board("Nuxa1")->GetSDRAMSpace()->AreSymbolsAvailable());
}

}  // namespace
