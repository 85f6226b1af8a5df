// The envelope's stages with their durations and levels; the gate decisions
// are checked through whole renders (render_test).

#include <gtest/gtest.h>

#include <vector>

#include "engine/envelope.h"

namespace velmor {
namespace {

UnitVoice voiceAt(int32_t level, uint8_t stage, int32_t sustainCounter) {
    UnitVoice v;
    v.envLevel = level, v.envStage = stage, v.sustainCounter = sustainCounter;
    return v;
}

TEST(Envelope, StagesWithTheirDurationsAndLevels) {
    const int32_t cases[][3] = {{1, 172144, 13}, {1, 7, 299593}, {0, 7, 299594}, {0, 8, 262144}};
    for (const auto& [start, increment, frames] : cases) {
        UnitVoice e = voiceAt(start, kAttack, 0);
        int n = 0;
        for (; e.envStage == kAttack; ++n) updateEnvelope(e, increment, EnvelopeParams{1.0f, 0, 0, 1.0});
        EXPECT_EQ(std::pair(n, e.envLevel), std::pair(frames, kEnvFull)) << increment;
    }

    // The decay to the sustain level, the hold and the release.
    const EnvelopeParams p{0.9f, 1000, 2, 0.5};
    UnitVoice e = voiceAt(kEnvFull, kDecay, 77);
    int32_t level = kEnvFull;
    while (e.envStage == kDecay) {
        updateEnvelope(e, 0, p);
        level = static_cast<int32_t>(static_cast<double>(0.9f) * level);
        ASSERT_EQ(e.envLevel, level);
    }
    // The hold starts at the first decayed value at or below the sustain level.
    EXPECT_TRUE(e.envStage == kSustainHold && e.sustainCounter == 0 && e.envLevel <= 1000 * 64 &&
                static_cast<int32_t>(e.envLevel / static_cast<double>(0.9f)) > 1000 * 64 - 1)
        << e.envLevel;
    const int32_t held = e.envLevel;
    updateEnvelope(e, 0, p), updateEnvelope(e, 0, p);
    EXPECT_EQ((std::vector<int32_t>{e.envStage, e.envLevel}), (std::vector<int32_t>{kSustainHold, held}));
    updateEnvelope(e, 0, p);  // counter 3 > 2: the release, and its first step in the same frame
    EXPECT_EQ((std::vector<int32_t>{e.envStage, e.envLevel}), (std::vector<int32_t>{kRelease, static_cast<int32_t>(0.5 * held)}));
    for (int i = 0; i < 40; ++i) updateEnvelope(e, 0, p);
    EXPECT_EQ(e.envLevel, 0);
    // A level exactly at the sustain level holds; factor 1.0 never falls; an
    // unknown stage changes nothing.
    UnitVoice f = voiceAt(6400, kDecay, 5);
    updateEnvelope(f, 0, EnvelopeParams{1.0f, 100, 0, 1.0});
    EXPECT_EQ(f.envStage, kSustainHold);
    UnitVoice g = voiceAt(1234, kRelease, 0);
    updateEnvelope(g, 0, EnvelopeParams{1.0f, 0, 0, 1.0});
    EXPECT_EQ(g.envLevel, 1234);
    UnitVoice h = voiceAt(1234, 9, 5);
    updateEnvelope(h, 100, p);
    EXPECT_EQ(h.envLevel + h.envStage, 1234 + 9);
}

}  // namespace
}  // namespace velmor
