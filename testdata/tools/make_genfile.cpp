// Writes the GenFile the engineering tree plays to the test board (testdata/wemp_bars.gen), or checks that the checked-in one is current.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// What a reader of the format needs to take a file for a GenFile: a whole header, a block size
// and a frame size. Only such a file is ever replaced.
bool LooksLikeGenFile(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kHeader) return false;
    auto field = [&](size_t at) { return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 | uint32_t{bytes[at + 3]} << 24; };
    return field(176) != 0 && field(52) != 0;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Usage(std::FILE* to, int status) {
    std::fprintf(to,
                 "usage: make_genfile [--check] FILE\n"
                 "  writes the test board's GenFile (four frames of moving colour bars) as FILE; an existing\n"
                 "  FILE is replaced only when it is a regular file that reads as a GenFile\n"
                 "  --check  compares FILE with the GenFile instead; exits with 1 when it is missing or differs\n"
                 "  --help   shows this text\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::string path;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return Usage(stdout, 0);
        if (std::strcmp(arg, "--check") == 0) {
            check = true;
        } else if (arg[0] == '-' || named || arg[0] == '\0') {
            // An unknown option, or a second or empty file name: nothing is written.
            std::fprintf(stderr, "make_genfile: %s \"%s\"\n", arg[0] == '-' ? "unknown option" : "unexpected argument", arg);
            return Usage(stderr, 2);
        } else {
            path = arg;
            named = true;
        }
    }
    if (!named) {
        std::fprintf(stderr, "make_genfile: no FILE given\n");
        return Usage(stderr, 2);
    }
    const std::vector<uint8_t> bytes = BuildGenFile();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    const bool exists = std::filesystem::exists(status);
    if (check) {
        // Only a regular file is read: a FIFO would wait for a writer.
        const bool regular = std::filesystem::is_regular_file(status);
        if (regular && ReadAll(path) == bytes) return 0;
        std::printf("%s: %s\n", path.c_str(), !exists ? "missing" : regular ? "differs" : "not a regular file");
        return 1;
    }
    if (exists && (!std::filesystem::is_regular_file(status) || !LooksLikeGenFile(ReadAll(path)))) {
        std::fprintf(stderr, "make_genfile: %s exists and is not a GenFile; it is left as it is\n", path.c_str());
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
