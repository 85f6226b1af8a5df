// Swing and accent: the swung step lengths, gate and glide, the accented
// note's amplitude, filter and charge, the strength control, and both in
// files, copies and pastes.

#include <gtest/gtest.h>

#include <vector>

#include "engine/filter.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;
using testing::renderFrames;
using testing::startedSynth;

struct SwingCase {
    int tempo, swing;
    int even, odd;  // step lengths, worked out by hand
};

// d = samplesPerStep x swing / 300: 11025, 8268 and 3675 frames a step.
const SwingCase kSwingCases[] = {
    {60, 0, 11025, 11025},  {60, 50, 12862, 9188},   {60, 100, 14700, 7350},
    {80, 0, 8268, 8268},    {80, 50, 9646, 6890},    {80, 100, 11024, 5512},
    {180, 0, 3675, 3675},   {180, 50, 4287, 3063},   {180, 100, 4900, 2450},
};

TEST(Swing, EverySecondStepStartsLateAndEachPairKeepsItsLength) {
    for (const SwingCase& c : kSwingCases) {
        SCOPED_TRACE(::testing::Message() << c.tempo << " BPM, swing " << c.swing);
        auto s = startedSynth();
        setTempo(*s, static_cast<Position>(c.tempo));
        setSwing(*s, static_cast<Position>(c.swing));
        resetEngine(*s);
        s->engine.passEndFrame = 9999;
        for (int step = 0; step < 16; ++step) {
            const int length = step % 2 == 0 ? c.even : c.odd;
            renderFrames(*s, length - 1, 2048);
            ASSERT_EQ(s->engine.currentStep, step);
            ASSERT_EQ(s->engine.stepTick, length - 1);
            renderFrames(*s, 1);
            ASSERT_EQ(s->engine.currentStep, (step + 1) % 16);
            ASSERT_EQ(s->engine.stepTick, 0);
        }
        EXPECT_EQ(s->engine.passEndFrame, 0) << "the pattern ends after 16 samplesPerStep frames as without swing";
        EXPECT_EQ(passFrames(*s), 16 * ((c.even + c.odd) / 2));
    }
}

// Renders one frame and tells the envelope stage of unit 0 after it.
int stageAfterFrame(Synth& s) {
    renderFrames(s, 1, 1);
    return s.engine.voices[0].envStage;
}

TEST(Swing, AStepsGateScalesWithItsLength) {
    // 80 BPM at 100 %: steps of 11024 and 5512 frames; the gate of 7854
    // frames becomes 7854 x 11024 / 8268 = 10472 and 7854 x 5512 / 8268 = 5236.
    auto s = startedSynth();
    setSwing(*s, 100);
    resetEngine(*s);
    for (const int gate : {10472, 5236}) {
        renderFrames(*s, gate, 4096);  // ticks 0 .. gate - 1
        EXPECT_NE(stageAfterFrame(*s), 3) << "tick " << gate << " still holds the gate";
        EXPECT_EQ(stageAfterFrame(*s), 3) << "tick " << gate + 1 << " releases";
        renderFrames(*s, (gate == 10472 ? 11024 : 5512) - gate - 2, 4096);
    }
}

TEST(Swing, AGlideSpansTheSwungStep) {
    // Step 1 (5512 frames at 80 BPM and 100 %) slides from note 15 (131 Hz)
    // to note 27 (262 Hz): the pitch at tick t is 131 + 131 t / 5512.
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.units[0].lfoTarget = 1;  // the pitch from noteStepTable
    setSwing(*s, 100);
    s->store.stepSlide[stepIndex(0, 0, 1)] = 1;
    s->store.stepPitch[stepIndex(0, 0, 2)] = 27;
    resetEngine(*s);
    renderFrames(*s, 11024);
    int32_t before = s->engine.voices[0].osc1Accum;
    for (int tick = 0; tick < 5512; tick += 1) {
        renderFrames(*s, 1, 1);
        const int32_t acc = s->engine.voices[0].osc1Accum;
        const int32_t p = 131 + 131 * tick / 5512;
        ASSERT_EQ((acc - before) & ((1 << 22) - 1), (int64_t{p} << 19) / 11025) << "tick " << tick;
        before = acc;
    }
}

// Unit 0 with everything after the oscillators transparent: oscillator 1
// only, the filter bypassed, the envelope at full level from the second
// frame on and held there, no distortion, delay or gain.
std::unique_ptr<Synth> probe(uint16_t filterMode = kBypass) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    UnitRecord& r = s->store.units[0];
    r.oscMix = 0;
    r.filterMode = filterMode;
    r.attack = 3.0e6;
    r.decay = 1.0f;
    r.stepGate = 1.0f;
    s->store.settings.masterVolume = 64;
    s->store.settings.delayFeedback = 0;
    recomputeStepTiming(*s);
    resetEngine(*s);
    return s;
}

