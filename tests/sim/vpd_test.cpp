// Product-data images: the healthy fields of each board kind, the resource-tag layout, and each structure fault.
#include "sim/vpd.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using sim::BoardConfig;
using sim::BoardKind;
using sim::VpdDefect;

// Walks the image as the structure check does: positions of the read-only tag and of the end tag.
struct Walk {
    size_t roTag = 0, endTag = 0;
};

Walk WalkTags(const std::vector<uint8_t>& img) {
    Walk w;
    w.roTag = img[1] + 256u * img[2] + 3;
    w.endTag = w.roTag + img[w.roTag + 1] + 256u * img[w.roTag + 2] + 3;
    return w;
}

// Fields of the read-only resource, parsed independently of the builder.
std::map<std::string, std::string> Fields(const std::vector<uint8_t>& img) {
    std::map<std::string, std::string> out;
    const Walk w = WalkTags(img);
    for (size_t at = w.roTag + 3; at + 3 <= w.endTag;) {
        const size_t len = img[at + 2];
        out[std::string{static_cast<char>(img[at]), static_cast<char>(img[at + 1])}] =
            std::string(img.begin() + static_cast<long>(at + 3), img.begin() + static_cast<long>(at + 3 + len));
        at += 3 + len;
    }
    return out;
}

TEST(VpdImage, HealthyImageIsAValidResourceChainWithItsChecksum) {
    for (const BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        const auto img = sim::BuildVpdImage(sim::DefaultBoard(kind, "B"));
        ASSERT_EQ(img.size(), 0x400u);
        EXPECT_EQ(img[0], 0x82);
        const Walk w = WalkTags(img);
        ASSERT_EQ(img[w.roTag], 0x90);
        ASSERT_EQ(img[w.endTag], 0x79);
        unsigned sum = 0;
        for (size_t i = 0; i <= w.endTag + 1; ++i) sum += img[i];
        EXPECT_EQ(sum & 0xFF, 0u) << "all bytes through the checksum byte sum to 0";
        for (size_t i = w.endTag + 2; i < img.size(); ++i) ASSERT_EQ(img[i], 0) << "zero fill at " << i;
    }
}

TEST(VpdImage, DefaultFieldsNameTheFirmwareOfRevision0202) {
    const auto main = Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Brimola, "B")));
    // "$(VPDVER)" is the first four characters of ZB followed by those of ZC.
    EXPECT_EQ(main.at("ZB").substr(0, 4) + main.at("ZC").substr(0, 4), "0202");
    EXPECT_EQ(main.at("V0") + main.at("V1") + main.at("V2") + main.at("V3") + main.at("V4"), "LOCV0202TAZU0202TAZU0202FESK0202FESK0202");
    EXPECT_EQ(main.at("PN") + main.at("ZA"), sim::kBrimolaPartNumber + std::string("02"));
    for (const char* key : {"SN", "PN", "EC", "RL", "FN", "MN", "VI", "SI", "Z0", "Z1", "ZA", "ZB", "ZC", "ZD", "ZE", "VA",
                            "VB", "VC", "VD"})
        EXPECT_FALSE(main.at(key).empty()) << key;

    const auto codec = Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Nuxa, "N")));
    EXPECT_EQ(codec.at("PN"), "0418-27606-01") << "the number the programming command translates";
    EXPECT_EQ(codec.count("V0"), 0u) << "the codec board has no keyer or FPGA pair";
    EXPECT_EQ(codec.at("V3") + codec.at("V4"), "FESK0202FESK0202");
    EXPECT_NE(codec.at("SN"), main.at("SN"));
}

TEST(VpdImage, EachStructureFaultDamagesItsOwnPart) {
    const BoardConfig healthy = sim::DefaultBoard(BoardKind::Brimola, "B");
    const auto good = sim::BuildVpdImage(healthy);
    const Walk g = WalkTags(good);
    auto broken = [&](VpdDefect d) {
        BoardConfig c = healthy;
        c.faults.vpdBroken = {d};
        return sim::BuildVpdImage(c);
    };

    auto img = broken(VpdDefect::NameTag);
    EXPECT_NE(img[0], 0x82);
    EXPECT_TRUE(std::equal(img.begin() + 1, img.end(), good.begin() + 1)) << "only the name tag changes";

    img = broken(VpdDefect::VpdTag);
    EXPECT_TRUE(img[0] == 0x82 && img[g.roTag] != 0x90);
    img = broken(VpdDefect::EndTag);
    EXPECT_TRUE(img[WalkTags(img).roTag] == 0x90 && img[g.endTag] != 0x79);

    img = broken(VpdDefect::Length);
    const Walk l = WalkTags(img);
    EXPECT_EQ(img[l.roTag], 0x90);
    EXPECT_NE(img[l.endTag], 0x79) << "the claimed length misses the end tag";
    EXPECT_EQ(img[g.endTag], 0x79) << "the end tag itself is still where the fields end";

    img = broken(VpdDefect::Checksum);
    EXPECT_EQ(img[g.endTag], 0x79);
    unsigned sum = 0;
    for (size_t i = 0; i <= g.endTag + 1; ++i) sum += img[i];
    EXPECT_NE(sum & 0xFF, 0u);

    BoardConfig missing = healthy;
    missing.faults.vpdMissing = {"V2"};
    const auto fields = Fields(sim::BuildVpdImage(missing));
    EXPECT_EQ(fields.count("V2"), 0u);
    EXPECT_EQ(fields.at("V1"), "TAZU0202");
    EXPECT_EQ(fields.size(), Fields(good).size() - 1);
}

}  // namespace
