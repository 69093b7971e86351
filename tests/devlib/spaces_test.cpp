// Address spaces: SDRAM transfers and windows, BAR0 registers, product data, register symbols, module SPD.
#include <map>
#include <numeric>
#include <string>
#include <typeinfo>

#include "devlib/box_spaces.h"
#include "rig_fixture.h"

namespace {

using devtest::RigTest;

TEST_F(RigTest, SdramTransfersAndBar0RegistersChannelMasksAndWholeWordAccess) {
    CWexalSDRAMSpace* s = Sdram("Nuxa1");
    std::vector<DWORD> out(0x200000), in(0x200000);
    std::iota(out.begin(), out.end(), 0x1000u);
    EXPECT_EQ(s->Set(out.data(), 0x100000, 0x800000), 0x400000) << "at most 4 MiB per call";
    EXPECT_EQ(s->Get(in.data(), 0x100000, 0x400000), 0x400000);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 0x100000, out.begin()));
    EXPECT_EQ(s->Set(out.data(), (256u << 20) - 8, 16), 8);
    EXPECT_EQ(s->Get(in.data(), 256u << 20, 4) + s->Set(out.data(), 0, 0), 0);
    // Both windows reach the same memory once flushed; other window numbers give nothing.
    s = Sdram("Brimola1");
    EXPECT_NE(s->GetSDRAMWindow(KWO_RAMWIN_1), s->GetSDRAMWindow(KWO_RAMWIN_2));
    EXPECT_EQ(s->GetSDRAMWindow(static_cast<KWO_RAMWINTYPE>(3)), 0xFFFFFFFFu);
    auto* w1 = static_cast<DWORD*>(s->GetSDRAMPointer(KWO_RAMWIN_1, 0x1000, 512));
    for (DWORD i = 0; i < 128; ++i) w1[i] = 0xBAD00000u | i;
    EXPECT_TRUE(s->FlushSDRAM(0));
    EXPECT_EQ(static_cast<DWORD*>(s->GetSDRAMPointer(KWO_RAMWIN_2, 0x1000, 512))[5], 0xBAD00005u);
    DWORD v = 0;
    EXPECT_EQ(s->Get(&v, 0x1000 + 4 * 127, 4), 4);
    EXPECT_EQ(v, 0xBAD0007Fu);
    EXPECT_EQ(s->GetSDRAMPointer(static_cast<KWO_RAMWINTYPE>(0), 0, 4), nullptr);
    EXPECT_EQ(s->GetRdPointer((512u << 20) - 4, 8), nullptr);
    // BAR0: registers, revision, channel masks and whole-word access.
    RegisterPtr r = Regs("Brimola1");
    EXPECT_EQ(r[0x40000 / 4] & 0xFFF, 0xC75u);
    const DWORD lo = r[0x58308 / 4], hi = r[0x5830C / 4];
    EXPECT_EQ(__builtin_popcount(lo) + __builtin_popcount(hi), 47);
    EXPECT_EQ((lo >> 31) + (lo >> 7 & 1), 0u) << "channels 7 and 31 are not present";
    EXPECT_EQ((hi >> 8 & 1) + (lo >> 12 & 1), 2u) << "channel 40 is bit 8 of the high mask";
    // Writes of 0x80 then 1 to a control word leave the channel enabled; compound assignment reads, then writes.
    r[(0x58000 + 4 * 57) / 4] = 0x80;
    r[(0x58000 + 4 * 57) / 4] = 1;
    EXPECT_EQ(r[(0x58000 + 4 * 57) / 4], 1u);
    r[0x48048 / 4] |= 0x80000000u;
    r[0x48048 / 4] &= 0x7FFFFFFFu;
    r[0x48048 / 4] |= 0x10u;
    const RegisterRef scratch = r[0x40060 / 4];  // a reference kept aside still reaches its register
    scratch = r[0x48048 / 4];
    EXPECT_EQ((r + 0x40000 / 4)[0x60 / 4], 0x10u);
    EXPECT_EQ(r[0x100000 / 4], 0u) << "past the window";
    CDevAddrSpace* bar0 = Board("Brimola1")->GetBAR0Space();
    DWORD words[2] = {};
    EXPECT_EQ(bar0->Get(words, 0x58308, 8), 8);
    EXPECT_EQ(words[1], hi);
    EXPECT_EQ(bar0->Get(words, 0x58309, 4), 0);
    EXPECT_FALSE(bar0->GetRegisterPointer(0x80000, 0x100000));
    // A product-data field is copied up to the buffer's size, unterminated.
    char buf[8] = "#######";
    int len = -1;
    EXPECT_EQ(Board("Brimola1")->GetBAR0Space()->GetVPDField("SN", 4, buf, &len), PCI_VPD::VPD_OK);
    EXPECT_EQ(std::string(buf, 5), "BRM0#");
}