TEST(Accent, RaisesTheAmplitudeByTheStrength) {
    for (const int strength : {100, 50, 13}) {
        SCOPED_TRACE(strength);
        const int32_t gain = strength * 128 / 100;
        auto plain = probe();
        auto accented = probe();
        setAccent(*accented, static_cast<Position>(strength));
        accented->store.stepSpare[stepIndex(0, 0, 0)] = 1;
        const std::vector<int16_t> x = renderFrames(*plain, 8268, 1000);
        const std::vector<int16_t> y = renderFrames(*accented, 8268 + 10, 1000);
        int louder = 0;
        for (size_t i = 2; i < x.size(); ++i) {
            const int32_t a = x[i];
            ASSERT_EQ(y[i], a + ((a * gain) >> 7)) << "frame " << i / 2;
            louder += y[i] != a;
        }
        EXPECT_GT(louder, 10000);
        // Step 1 is struck without accent.
        EXPECT_EQ(accented->engine.voices[0].accentOn, 0);
    }
}

TEST(Accent, OpensTheFilterAndSuccessiveAccentsChargeIt) {
    auto plain = probe(kLo12);
    auto accented = probe(kLo12);
    for (Synth* s : {plain.get(), accented.get()}) {
        s->store.units[0].cutoff = 2000;
        s->store.units[0].decay = 0.9997f;
    }
    for (int i = 0; i < 3; ++i) accented->store.stepSpare[stepIndex(0, 0, i)] = 1;
    // The first accented frame: the charge went a quarter of the way to
    // full (2^27), then fell by 1/8192 in the same frame.
    renderFrames(*accented, 1);
    EXPECT_EQ(accented->engine.voices[0].accentCharge, (1 << 27) - (1 << 14));
    renderFrames(*plain, 1);
    // Not only louder: with the filter in the path an accented frame is
    // not the plain one scaled.
    const std::vector<int16_t> x = renderFrames(*plain, 8267);
    const std::vector<int16_t> y = renderFrames(*accented, 8267);
    int unlikeScaled = 0;
    for (size_t i = 0; i < x.size(); ++i) unlikeScaled += y[i] != x[i] + ((x[i] * 64) >> 7);
    EXPECT_GT(unlikeScaled, 1000);

    // Step 1 and 2 charge it further; after an unaccented step 3 it falls.
    const int32_t first = accented->engine.voices[0].accentCharge;
    renderFrames(*accented, 1);
    const int32_t second = accented->engine.voices[0].accentCharge;
    EXPECT_GT(second, first);
    renderFrames(*accented, 2 * 8268);
    EXPECT_EQ(accented->engine.voices[0].accentOn, 0);
    const int32_t later = accented->engine.voices[0].accentCharge;
    renderFrames(*accented, 8268);
    EXPECT_LT(accented->engine.voices[0].accentCharge, later / 2);
    resetEngine(*accented);
    EXPECT_EQ(accented->engine.voices[0].accentCharge, 0);
}

TEST(Accent, StrengthZeroOrNoAccentedStepChangesNothing) {
    auto plain = startedSynth();
    auto zero = startedSynth();
    setAccent(*zero, 0);
    for (int i = 0; i < 16; i += 3) zero->store.stepSpare[stepIndex(0, 0, i)] = 1;
    auto unaccented = startedSynth();
    setAccent(*unaccented, 100);
    unaccented->store.stepSpare[stepIndex(0, 0, 5)] = 2;  // not the accent bit
    const std::vector<int16_t> reference = renderFrames(*plain, 3 * 16 * 8268);
    EXPECT_TRUE(renderFrames(*zero, 3 * 16 * 8268) == reference);
    EXPECT_TRUE(renderFrames(*unaccented, 3 * 16 * 8268) == reference);

    // A slot's stored 0 is the middle strength: an accent is heard at once.
    auto fresh = startedSynth();
    EXPECT_EQ(getAccent(*fresh), 50);
    toggleStepAccent(*fresh, 0);
    EXPECT_FALSE(renderFrames(*fresh, 8268) == std::vector<int16_t>(reference.begin(), reference.begin() + 2 * 8268));
}

TEST(Groove, SettingsReadBackAndTravelWithTheUnit) {
    auto s = startedSynth();
    setSwing(*s, 37);
    EXPECT_EQ(getSwing(*s), 37);
    setSwing(*s, 140);
    EXPECT_EQ(getSwing(*s), 100);
    setAccent(*s, 50);
    EXPECT_EQ(s->store.units[0].spareE, 0u) << "the middle strength is stored as 0";
    setAccent(*s, 90);
    EXPECT_EQ(getAccent(*s), 90);

    // The accents travel with pattern copy and paste; random pitches leave
    // them alone; the strength travels with the settings.
    toggleStepAccent(*s, 4);
    EXPECT_EQ(stepAccent(*s, 4), 1);
    copyPattern(*s);
    addUnit(*s);
    s->store.currentUnit = 1;
    s->store.stepSpare[stepIndex(1, 0, 7)] = 0x80;
    pastePattern(*s);
    EXPECT_EQ(s->store.stepSpare[stepIndex(1, 0, 4)], 1);
    EXPECT_EQ(s->store.stepSpare[stepIndex(1, 0, 7)], 0x80) << "bits other than the accent stay";
    generateRandomPattern(*s, 5);
    EXPECT_EQ(stepAccent(*s, 4), 1);
    pasteSettings(*s, 0);
    EXPECT_EQ(getAccent(*s), 90);
    s->store.currentUnit = 0;
    addUnit(*s);
    setAccent(*s, 20);
    ASSERT_EQ(deleteCurrentUnit(*s), 1);  // unit 1 moves to slot 0
    EXPECT_EQ(getAccent(*s), 90);
}

}  // namespace
}  // namespace velmor
