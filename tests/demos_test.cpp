// The demo pattern files show what the synthesizer can do: together they use
// every filter mode, slides, the delay, the distortion, several units and a
// song with swing and accents; each plays at a sound level without clipping.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/render.h"
#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

std::vector<std::string> demoFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(VELMOR_DEMO_DIR))
        if (entry.path().extension() == ".pat") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::unique_ptr<Synth> loaded(const std::string& path) {
    auto s = testing::startedSynth();
    EXPECT_EQ(readPatternFile(*s, path.c_str()), 1) << path;
    refreshAfterLoad(*s);
    return s;
}

// What the demos use, over all of them.
struct Shown {
    std::set<int> filterModes;
    bool slides = false, delay = false, distortion = false, severalUnits = false, grooveSong = false;
};

void collect(const Synth& s, Shown& shown) {
    const Store& st = s.store;
    const EngineSettings& g = st.settings;
    const int patterns = patternsToSave(st);
    bool accents = false;
    for (int u = 0; u < st.unitCount; ++u) {
        const UnitRecord& r = st.units[u];
        shown.filterModes.insert(r.filterMode);
        if (r.delaySend[0] > 0 && g.delayFeedback > 0) shown.delay = true;
        if (r.distWet > 0) shown.distortion = true;
        for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
            const int at = stepIndex(u, 0, i);
            if (st.stepNoteOn[at] == 0) continue;
            EXPECT_GE(st.stepPitch[at], 3);
            EXPECT_LE(st.stepPitch[at], 51);
            if (st.stepSlide[at] != 0) shown.slides = true;
            if ((st.stepSpare[at] & 1) != 0) accents = true;
        }
    }
    if (st.unitCount >= 3) shown.severalUnits = true;
    std::set<int> songPatterns;
    for (int p = 0; p < songPositions(s); ++p) songPatterns.insert(songPattern(s, p));
    if (songModeOn(s) && songPositions(s) >= 4 && songPatterns.size() >= 3 && g.swing > 0 && accents)
        shown.grooveSong = true;
}

TEST(DemoFiles, TogetherShowEveryFilterModeSlidesDelayDistortionUnitsAndAGrooveSong) {
    const auto files = demoFiles();
    ASSERT_GE(files.size(), 6u);
    Shown shown;
    for (const std::string& file : files) collect(*loaded(file), shown);
    EXPECT_EQ(shown.filterModes, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(shown.slides);
    EXPECT_TRUE(shown.delay);
    EXPECT_TRUE(shown.distortion);
    EXPECT_TRUE(shown.severalUnits);
    EXPECT_TRUE(shown.grooveSong);
}

// A pass of each, as Stream 2 Disk writes it: loud enough to hear, never
// clipping.
TEST(DemoFiles, EachPlaysAPassAtAGoodLevelWithoutClipping) {
    for (const std::string& file : demoFiles()) {
        auto s = loaded(file);
        resetEngine(*s);
        const int64_t frames = passFrames(*s) - 1;
        int peak = 0;
        bool clipped = false;
        for (int64_t done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<int64_t>(512, frames - done));
            const auto block = testing::renderFrames(*s, n, n);
            for (int16_t v : block) peak = std::max(peak, v < 0 ? -v : int{v});
            if (s->engine.levelLeft == 0xFFFF) clipped = true;
            done += n;
        }
        EXPECT_FALSE(clipped) << file;
        EXPECT_GT(peak, 32768 / 4) << file;
        EXPECT_LT(peak, 32767 * 95 / 100) << file;
    }
}

}  // namespace
}  // namespace velmor
