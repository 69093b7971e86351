// Product-data images: the healthy fields per board kind and the resource-tag layout with its faults.
#include "sim/vpd.h"

#include <algorithm>

namespace sim {

std::vector<std::pair<std::string, std::string>> DefaultVpdFields(BoardKind kind) {
    const bool main = kind == BoardKind::Brimola;
    const std::string rev = kVpdRevision;
    std::vector<std::pair<std::string, std::string>> f = {
        {"SN", main ? "BRM0000001" : "NUX0000001"},
        {"PN", main ? kBrimolaPartNumber : kNuxaPartNumber},
        {"EC", "A"},
        {"RL", rev},
        {"FN", main ? kBrimolaPartNumber : kNuxaPartNumber},
        {"MN", "Pexano"},
        {"VI", main ? "1B7A:0052" : "1B7A:0053"},
        {"SI", main ? "1B7A:0001" : "1B7A:0002"},
        {"Z0", "20040614"},
        {"Z1", "20040614"},
        {"ZA", "02"},  // artwork 2 or later: codec chip B reports its own device id
        {"ZB", rev.substr(0, 2)},
        {"ZC", rev.substr(2, 2)},
        {"ZD", "00"},
        {"ZE", main ? "ZVK" : "KEZO"},
        {"VA", rev},
        {"VB", rev},
        {"VC", rev},
        {"VD", rev},
    };
    // Firmware image of each programmable FPGA, by device number (0 keyer, 1-2 the pair, 3-4 the board links).
    if (main) {
        f.emplace_back("V0", "LOCV" + rev);
        f.emplace_back("V1", "TAZU" + rev);
        f.emplace_back("V2", "TAZU" + rev);
    }
    f.emplace_back("V3", "FESK" + rev);
    f.emplace_back("V4", "FESK" + rev);
    return f;
}

std::vector<uint8_t> BuildVpdImage(const BoardConfig& config) {
    const auto& faults = config.faults;
    auto has = [&](VpdDefect d) { return std::find(faults.vpdBroken.begin(), faults.vpdBroken.end(), d) != faults.vpdBroken.end(); };

    const std::string id = config.kind == BoardKind::Brimola ? "Pexano Brimola" : "Pexano Nuxa";
    std::vector<uint8_t> img;
    img.push_back(0x82);
    img.push_back(static_cast<uint8_t>(id.size()));
    img.push_back(0);
    img.insert(img.end(), id.begin(), id.end());

    std::vector<uint8_t> fields;
    for (const auto& [key, value] : config.vpd) {
        if (std::find(faults.vpdMissing.begin(), faults.vpdMissing.end(), key) != faults.vpdMissing.end()) continue;
        const size_t len = std::min<size_t>(value.size(), 255);
        fields.push_back(static_cast<uint8_t>(key[0]));
        fields.push_back(static_cast<uint8_t>(key[1]));
        fields.push_back(static_cast<uint8_t>(len));
        fields.insert(fields.end(), value.begin(), value.begin() + static_cast<long>(len));
    }
    // The rig reader keeps the fields small enough; room for the end tag, checksum and a zero stays.
    const size_t room = kVpdImageBytes - img.size() - 3 - 3;
    if (fields.size() > room) fields.resize(room);

    img.push_back(0x90);
    // A damaged length claims 8 bytes more than the fields hold: the end tag is looked for in the zero fill.
    const size_t claimed = fields.size() + (has(VpdDefect::Length) ? 8 : 0);
    img.push_back(static_cast<uint8_t>(claimed & 0xFF));
    img.push_back(static_cast<uint8_t>(claimed >> 8));
    img.insert(img.end(), fields.begin(), fields.end());
    img.push_back(0x79);
    uint8_t sum = 0;
    for (uint8_t b : img) sum = static_cast<uint8_t>(sum + b);
    img.push_back(static_cast<uint8_t>(-sum));
    img.resize(kVpdImageBytes, 0);

    // Damage after the checksum was taken, as a bad programming would leave it.
    const size_t roTag = 3 + id.size();
    const size_t endTag = roTag + 3 + fields.size();
    if (has(VpdDefect::NameTag)) img[0] = 0xFF;
    if (has(VpdDefect::VpdTag)) img[roTag] = 0x91;
    if (has(VpdDefect::EndTag)) img[endTag] = 0x78;
    if (has(VpdDefect::Checksum)) img[endTag + 1] = static_cast<uint8_t>(img[endTag + 1] + 0x5A);
    return img;
}

}  // namespace sim
