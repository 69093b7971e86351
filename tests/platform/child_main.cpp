// A child program for the process tests: records its folder and arguments, then ends as told.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

// child CODE [REPORT-FILE [ARGS...]]: writes the working folder and every argv entry, one a line,
// to REPORT-FILE, then exits with CODE ("signal" ends by SIGTERM instead).
int main(int argc, char** argv) {
    if (argc < 2) return 100;
    if (argc >= 3) {
        FILE* fp = std::fopen(argv[2], "w");
        if (!fp) return 101;
        char cwd[4096] = {};
        if (!getcwd(cwd, sizeof cwd)) return 102;
        std::fprintf(fp, "%s\n", cwd);
        for (int i = 0; i < argc; ++i) std::fprintf(fp, "%s\n", argv[i]);
        std::fclose(fp);
    }
    if (std::strcmp(argv[1], "signal") == 0) std::raise(SIGTERM);
    return std::atoi(argv[1]);
}