// A read view holds what Get copies out, on a healthy memory only: a faulty one is read through Get,
// so its flips fall on the reads they would fall on without the view.
TEST_F(RigTest, ReadViewsShowWhatGetReadsAndOnlyOnAHealthyMemory) {
    std::vector<DWORD> out(0x1000), in(0x1000);
    std::iota(out.begin(), out.end(), 0xA5000000u);
    CWexalSDRAMSpace* s = Sdram("Nuxa1");
    ASSERT_EQ(s->Set(out.data(), 0x2000, 0x4000), 0x4000);
    const auto* view = static_cast<const DWORD*>(s->GetReadView(0x2000, 0x4000));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), view));
    // It shows later writes where they land, and nothing past the memory's end.
    out[7] = 0x12345678;
    ASSERT_EQ(s->Set(out.data() + 7, 0x2000 + 28, 4), 4);
    EXPECT_EQ(view[7], 0x12345678u);
    EXPECT_EQ(s->GetReadView((256u << 20) - 4, 8), nullptr);
    EXPECT_NE(s->GetReadView((256u << 20) - 8, 8), nullptr);
    const char* faulty[] = {R"({"kind": "sdram_bit_flips", "board": "Nuxa1", "rate": 0.5, "seed": 3})",
                            R"({"kind": "sdram_stuck_bit", "board": "Nuxa1", "from": 0, "to": 4096, "bit": 2, "value": 1})",
                            R"({"kind": "sdram_address_alias", "board": "Nuxa1", "line": 20, "stuck": 0})"};
    for (const char* fault : faulty) {
        SCOPED_TRACE(fault);
        LoadJson((std::string(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa"}], "faults": [)") + fault + "]}").c_str());
        EXPECT_EQ(Sdram("Nuxa1")->GetReadView(0x2000, 0x4000), nullptr);
        EXPECT_EQ(Sdram("Nuxa1")->Get(in.data(), 0x2000, 0x4000), 0x4000) << "Get still reads it";
    }
    // A channel's fault acts on its transfers, and another board's memory fault on that memory:
    // neither changes what this memory's reads give, so the view stays.
    const char* elsewhere[] = {R"({"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": 1})",
                               R"({"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 3, "value": 1})"};
    for (const char* fault : elsewhere) {
        SCOPED_TRACE(fault);
        LoadJson((std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}], "faults": [)") +
                  fault + "]}").c_str());
        ASSERT_EQ(Sdram("Nuxa1")->Set(out.data(), 0x2000, 0x4000), 0x4000);
        const auto* still = static_cast<const DWORD*>(Sdram("Nuxa1")->GetReadView(0x2000, 0x4000));
        ASSERT_NE(still, nullptr);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), still));
    }
}

TEST_F(RigTest, RegisterSymbolsNameEachChannelBlockAndDimmSpacesKnowTheirCapacity) {
    auto* bar0 = Board("Nuxa1")->GetBAR0Space();
    CPPVarDesc copy;
    const CPPVarDesc* crb = bar0->GetSymbolDesc("DMACRB", &copy);
    ASSERT_NE(crb, nullptr);
    EXPECT_EQ(copy.offset, 0x60000u);
    // The look-up a test makes for channel 12: the entry of size 512 at the channel's offset.
    std::map<DWORD, std::string> byChannel;
    for (int i = 0; i < crb->entryCount; ++i) byChannel[(crb->entries[i].offset - crb->offset) / 512] += crb->entries[i].name;
    EXPECT_EQ(byChannel[12], "PCIWRITE1");
    EXPECT_EQ(byChannel.count(7), 0u) << "unused channel";
    EXPECT_EQ(bar0->GetSymbolDesc("NOSUCH"), nullptr);
    EXPECT_FALSE(Board("Nuxa1")->GetSDRAMSpace()->AreSymbolsAvailable());
    // The module's capacity is read from its SPD once: rows (byte 5) x bank density (byte 31) x 4 MiB.
    for (auto [tag, mib] : {std::pair{"Brimola1", 512u}, std::pair{"Nuxa1", 256u}}) {
        auto* dimm = dynamic_cast<CWexalI2CDIMMSpace*>(Board(tag)->GetSpace("I2C.DIMM2"));
        ASSERT_NE(dimm, nullptr) << tag;
        EXPECT_EQ(dimm->GetDIMMCapacity(), mib) << tag;
        // Byte 63 is the sum of bytes 0 to 62, the first one included.
        BYTE spd[64] = {};
        ASSERT_EQ(dimm->GetBytes(spd, 0, 64), 64) << tag;
        BYTE sum = 0;
        for (int i = 0; i < 63; ++i) sum = static_cast<BYTE>(sum + spd[i]);
        EXPECT_NE(spd[0], 0) << tag;
        EXPECT_EQ(spd[63], sum) << tag;
        const BYTE b = 0;
        EXPECT_EQ(dimm->Set(&b, 0, 1) + dimm->SetBytes(&b, 0, 1), 0) << tag;
    }
    EXPECT_EQ(CWexalI2CDIMMSpace().GetDIMMCapacity(), 0u);
}

