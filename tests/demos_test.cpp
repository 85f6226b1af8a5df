// The demo pattern files show what the synthesizer can do: together they use
// every filter mode, slides, the delay, the distortion, several units and a
// song with swing and accents; each plays at a sound level without clipping.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// Over all demos: the filter modes, slides, the delay, the distortion,
// several units and a song in song mode of 4 positions and 3 patterns with
// swing and accents; each pass, as Stream 2 Disk writes it, loud enough to
// hear and never clipping.
TEST(DemoFiles, TogetherShowWhatTheSynthesizerDoesAndEachPlaysWell) {
    std::set<int> modes;
    bool slides = false, delay = false, distortion = false, units = false, groove = false;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VELMOR_DEMO_DIR)) {
        if (entry.path().extension() != ".pat") continue;
        const std::string file = entry.path().string();
        ++files;
        auto s = testing::startedSynth();
        ASSERT_EQ(loadPatternFile(*s, file.c_str()), 1) << file;
        const Document& st = s->score.doc;
        bool accents = false;
        for (int u = 0; u < st.unitCount; ++u) {
            const UnitRecord& r = st.units[u];
            modes.insert(r.filterMode);
            delay |= r.delaySend[0] > 0 && st.settings.delayFeedback > 0;
            distortion |= r.distWet > 0;
            for (int i = 0; i < patternsToSave(st) * kStepsPerPattern; ++i) {
                const int at = stepIndex(u, 0, i);
                if (st.stepNoteOn[at] == 0) continue;
                EXPECT_TRUE(st.stepPitch[at] >= 3 && st.stepPitch[at] <= 51) << file;
                slides |= st.stepSlide[at] != 0;
                accents |= (st.stepSpare[at] & 1) != 0;
            }
        }
        units |= st.unitCount >= 3;
        std::set<int> songPatterns;
        for (int p = 0; p < songPositions(*s); ++p) songPatterns.insert(songPattern(*s, p));
        groove |= songModeOn(*s) && songPositions(*s) >= 4 && songPatterns.size() >= 3 && st.settings.swing > 0 && accents;

        publishAndReset(*s);
        int peak = 0;
        bool clipped = false;
        for (int64_t done = 0, frames = passFrames(*s) - 1; done < frames; done += 512) {
            for (int16_t v : testing::renderFrames(*s, static_cast<int>(std::min<int64_t>(512, frames - done)), 512))
                peak = std::max(peak, std::abs(int{v}));
            clipped |= s->engine.levelLeft == 0xFFFF;
        }
        EXPECT_TRUE(!clipped && peak > 32768 / 4 && peak < 32767 * 95 / 100) << file << " peaks at " << peak << (clipped ? ", clipped" : "");
    }
    EXPECT_GE(files, 6);
    EXPECT_EQ(modes, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(slides && delay && distortion && units && groove) << slides << delay << distortion << units << groove;
}

}  // namespace
}  // namespace velmor
