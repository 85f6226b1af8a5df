// Every input of the fuzzing corpus (saved states, four busy units, values
// no control can give, the older layout, damaged files, counts and
// user-wave lengths out of range, and what the fuzzer found to reach new
// code), and every input that once failed (regressions/), through a load,
// one pass of "Stream 2 Disk...", saving and loading again, in the normal
// and the sanitizer build. What must hold for any file: the counts end up
// inside the document, the pass has its length with the clock where it ends,
// and what is saved loads back to the same file.

#include <gtest/gtest.h>

#include <filesystem>

#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::loadPatternBytes, testing::savedPattern;

void replay(const std::filesystem::path& file) {
    SCOPED_TRACE(file.filename());
    auto s = testing::startedSynth();
    loadPatternBytes(*s, testing::fileBytes(file));
    const Document& st = s->score.doc;
    ASSERT_TRUE(st.unitCount >= 1 && st.unitCount <= kUnitSlots && st.settings.patternCount >= 0 && st.settings.patternCount <= kPatternsPerUnit &&
                st.settings.songLength >= 0 && st.settings.songLength <= kSongEntries && st.settings.swing >= 0 && st.settings.swing <= 100)
        << st.unitCount << " units, " << st.settings.patternCount << " patterns, " << st.settings.songLength << " positions";
    ASSERT_EQ(s->score.derived.currentPattern, 0) << "a loaded file selects its first pattern";

    // One pass: the pattern, or every song position once. A song of
    // hundreds of positions lasts minutes and is left to the song tests.
    const long positions = st.settings.songMode != 0 ? std::clamp<long>(st.settings.songLength, 1, kSongEntries) : 1;
    const long pass = positions * 16 * s->score.derived.samplesPerStep;
    if (pass <= 4 * 1024 * 1024) {
        int result = 0;
        EXPECT_EQ(testing::writtenBytes([&](std::FILE* f) { result = streamToDisk(*s, f); }).size(), (pass - 1) * 4u) << "one pass less one frame";
        EXPECT_EQ(result, 1);
        const int32_t m = s->engine.passEndFrame;
        EXPECT_TRUE(m >= 0 && m < 512 && s->engine.currentStep == 0 && s->engine.stepTick == 511 - m);
    }

    const std::vector<uint8_t> first = savedPattern(*s);
    const size_t units = st.unitCount, patterns = patternsToSave(st);
    EXPECT_EQ(first.size(), 2118 + 176 * units + 64 * units * patterns + st.settings.songLength);
    auto again = testing::startedSynth();
    loadPatternBytes(*again, first);
    EXPECT_EQ(savedPattern(*again), first) << "the saved file loads to another state";
}

TEST(PatternFuzzCorpus, EveryInputLoadsPlaysAndSavesAgain) {
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"corpus", "regressions"})
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(VELMOR_FUZZ_DIR) / folder))
            if (entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_GE(files.size(), 40u);
    for (const auto& file : files) replay(file);
}

}  // namespace
}  // namespace velmor
