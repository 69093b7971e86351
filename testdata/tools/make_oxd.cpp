// Writes the synthetic OXD firmware images of the simulated rig (testdata/oxd), or checks that the checked-in ones are current.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "sim/codec_bridge.h"
#include "sim/firmware_images.h"
#include "testdata/tools/fixture_files.h"
#include "testdata/tools/zyv_sets.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: make_oxd [--check] DIR\n"
                 "  writes every image of the set as DIR/<ID>0202.oxd the DSP microcode as DIR/KAWF0101.oxd\n"
                 "  and the codec diagnostics, encoder, packer and unpacker images DIR/SDIA0202.oxd,\n"
                 "  DIR/GUWT0202.oxd, DIR/PAQE0202.oxd, DIR/PAQF0202.oxd, DIR/UPQE0202.oxd;\n"
                 "  with --check, compares instead and\n"
                 "  exits with 1 when a file is missing or differs\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::string dir;
    if (!fixturefiles::ParseCheckDir(argc, argv, check, dir)) return Usage();
    // The fixtures carry the default rig's running Wexal revision.
    const uint32_t revision = sim::BoardConfig{}.revision;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (const sim::FirmwareImage& image : sim::FirmwareCatalogue())
        files.emplace_back(sim::FirmwareFileName(image), sim::BuildOxdFile(image, revision));
    // The codec board's DSP microcode.
    files.emplace_back("KAWF0101.oxd", sim::BuildDspMicrocodeOxd(sim::kDspMicrocodeRevision));
    // The codec chips' diagnostics image.
    files.emplace_back(std::string(sim::kDiagnosticsImageId) + "0202.oxd", sim::BuildCodecChipOxd(sim::kDiagnosticsImageId, sim::CodecChip::kDiagnosticsIdWord));
    // The codec chips' encoder image, naming in its tag 'X' the table packages of the set.
    std::string packages;
    for (const zyvgen::Format& format : zyvgen::Formats()) {
        const std::string file = zyvgen::FileName(format.vcid);
        packages += (packages.empty() ? "" : ",") + file.substr(0, file.find('.'));
    }
    files.emplace_back(std::string(sim::kEncoderImageId) + "0202.oxd",
                       sim::BuildCodecChipOxd(sim::kEncoderImageId, sim::CodecChip::kEncoderIdWord, packages));
    // The codec chips' packer images (revision 0424, and FFFF for the memory self-tests) and unpacker image.
    files.emplace_back(std::string(sim::kPackerImageId) + "0202.oxd", sim::BuildCodecChipOxd(sim::kPackerImageId, sim::CodecChip::kPackerIdWord));
    files.emplace_back(std::string(sim::kPackerTestImageId) + "0202.oxd",
                       sim::BuildCodecChipOxd(sim::kPackerTestImageId, sim::CodecChip::kPackerTestIdWord));
    files.emplace_back(std::string(sim::kUnpackerImageId) + "0202.oxd", sim::BuildCodecChipOxd(sim::kUnpackerImageId, sim::CodecChip::kUnpackerIdWord));
    int stale = 0;
    for (const auto& [name, bytes] : files) {
        const std::string path = dir + "/" + name;
        if (check) {
            if (!fixturefiles::IsCurrent(path, bytes)) ++stale;
            continue;
        }
        if (!fixturefiles::WriteFile("make_oxd", path, bytes)) return 1;
        std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    }
    return stale ? 1 : 0;
}
