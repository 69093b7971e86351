// The board initialisation program the board roots start ("InitPexano.exe"): checks its arguments and says what it initialises.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace {

constexpr const char* kUsage = "usage: InitPexano -c | -b [-v] [-p DATA_FOLDER]\n"
                               "  -c  initialise the main board (Brimola)\n"
                               "  -b  initialise the codec board (Nuxa)\n"
                               "  -v  name each step\n"
                               "  -p  take the test data from DATA_FOLDER (its name compared without regard to case)\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "InitPexano: %s\n%s", why.c_str(), kUsage);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    char board = 0;
    bool verbose = false;
    const char* data = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-c" || a == "-b") {
            if (board) return Usage("give one of -c and -b, once");
            board = a[1];
        } else if (a == "-v") {
            verbose = true;
        } else if (a == "-p") {
            if (data) return Usage("-p given twice");
            if (++i == argc) return Usage("-p needs a data folder");
            data = argv[i];
        } else {
            return Usage("unknown argument \"" + a + "\"");
        }
    }
    if (!board) return Usage("give -c (main board) or -b (codec board)");
    std::string folder;
    if (data) {
        folder = platform::MapPath(data);
        if (!platform::IsDirectory(folder.c_str())) return Usage(std::string("no data folder \"") + data + "\"");
    }
    // Tests make the program fail on purpose with the exit code they want.
    int code = 0;
    if (const char* forced = std::getenv("PEXANO_INIT_EXIT"); forced && *forced) {
        char* end = nullptr;
        const long v = std::strtol(forced, &end, 10);
        if (*end || v < 0 || v > 255) return Usage(std::string("PEXANO_INIT_EXIT \"") + forced + "\" is not an exit code (0-255)");
        code = static_cast<int>(v);
    }

    std::printf("InitPexano: initialising the %s\n", board == 'c' ? "main board (Brimola)" : "codec board (Nuxa)");
    if (verbose) {
        std::printf("  SDRAM clocks and the power of the attached parts\n");
        std::printf("  clock synthesisers from their default register files\n");
        if (board == 'c') std::printf("  keyer and FPGA pair held in reset until programmed\n");
        std::printf("  test data: %s\n", data ? folder.c_str() : "(none)");
    }
    std::printf(code ? "InitPexano: failed (exit code %d)\n" : "InitPexano: done\n", code);
    return code;
}
