// Writes the GenFile the engineering tree plays to the test board (testdata/wemp_bars.gen), or checks that the checked-in one is current.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Four frames of 64 x 16 words of 8-bit 4:2:2 (Cb, Y0, Cr, Y1 a word), eight colour bars that move
// one bar to the left each frame, so a monitor on the test board shows whether the ring turns.
constexpr uint32_t kFrames = 4, kWords = 64, kLines = 16, kBlock = 4096, kHeader = 4096;
constexpr uint32_t kFrameBytes = kWords * kLines * 4;
constexpr uint8_t kBars[8][3] = {{128, 235, 128}, {16, 210, 146}, {166, 170, 16}, {54, 145, 34},
                                 {202, 106, 222}, {90, 81, 240}, {240, 41, 110}, {128, 16, 128}};  // Cb, Y, Cr

void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
    for (int b = 0; b < width; ++b) bytes[at + b] = static_cast<uint8_t>(value >> 8 * b);
}

std::vector<uint8_t> BuildGenFile() {
    std::vector<uint8_t> bytes(kHeader + kFrames * kBlock, 0);
    Put(bytes, 44, kLines << 2, 4);  // (field >> 2) - 1 whole lines after the initial one
    Put(bytes, 48, kWords, 4);
    Put(bytes, 52, kFrameBytes, 4);
    Put(bytes, 56, kFrames, 8);
    Put(bytes, 176, kBlock, 4);
    Put(bytes, 180, 0, 4);
    for (uint32_t n = 0; n < kFrames; ++n)
        for (uint32_t i = 0; i < kFrameBytes / 4; ++i) {
            const uint8_t* bar = kBars[(i % kWords * 8 / kWords + n) % 8];
            const size_t at = kHeader + n * kBlock + 4 * i;
            Put(bytes, at, uint32_t{bar[0]} | uint32_t{bar[1]} << 8 | uint32_t{bar[2]} << 16 | uint32_t{bar[1]} << 24, 4);
        }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: make_genfile [--check] FILE\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    const std::vector<uint8_t> bytes = BuildGenFile();
    if (check) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (have == bytes) return 0;
        std::printf("%s: %s\n", path.c_str(), in ? "differs" : "missing");
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_genfile: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
