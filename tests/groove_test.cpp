// Swing and accent: the swung step lengths, gate and glide, the accented
// note's amplitude, filter and charge, the strength control, and both in
// copies and pastes.

#include <gtest/gtest.h>

#include <utility>

#include "engine/filter.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings, testing::initialisedSynth, testing::renderFrames, testing::startedSynth;

TEST(Swing, EverySecondStepStartsLateAndEachPairKeepsItsLength) {
    // d = samplesPerStep x swing / 300, at 11025, 8268 and 3675 frames a
    // step; the even and odd step lengths worked out by hand.
    const int cases[][4] = {{60, 0, 11025, 11025}, {60, 50, 12862, 9188},  {60, 100, 14700, 7350},
                            {80, 50, 9646, 6890},  {80, 100, 11024, 5512}, {180, 100, 4900, 2450}};
    for (const auto& [tempo, swing, even, odd] : cases) {
        SCOPED_TRACE(::testing::Message() << tempo << " BPM, swing " << swing);
        auto s = startedSynth();
        setLinked(*s, Param::kTempo, static_cast<Position>(tempo)), setLinked(*s, Param::kSwing, static_cast<Position>(swing));
        publishAndReset(*s), s->engine.passEndFrame = 9999;
        for (int step = 0; step < 16; ++step) {
            renderFrames(*s, (step % 2 == 0 ? even : odd) - 1, 2048);
            ASSERT_EQ(s->engine.currentStep, step);
            renderFrames(*s, 1);
            ASSERT_EQ((std::vector<int32_t>{s->engine.currentStep, s->engine.stepTick}), (std::vector<int32_t>{(step + 1) % 16, 0}));
        }
        // The pattern ends after 16 samplesPerStep frames as without swing.
        EXPECT_EQ(std::pair(int64_t{s->engine.passEndFrame}, passFrames(*s)), std::pair(int64_t{0}, int64_t{8} * (even + odd)));
    }
}

TEST(Swing, AStepsGateAndGlideScaleWithItsLength) {
    // 80 BPM at 100 %: steps of 11024 and 5512 frames; the gate of 7854
    // frames becomes 7854 x 11024 / 8268 = 10472 and 7854 x 5512 / 8268 = 5236.
    auto s = startedSynth();
    setLinked(*s, Param::kSwing, 100), publishAndReset(*s);
    for (const auto& [gate, length] : {std::pair{10472, 11024}, {5236, 5512}}) {
        renderFrames(*s, gate + 1, 4096);  // ticks 0 .. gate
        EXPECT_NE(s->engine.voices[0].envStage, 3) << "tick " << gate << " still holds the gate";
        renderFrames(*s, 1);
        EXPECT_EQ(s->engine.voices[0].envStage, 3) << "tick " << gate + 1 << " releases";
        renderFrames(*s, length - gate - 2, 4096);
    }

    // Step 1 slides from note 15 (131 Hz) to note 27 (262 Hz): the pitch at
    // tick t is 131 + 131 t / 5512.
    auto g = initialisedSynth();
    applyStartupLikeSettings(*g);
    g->score.doc.units[0].lfoTarget = 1;  // the pitch from noteStepTable
    setLinked(*g, Param::kSwing, 100);
    g->score.doc.stepSlide[stepIndex(0, 0, 1)] = 1, g->score.doc.stepPitch[stepIndex(0, 0, 2)] = 27;
    publishAndReset(*g);
    renderFrames(*g, 11024);
    for (int tick = 0; tick < 5512; ++tick) {
        const int32_t before = g->engine.voices[0].osc1Accum;
        renderFrames(*g, 1, 1);
        const int32_t p = 131 + 131 * tick / 5512;
        ASSERT_EQ((g->engine.voices[0].osc1Accum - before) & ((1 << 22) - 1), (int64_t{p} << 19) / 11025) << tick;
    }
}

