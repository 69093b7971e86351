// Writes the encoder test's reference compressed frames and decoded sources from the rig's stand-in encoder, or checks that a folder of them is current.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/chip/sorbelin_encoder.h"
#include "codec/dsp/zyv_file.h"
#include "framework/hw/oxd.h"
#include "images/image_8bit.h"
#include "images/unpacked_image.h"
#include "platform/files.h"
#include "sim/codec_chip.h"
#include "testdata/tools/fixture_files.h"
#include "testdata/tools/zyv_sets.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: make_encoded [--check] DIR\n"
                 "  writes, for each VCID of the encoder test's default list, DIR/<VCID>/E_*.img for every image-list\n"
                 "  entry of both list modes and DIR/<VCID>/Encoded_1.img, Encoded_2.img from the newest package set\n"
                 "  (the one installed), the same in DIR/<yyyymmdd>/<VCID>/ from each older set, and the sources\n"
                 "  DIR/Decoded_<X>_<Y>_<P>.img; with --check, compares instead and exits with 1 when a file is\n"
                 "  missing or differs\n");
    return 2;
}

constexpr DWORD kDecodedSeed = 0x5EED0DEC;

// The bytes each DMA unit carries into the chip: the whole picture, or its even and its odd lines.
std::vector<std::vector<uint8_t>> Units(const CImage& picture, DWORD lineBytes, bool fields) {
    const BYTE* data = picture.GetBuffer();
    const DWORD height = picture.GetHeight();
    if (!fields) return {std::vector<uint8_t>(data, data + picture.GetSize())};
    std::vector<std::vector<uint8_t>> units(2);
    for (DWORD line = 0; line < height / 2 * 2; ++line)
        units[line % 2].insert(units[line % 2].end(), data + line * lineBytes, data + (line + 1) * lineBytes);
    return units;
}

// The reference frame the chip gives for the picture: one unit, or two fields of half the size.
std::vector<uint8_t> Reference(const CImage& picture, const CZyvFile& package, const std::vector<uint8_t>& table, bool crc) {
    const bool fields = package.GetFrameLayout() == CZyvFile::kFrameLayoutFields;
    const DWORD frameBytes = package.GetMaxCompressedFrameSize();
    const DWORD lineBytes = picture.GetWidth() * (package.Is10Bit() ? 4 : 2);
    std::vector<uint8_t> frame;
    for (const std::vector<uint8_t>& unit : Units(picture, lineBytes, fields)) {
        sim::EncoderUnit u;
        u.input = unit.data();
        u.inputBytes = unit.size();
        u.width = package.GetRasterWidth() & 0xFFF;
        u.height = package.GetRasterHeight() & 0xFFF;
        u.tenBit = package.Is10Bit();
        u.vcid = package.GetVCID();
        u.table = &table;
        u.crc = crc;
        const std::vector<uint8_t> out = sim::EncodeUnit(u, fields ? frameBytes / 2 : frameBytes);
        frame.insert(frame.end(), out.begin(), out.end());
    }
    return frame;
}

