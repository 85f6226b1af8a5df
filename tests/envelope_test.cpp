// The envelope's stages with their durations and levels; the gate decisions
// are checked through whole renders (render_test).

#include <gtest/gtest.h>

#include <vector>

#include "engine/envelope.h"

namespace velmor {
namespace {

TEST(Envelope, StagesWithTheirDurationsAndLevels) {
    const int32_t cases[][3] = {{1, 172144, 13}, {1, 7, 299593}, {0, 7, 299594}, {0, 8, 262144}};
    for (const auto& [start, increment, frames] : cases) {
        Envelope e{start, kAttack, 0};
        int n = 0;
        for (; e.stage == kAttack; ++n) updateEnvelope(e, increment, EnvelopeParams{1.0f, 0, 0, 1.0});
        EXPECT_EQ(std::pair(n, e.level), std::pair(frames, kEnvFull)) << increment;
    }

    // The decay to the sustain level, the hold and the release.
    const EnvelopeParams p{0.9f, 1000, 2, 0.5};
    Envelope e{kEnvFull, kDecay, 77};
    int32_t level = kEnvFull;
    while (e.stage == kDecay) {
        updateEnvelope(e, 0, p);
        level = static_cast<int32_t>(static_cast<double>(0.9f) * level);
        ASSERT_EQ(e.level, level);
    }
    // The hold starts at the first decayed value at or below the sustain level.
    EXPECT_TRUE(e.stage == kSustainHold && e.sustainCounter == 0 && e.level <= 1000 * 64 &&
                static_cast<int32_t>(e.level / static_cast<double>(0.9f)) > 1000 * 64 - 1) << e.level;
    const int32_t held = e.level;
    updateEnvelope(e, 0, p), updateEnvelope(e, 0, p);
    EXPECT_EQ((std::vector<int32_t>{e.stage, e.level}), (std::vector<int32_t>{kSustainHold, held}));
    updateEnvelope(e, 0, p);  // counter 3 > 2: the release, and its first step in the same frame
    EXPECT_EQ((std::vector<int32_t>{e.stage, e.level}), (std::vector<int32_t>{kRelease, static_cast<int32_t>(0.5 * held)}));
    for (int i = 0; i < 40; ++i) updateEnvelope(e, 0, p);
    EXPECT_EQ(e.level, 0);
    // A level exactly at the sustain level holds; factor 1.0 never falls; an
    // unknown stage changes nothing.
    Envelope f{6400, kDecay, 5};
    updateEnvelope(f, 0, EnvelopeParams{1.0f, 100, 0, 1.0});
    EXPECT_EQ(f.stage, kSustainHold);
    Envelope g{1234, kRelease, 0};
    updateEnvelope(g, 0, EnvelopeParams{1.0f, 0, 0, 1.0});
    EXPECT_EQ(g.level, 1234);
    Envelope h{1234, 9, 5};
    updateEnvelope(h, 100, p);
    EXPECT_EQ(h.level + h.stage, 1234 + 9);
}

}  // namespace
}  // namespace velmor
