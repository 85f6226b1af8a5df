// "Stream 2 Disk...": one pass from step 0, F - 1 frames of the continuous
// output, the clock where the pass left it, and failed writes reported.

#include <gtest/gtest.h>

#include <cstring>

#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// streamToDisk into a temporary file: its result and the frames written.
std::pair<int, std::vector<int16_t>> stream(Synth& s) {
    int result = -1;
    const std::vector<uint8_t> bytes = testing::writtenBytes([&](std::FILE* f) { result = streamToDisk(s, f); });
    std::vector<int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), 2 * values.size());
    return {result, values};
}

// The length of the pass and the clock it leaves are checked for every file
// of the fuzzing corpus (fuzz/replay_test.cpp).
TEST(StreamToDisk, PassIsTheStartOfContinuousPlaybackFromStepZero) {
    // Two identical instances with four busy units (every filter mode, LFO
    // target and waveform, a delay), played for a while so that the clock,
    // the phases and the delay line are somewhere in the middle.
    auto a = testing::startedSynth(), b = testing::startedSynth();
    for (Synth* s : {a.get(), b.get()}) {
        ASSERT_EQ(loadPatternFile(*s, VELMOR_FUZZ_DIR "/corpus/four-units.pat"), 1);
        testing::renderFrames(*s, 12345);
    }
    ASSERT_NE(a->engine.currentStep, 0);
    const auto [result, values] = stream(*a);
    ASSERT_EQ(result, 1);
    publishAndReset(*b);
    const int pass = 16 * b->score.derived.samplesPerStep;
    const std::vector<int16_t> continuous = testing::renderFrames(*b, pass + 1000, 3000);
    ASSERT_EQ(values.size(), 2 * static_cast<size_t>(pass - 1));
    EXPECT_TRUE(std::equal(values.begin(), values.end(), continuous.begin()) && values[2 * 5000] != 0);
}

// A full disk is tested with the safe writer (safe_file_test.cpp).
TEST(StreamToDisk, StopsWhenNoUnitRunsTheClock) {
    // The clock advances with the units: with none in use the write stops
    // after the blocks a pass can take.
    auto s = testing::startedSynth();
    s->score.doc.unitCount = 0;
    const auto [result, values] = stream(*s);
    EXPECT_EQ(result, 0);
    EXPECT_LE(values.size() * 2, (132288 / 512 + 2) * 2048u);
}

}  // namespace
}  // namespace velmor
