// libFuzzer target: any bytes as a pattern file, through the load, a pass
// of "Stream 2 Disk...", saving and loading again. Built by
// tests/fuzz/build.sh with clang's -fsanitize=fuzzer,address,undefined.
// With VELMOR_FUZZ_FILES_ONLY=1 in the environment the pass is left out, to
// fuzz the file code alone at a hundred times the speed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/pattern_reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool render = std::getenv("VELMOR_FUZZ_FILES_ONLY") == nullptr;
    const std::string problem = velmor::fuzz::runPatternInput(data, size, render);
    if (!problem.empty()) {
        std::fprintf(stderr, "pattern file input: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
