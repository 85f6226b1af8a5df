// Every input of the fuzzing corpus, and every input that once failed,
// through the fuzzing target's checks, in the normal and the sanitizer
// build.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/pattern_reader_harness.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsIn(const char* folder) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(VELMOR_FUZZ_DIR) / folder;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void replay(const char* folder, size_t atLeast) {
    const std::vector<fs::path> files = inputsIn(folder);
    EXPECT_GE(files.size(), atLeast) << "inputs in tests/fuzz/" << folder;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(fuzz::runPatternInput(bytes.data(), bytes.size()), "") << file.filename();
    }
}

TEST(PatternFuzzReplay, Corpus) { replay("corpus", 10); }

TEST(PatternFuzzReplay, Regressions) { replay("regressions", 0); }

}  // namespace
}  // namespace velmor