template <class T>
bool Is(CDevAddrSpace* space) {
    return dynamic_cast<T*>(space) != nullptr;
}

// The breakout box's devices as spaces of the board with the box: each of its class and family,
// connected, with no mapping and nothing moved; copies keep every field. The connector's own space
// stays the first of its kind, and a board without the box has none of them.
TEST_F(RigTest, TheBreakoutBoxOffersItsDeviceSpacesWithoutDataAccess) {
    struct Row {
        const char* name;
        const std::type_info& type;
        bool (*inFamily)(CDevAddrSpace*);
    } rows[] = {
        {"Nulk.VPD", typeid(CQZSpaceNulkVPD), Is<CQZSpaceVPD>},      {"Dolwer.VPD", typeid(CQZSpaceDolwerVPD), Is<CQZSpaceVPD>},
        {"Bexi.VPD", typeid(CQZSpaceBexiVPD), Is<CQZSpaceVPD>},      {"Dembrolis", typeid(CQZSpaceDembrolis), Is<CQZ_FPGASpace>},
        {"Fenmora", typeid(CQZSpaceFenmora), Is<CQZ_FPGASpace>},     {"Omvar", typeid(CQZSpaceOmvar), Is<CQZ_CPLDSpace>},
        {"Vonkrel", typeid(CQZSpaceVonkrel), Is<CQZ_CPLDSpace>},     {"Kelpin", typeid(CQZSpaceKelpin), Is<CQZ_CPLDSpace>},
        {"Vandosel", typeid(CQZSpaceVandosel), Is<CQZSpaceVandosel>},
    };
    auto* connector = dynamic_cast<CFarnoDeKAddrSpace*>(Board("Brimola1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0));
    ASSERT_NE(connector, nullptr);
    EXPECT_EQ(connector->GetName(), "FarnoDeK");
    CFarnoDeKDevice* box = connector->GetBoxDevice();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetSpaceCount(), static_cast<int>(std::size(rows)));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* space = dynamic_cast<CFarnoDeKAddrSpace*>(Board("Brimola1")->GetSpace(row.name));
        ASSERT_NE(space, nullptr);
        EXPECT_TRUE(typeid(*space) == row.type) << typeid(*space).name();
        EXPECT_TRUE(row.inFamily(space));
        EXPECT_EQ(space->GetType(), CDevAddrSpace::SPACE_FARNODEK);
        EXPECT_EQ(space->GetBoxDevice(), box);
        EXPECT_TRUE(space->IsConnected());
        BYTE bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(space->Get(bytes, 0, 4) + space->Set(bytes, 0, 4) + space->GetBytes(bytes, 0, 4) + space->SetBytes(bytes, 0, 4), 0);
        EXPECT_EQ(space->GetRdPointer(0, 4), nullptr);
        EXPECT_EQ(space->GetWrPointer(0, 4), nullptr);
        EXPECT_EQ(space->EraseBytes(0, 4), -1);
        DWORD physical = 0;
        EXPECT_FALSE(space->GetPhysAddress(0, &physical));
        EXPECT_EQ(physical, 0xFFFFFFFFu);
        space->SetSize(27);
        space->HandleDisconnect();
        const CFarnoDeKAddrSpace copy(*space);
        EXPECT_EQ(copy.GetName(), row.name);
        EXPECT_EQ(copy.GetSize(), 27u);
        EXPECT_FALSE(copy.IsConnected());
        EXPECT_EQ(copy.GetBoxDevice(), box);
        space->HandleReconnect();
        EXPECT_TRUE(space->IsConnected());
        EXPECT_EQ(Board("Nuxa1")->GetSpace(row.name), nullptr) << "no box on the codec board";
    }
    LoadJson(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"loopback_cable": true}}]})");
    EXPECT_EQ(Board("Brimola1")->GetSpace("Nulk.VPD"), nullptr) << "a loopback cable carries no devices";
}

}  // namespace