// Unit 0 with everything after the oscillators transparent: oscillator 1
// only, the envelope at full level from the second frame on and held
// there, no distortion, delay or gain.
std::unique_ptr<Synth> probe(uint16_t filterMode, int strength = 50, std::vector<int> accented = {}) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    UnitRecord& r = s->score.doc.units[0];
    r.oscMix = 0, r.filterMode = filterMode, r.cutoff = 2000, r.attack = 3.0e6;
    r.decay = filterMode == kBypass ? 1.0f : 0.9997f, r.stepGate = 1.0f;
    s->score.doc.settings.masterVolume = 64, s->score.doc.settings.delayFeedback = 0;
    setLinked(*s, Param::kAccent, static_cast<Position>(strength));
    for (const int i : accented) s->score.doc.stepSpare[stepIndex(0, 0, i)] = 1;
    recomputeStepTiming(s->score);
    publishAndReset(*s);
    return s;
}

TEST(Accent, RaisesTheAmplitudeByTheStrengthOfAccentedStepsOnly) {
    // Step 0 accented, step 1 with a spare bit that is not the accent. A
    // stored 0 is the middle strength, 50; strength 0 changes nothing.
    auto plain = probe(kBypass);
    const std::vector<int16_t> x = renderFrames(*plain, 2 * 8268, 1000);
    for (const int strength : {100, 50, 13, 0}) {
        SCOPED_TRACE(strength);
        const int32_t gain = strength * 128 / 100;
        auto accented = probe(kBypass, strength, {0});
        accented->score.doc.stepSpare[stepIndex(0, 0, 1)] = 2;
        const std::vector<int16_t> y = renderFrames(*accented, 2 * 8268, 1000);
        int louder = 0;
        for (size_t i = 2; i < x.size(); ++i) {
            ASSERT_EQ(y[i], i < 2 * 8268 ? x[i] + ((x[i] * gain) >> 7) : x[i]) << "frame " << i / 2;
            louder += y[i] != x[i];
        }
        EXPECT_EQ(louder > 10000, strength > 0);
    }
}

TEST(Accent, OpensTheFilterAndSuccessiveAccentsChargeIt) {
    auto plain = probe(kLo12);
    auto accented = probe(kLo12, 50, {0, 1, 2});
    // The first accented frame: the charge went a quarter of the way to
    // full (2^27), then fell by 1/8192 in the same frame.
    const std::vector<int16_t> x = renderFrames(*plain, 8268);
    renderFrames(*accented, 1);
    EXPECT_EQ(accented->engine.voices[0].accentCharge, (1 << 27) - (1 << 14));
    const std::vector<int16_t> rest = renderFrames(*accented, 8267);
    // Not only louder: with the filter in the path an accented frame is
    // not the plain one scaled.
    int unlikeScaled = 0;
    for (size_t i = 2; i < x.size(); ++i) unlikeScaled += rest[i - 2] != x[i] + ((x[i] * 64) >> 7);
    EXPECT_GT(unlikeScaled, 1000);

    // Steps 1 and 2 charge it further; after an unaccented step 3 it falls.
    const int32_t first = accented->engine.voices[0].accentCharge;
    renderFrames(*accented, 1);
    EXPECT_GT(accented->engine.voices[0].accentCharge, first);
    renderFrames(*accented, 2 * 8268);
    EXPECT_EQ(accented->engine.voices[0].accentOn, 0);
    const int32_t later = accented->engine.voices[0].accentCharge;
    renderFrames(*accented, 8268);
    EXPECT_LT(accented->engine.voices[0].accentCharge, later / 2);
    publishAndReset(*accented);
    EXPECT_EQ(accented->engine.voices[0].accentCharge, 0);
}

TEST(Groove, SettingsReadBackAndTravelWithTheUnit) {
    auto s = startedSynth();
    setLinked(*s, Param::kSwing, 140);
    EXPECT_EQ(getCurrent(*s, Param::kSwing), 100);
    setLinked(*s, Param::kAccent, 90);

    // Random pitches leave the accents alone; the strength travels with the
    // settings and a moved unit.
    toggleStepAccent(*s, 4), generateRandomPattern(*s, 5);
    EXPECT_EQ(stepAccent(*s, 4), 1);
    addUnit(*s), s->selection.currentUnit = 1, pasteSettings(*s, 0);
    EXPECT_EQ(getCurrent(*s, Param::kAccent), 90);
    s->selection.currentUnit = 0, addUnit(*s);
    setLinked(*s, Param::kAccent, 20);
    ASSERT_EQ(deleteCurrentUnit(*s), 1);  // unit 1 moves to slot 0
    EXPECT_EQ(getCurrent(*s, Param::kAccent), 90);
}

}  // namespace
}  // namespace velmor