std::string FileName(const CString& path) {
    const std::string text = path.str();
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::string dir;
    if (!fixturefiles::ParseCheckDir(argc, argv, check, dir)) return Usage();
    CString revisionTag;
    unsigned int revision = 0;
    COxd((std::string(PEX_TESTDATA_DIR) + "/oxd/GUWT0202.oxd").c_str(), 1).GetRevision(revisionTag);
    std::sscanf(revisionTag.c_str(), "%X", &revision);
    const bool crc = revision >= sim::kEncoderCrcRevision;

    CSorbelinEncoder encoder(nullptr, nullptr, nullptr, "CSorbelinEncoderA");
    CStrListImages images;
    CStrListResolutions resolutions;
    encoder.SetDefaultLists(images, resolutions, 1);  // the full list holds the plain one
    std::vector<CString> entries = images.GetEntries();
    for (const char* generation : {"1", "2"})
        entries.push_back(CString("RANDOM SEED=0x12345678=>E_RandS_") + generation + ".img");
    // The library's words end at a blank, so the sources are named from DIR as the station folder
    // (a station's own tree), never by DIR's path, which may hold one.
    platform::SetDriveRoot(std::filesystem::absolute(dir).string());
    encoder.SetEnvironment("VARIABLE=DECOMPRESS_IMAGE VALUE=\\Decoded_$(X)_$(Y)_$(P).img");

    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    auto add = [&](const std::string& path, std::vector<uint8_t> bytes) {
        files.emplace_back(path, std::move(bytes));
        // The decoded sources are read back while the references are made.
        if (!check && path.find("/Decoded_") != std::string::npos) fixturefiles::WriteFile("make_encoded", path, files.back().second);
    };
    if (!check) std::filesystem::create_directories(dir);
    int stale = 0;
    // The references are the stand-in encoder's frames with each set's tables: the installed
    // (newest) set's where the image lists name them, every older set's under its date.
    for (const uint32_t date : zyvgen::ReleaseDates()) {
        for (const DWORD vcid : encoder.GetVCIDList()) {
            const std::string packages = std::string(PEX_TESTDATA_DIR) + "/zyv/" + std::to_string(date);
            char hex[16];
            std::snprintf(hex, sizeof hex, "%X", vcid);
            const std::string folder = date == zyvgen::ReleaseDates().front() ? std::string(hex) : std::to_string(date) + "/" + hex;
            char zyv[32];
            std::snprintf(zyv, sizeof zyv, "/ZM%04X.zyv", vcid);
            CZyvFile package((packages + zyv).c_str());
            const BYTE* data = nullptr;
            DWORD size = 0;
            if (package.Load() != CZyvFile::kLoaded || !package.GetTable(CZyvFile::kTableEncode, data, size)) {
                std::fprintf(stderr, "make_encoded: cannot read %s%s\n", packages.c_str(), zyv);
                return 1;
            }
            const std::vector<uint8_t> table(data, data + size);
            const DWORD width = package.GetRasterWidth();
            DWORD height = package.GetTotalLinesPerFrame();
            if (!height) height = package.GetLinesPerFrame();
            if (!height) height = package.GetRasterHeight();
            const bool tenBit = package.Is10Bit();
            // The decoded source of this geometry, once.
            char decoded[64];
            std::snprintf(decoded, sizeof decoded, "/Decoded_%lu_%lu_%d.img", static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                          tenBit ? 10 : 8);
            bool have = false;
            for (const auto& f : files) have = have || f.first == dir + decoded;
            if (!have) {
                std::vector<uint8_t> bytes;
                if (tenBit) {
                    Unpacked::Image::YCbCr_10_6 picture(width, height);
                    picture.FillRandom(kDecodedSeed, 1, 0, 0x3FF);
                    bytes.assign(picture.GetBuffer(), picture.GetBuffer() + picture.GetSize());
                } else {
                    Image::YCbCr_8bit picture(width, height);
                    picture.FillRandom(kDecodedSeed, 1);
                    bytes.assign(picture.GetBuffer(), picture.GetBuffer() + picture.GetSize());
                }
                add(dir + decoded, std::move(bytes));
            }
            if (!check) std::filesystem::create_directories(dir + "/" + folder);
            for (const CString& text : entries) {
                CKeyValue entry(text, "=>");
                std::vector<std::string> names;
                if (entry.GetValue() == "Env.$(COMPRESS_IMAGE)") names = {"Encoded_1.img", "Encoded_2.img"};
                else names = {FileName(entry.GetValue())};
                std::vector<uint8_t> frame;
                // The entry's source picture, built by build, and its reference frame; false when the
                // source cannot be built.
                auto makeFrame = [&](auto& picture, auto build) {
                    if (check && entry.GetKey() == "Env.$(DECOMPRESS_IMAGE)") {
                        // Checking writes nothing: the source comes from the bytes made above.
                        for (const auto& f : files)
                            if (f.first == dir + decoded) std::memcpy(picture.GetBuffer(), f.second.data(), f.second.size());
                    } else if (!build(&picture)) {
                        return false;
                    }
                    frame = Reference(picture, package, table, crc);
                    return true;
                };
                bool made;
                if (tenBit) {
                    Unpacked::Image::YCbCr_10_6 picture(width, height);
                    made = makeFrame(picture, [&](auto* p) { return encoder.BuildSourceImage10(entry, p, vcid, 1); });
                } else {
                    Image::YCbCr_8bit picture(width, height);
                    made = makeFrame(picture, [&](auto* p) { return encoder.BuildSourceImage8(entry, p, vcid, 1); });
                }
                if (!made) return 1;
                for (const std::string& name : names) add(dir + "/" + folder + "/" + name, frame);
            }
        }
    }
    for (const auto& [path, bytes] : files) {
        if (check) {
            if (!fixturefiles::IsCurrent(path, bytes)) ++stale;
        } else if (path.find("/Decoded_") == std::string::npos && !fixturefiles::WriteFile("make_encoded", path, bytes)) {
            return 1;
        }
    }
    if (!check) std::printf("make_encoded: %zu files in %s\n", files.size(), dir.c_str());
    return stale ? 1 : 0;
}
