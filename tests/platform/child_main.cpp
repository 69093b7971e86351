// A child program for the process tests: records its folder and arguments, then ends as told.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

// child CODE [REPORT-FILE [ARGS...]]: writes the working folder and every argv entry, one a line,
// to REPORT-FILE, then exits with CODE ("signal" ends by SIGTERM instead).
int main(int argc, char** argv) {
    char cwd[4096] = {};
    FILE* fp = argc >= 3 ? std::fopen(argv[2], "w") : nullptr;
    if (fp && getcwd(cwd, sizeof cwd)) std::fprintf(fp, "%s\n", cwd);
    for (int i = 0; fp && i < argc; ++i) std::fprintf(fp, "%s\n", argv[i]);
    if (fp) std::fclose(fp);
    if (argc >= 2 && std::strcmp(argv[1], "signal") == 0) std::raise(SIGTERM);
    return argc >= 2 ? std::atoi(argv[1]) : 100;
}
