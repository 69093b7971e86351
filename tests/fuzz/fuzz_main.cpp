// libFuzzer entry of one target, named by PEX_FUZZ_TARGET at build time.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzTarget* const target = FindFuzzTarget(PEX_FUZZ_TARGET);
    if (!target) {
        std::fprintf(stderr, "no fuzz target \"%s\"\n", PEX_FUZZ_TARGET);
        std::abort();
    }
    // A broken promise stops the fuzzer and keeps the input, as a crash does.
    if (target->run(data, size) != 0) __builtin_trap();
    return 0;
}
