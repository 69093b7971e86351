// Product-data images: the healthy fields of each board kind, the resource-tag layout, and each structure fault.
#include "sim/vpd.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using sim::BoardConfig;
using sim::BoardKind;
using sim::VpdDefect;

// Positions of the read-only tag and the end tag, as the structure check walks them.
std::pair<size_t, size_t> Tags(const std::vector<uint8_t>& img) {
    const size_t ro = img[1] + 256u * img[2] + 3;
    return {ro, ro + img[ro + 1] + 256u * img[ro + 2] + 3};
}

unsigned SumThroughChecksum(const std::vector<uint8_t>& img, size_t end) {
    unsigned sum = 0;
    for (size_t i = 0; i <= end + 1; ++i) sum += img[i];
    return sum & 0xFF;
}

// Fields of the read-only resource, parsed independently of the builder.
std::map<std::string, std::string> Fields(const std::vector<uint8_t>& img) {
    std::map<std::string, std::string> out;
    const auto [ro, end] = Tags(img);
    for (size_t at = ro + 3; at + 3 <= end; at += 3 + img[at + 2])
        out[std::string{static_cast<char>(img[at]), static_cast<char>(img[at + 1])}] =
            std::string(img.begin() + static_cast<long>(at + 3), img.begin() + static_cast<long>(at + 3 + img[at + 2]));
    return out;
}

TEST(VpdImage, HealthyImagesAreValidChainsNamingTheFirmwareOfRevision0202) {
    for (const BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        const auto img = sim::BuildVpdImage(sim::DefaultBoard(kind, "B"));
        ASSERT_EQ(img.size(), 0x400u);
        const auto [ro, end] = Tags(img);
        ASSERT_EQ(img[0] * 0x10000 + img[ro] * 0x100 + img[end], 0x829079);
        EXPECT_EQ(SumThroughChecksum(img, end), 0u) << "all bytes through the checksum byte sum to 0";
        for (size_t i = end + 2; i < img.size(); ++i) ASSERT_EQ(img[i], 0) << "zero fill at " << i;
    }
    const auto main = Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Brimola, "B")));
    // "$(VPDVER)" is the first four characters of ZB followed by those of ZC.
    EXPECT_EQ(main.at("ZB").substr(0, 4) + main.at("ZC").substr(0, 4), "0202");
    EXPECT_EQ(main.at("V0") + main.at("V1") + main.at("V2") + main.at("V3") + main.at("V4"), "LOCV0202TAZU0202TAZU0202FESK0202FESK0202");
    EXPECT_EQ(main.at("PN") + main.at("ZA"), sim::kBrimolaPartNumber + std::string("02"));
    const auto codec = Fields(sim::BuildVpdImage(sim::DefaultBoard(BoardKind::Nuxa, "N")));
    EXPECT_EQ(codec.at("PN"), "0418-27606-01") << "the number the programming command translates";
    EXPECT_EQ(codec.count("V0"), 0u) << "no keyer or FPGA pair on the codec board";
    EXPECT_NE(codec.at("SN"), main.at("SN"));
}

TEST(VpdImage, EachStructureFaultDamagesItsOwnPart) {
    const BoardConfig healthy = sim::DefaultBoard(BoardKind::Brimola, "B");
    const auto good = sim::BuildVpdImage(healthy);
    const auto [ro, end] = Tags(good);
    auto broken = [&](VpdDefect d) {
        BoardConfig c = healthy;
        c.faults.vpdBroken = {d};
        return sim::BuildVpdImage(c);
    };
    auto img = broken(VpdDefect::NameTag);
    EXPECT_NE(img[0], 0x82);
    EXPECT_TRUE(std::equal(img.begin() + 1, img.end(), good.begin() + 1)) << "only the name tag changes";
    img = broken(VpdDefect::VpdTag);
    EXPECT_TRUE(img[0] == 0x82 && img[ro] != 0x90);
    img = broken(VpdDefect::EndTag);
    EXPECT_TRUE(img[ro] == 0x90 && img[end] != 0x79);
    img = broken(VpdDefect::Length);
    EXPECT_TRUE(img[Tags(img).second] != 0x79 && img[end] == 0x79) << "the claimed length misses the end tag";
    img = broken(VpdDefect::Checksum);
    EXPECT_TRUE(img[end] == 0x79 && SumThroughChecksum(img, end) != 0);
    BoardConfig missing = healthy;
    missing.faults.vpdMissing = {"V2"};
    const auto fields = Fields(sim::BuildVpdImage(missing));
    EXPECT_EQ(fields.count("V2"), 0u);
    EXPECT_EQ(fields.at("V1"), "TAZU0202");
    EXPECT_EQ(fields.size(), Fields(good).size() - 1);
}

}  // namespace
