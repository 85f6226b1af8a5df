#include <gtest/gtest.h>

#include <random>

#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;
using testing::renderFrames;

void renderOneFrame(Synth& s) {
    int16_t frame[2];
    renderBlock(s, frame, 4);
}

// Unit 0 with every stage after the oscillators transparent: oscillator 1
// only, filter bypassed, the envelope at full level from the second frame
// on, no distortion, delay or gain. The output is then ((s1 >> 1) / 2) >> 1.
void configureOscillatorProbe(Synth& s) {
    applyStartupLikeSettings(s);
    UnitRecord& r = s.store.units[0];
    r.oscMix = 0;
    r.filterMode = kBypass;
    r.attack = 3.0e6;
    r.decay = 1.0f;
    r.stepGate = 1.0f;
    r.lfoTarget = 1;  // resonance: the pitch comes from noteStepTable
    s.store.settings.masterVolume = 64;
    s.store.settings.delayFeedback = 0;
    recomputeStepTiming(s);
}

int32_t probeOutput(int32_t s1) { return ((s1 >> 1) / 2) >> 1; }

TEST(StepTiming, SamplesPerStepAndGate) {
    EXPECT_EQ(samplesPerStepFor(150), 4410);
    EXPECT_EQ(samplesPerStepFor(60), 11025);
    EXPECT_EQ(samplesPerStepFor(61), 10844);
    EXPECT_EQ(samplesPerStepFor(80), 8268);
    EXPECT_EQ(samplesPerStepFor(120), 5512);
    EXPECT_EQ(samplesPerStepFor(180), 3675);
    // Tempos from pattern files outside the control range are clamped.
    EXPECT_EQ(samplesPerStepFor(0), 11025);
    EXPECT_EQ(samplesPerStepFor(-5), 11025);
    EXPECT_EQ(samplesPerStepFor(100000), 3675);

    EXPECT_EQ(gateSamplesFor(0.9f, 4410), 3969);  // the single-precision product
    EXPECT_EQ(gateSamplesFor(0.95f, 8268), 7854);
    EXPECT_EQ(gateSamplesFor(0.9f, 8268), 7441);
    EXPECT_EQ(gateSamplesFor(std::nanf(""), 8268), 0);

    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.settings.tempoBpm = 0;
    recomputeStepTiming(*s);
    EXPECT_EQ(s->store.settings.tempoBpm, 0) << "the stored tempo keeps its value";
    EXPECT_EQ(s->store.settings.samplesPerStep, 11025);
    EXPECT_EQ(s->store.units[0].gateSamples, gateSamplesFor(0.95f, 11025));
    EXPECT_EQ(s->store.units[5].gateSamples, gateSamplesFor(0.9f, 11025)) << "every slot follows its own gate";
}

TEST(Clock, PatternEndFrameMarksTheLastFrameOfStep15) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.settings.tempoBpm = 150;
    recomputeStepTiming(*s);
    std::vector<int16_t> out(2 * 4096);
    s->engine.patternEndFrame = 9999;
    // 70560 frames per pass: 17 blocks of 4096 end at 69632.
    for (int b = 0; b < 17; ++b) renderBlock(*s, out.data(), 4096 * 4);
    EXPECT_EQ(s->engine.patternEndFrame, 9999);
    EXPECT_EQ(s->engine.currentStep, 15);
    renderBlock(*s, out.data(), 4096 * 4);
    EXPECT_EQ(s->engine.patternEndFrame, 70560 - 1 - 69632);
    EXPECT_EQ(s->engine.currentStep, 0);
    EXPECT_EQ(s->engine.stepTick, 4096 - (70560 - 69632));
}

TEST(Clock, NoUnitsMeansTheClockStandsAndOnlyTheDelaySounds) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.unitCount = 0;
    s->engine.delayBuffer[0] = 1000;
    s->engine.delayBuffer[1] = 1000;
    const auto out = renderFrames(*s, 100);
    EXPECT_EQ(s->engine.stepTick, 0);
    EXPECT_EQ(s->engine.currentStep, 0);
    // Pan -32: left gain 64, right gain 32; master 128.
    EXPECT_EQ(out[0], ((128 * ((64 * 1000) >> 5)) >> 6));
    EXPECT_EQ(out[1], ((128 * ((32 * 1000) >> 5)) >> 6));
}

TEST(Pitch, StepPitchThreeSoundsAtHalfTheTableFrequency) {
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    for (int i = 0; i < 16; ++i) s->store.stepPitch[stepIndex(0, 0, i)] = 3;
    renderOneFrame(*s);
    EXPECT_EQ(s->engine.voices[0].osc1Accum, 3091);  // 65 Hz table entry
    renderOneFrame(*s);
    EXPECT_EQ(s->engine.voices[0].osc1Accum, 2 * 3091);
}

TEST(Pitch, LfoOnOscillatorsOffsetsTheFineIndex) {
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    UnitRecord& r = s->store.units[0];
    r.lfoTarget = 0;
    r.lfoAmount = 256;
    r.lfoWave = 1;  // square: l = 32767 for the first half of its period
    renderOneFrame(*s);
    const int32_t off = (32767 * 256 * 12) >> 20;  // 95 eighths
    const int32_t p = s->tables.fineStepTable[15 * 8 + off];
    EXPECT_EQ(s->engine.voices[0].osc1Accum, (int64_t{p} << 19) / 11025);
}

TEST(Pitch, OneHertzLfoAdvancesItsPhaseBy3043) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.units[0].lfoSpeed = 1.0;
    const int32_t before = s->engine.voices[0].lfoAccum;
    renderFrames(*s, 10);
    EXPECT_EQ(s->engine.voices[0].lfoAccum, before + 10 * 3043);
}

TEST(Pitch, SlideGlidesLinearlyInHertzTowardTheNextStep) {
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    s->store.settings.tempoBpm = 150;
    recomputeStepTiming(*s);
    const int sps = 4410;
    s->store.stepSlide[stepIndex(0, 0, 3)] = 1;
    s->store.stepPitch[stepIndex(0, 0, 4)] = 27;
    renderFrames(*s, 3 * sps, 1000);
    int32_t prev = s->engine.voices[0].osc1Accum;
    for (int tick = 0; tick < sps; ++tick) {
        renderOneFrame(*s);
        const int32_t acc = s->engine.voices[0].osc1Accum;
        const int32_t p = 131 + 131 * tick / sps;
        ASSERT_EQ((acc - prev) & ((1 << 22) - 1), (int64_t{p} << 19) / 11025) << "tick " << tick;
        prev = acc;
    }
    renderOneFrame(*s);  // step 4, tick 0
    EXPECT_EQ((s->engine.voices[0].osc1Accum - prev) & ((1 << 22) - 1), (int64_t{262} << 19) / 11025);

    // The same note on the next step: no glide.
    auto flat = initialisedSynth();
    configureOscillatorProbe(*flat);
    flat->store.stepSlide[stepIndex(0, 0, 0)] = 1;
    renderFrames(*flat, 1000, 1);
    EXPECT_EQ(flat->engine.voices[0].osc1Accum, 1000 * ((int64_t{131} << 19) / 11025) % (1 << 22));
}

// The oscillator section, frame by frame, for the control ranges.
struct OscillatorModel {
    int32_t acc1 = 0, acc2 = 0;
    int32_t step(const Synth& s, int32_t p1, int32_t p2, int32_t* s1Out) {
        const UnitRecord& r = s.store.units[0];
        const int32_t inc1 = static_cast<int32_t>((int64_t{p1} << 19) / 11025);
        const int32_t inc2 = static_cast<int32_t>((int64_t{p2} << 19) / 11025);
        const int32_t P = (1 << 22) - r.pulseWidth * 16384;
        acc1 += inc1 + r.osc1Fine;
        if (acc1 < 0) acc1 = 0;
        if (acc1 >= (1 << 22)) acc1 -= 1 << 22;
        const int32_t q = acc1 >= P ? acc1 - P : acc1;
        const int32_t s1 = r.osc1Table.load()[q >> 12];
        if (r.fmAmount > 0) acc2 += (((inc2 * r.fmAmount) >> 10) * s1) >> 8;
        acc2 += inc2 + r.osc2Fine;
        if (acc2 < 0) acc2 = 0;
        if (acc2 >= (1 << 22)) {
            acc2 -= 1 << 22;
            if (r.oscSync) acc1 = 0;
        }
        *s1Out = s1;
        return acc2;
    }
};

struct OscCase {
    const char* name;
    int32_t pulseWidth, fm, sync, fine1, fine2, coarse1, coarse2;
    uint16_t wave1;
};

class OscillatorTest : public ::testing::TestWithParam<OscCase> {};

TEST_P(OscillatorTest, FollowsTheFrameRecurrence) {
    const OscCase& c = GetParam();
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    UnitRecord& r = s->store.units[0];
    r.pulseWidth = c.pulseWidth;
    r.fmAmount = c.fm;
    r.oscSync = static_cast<uint32_t>(c.sync);
    r.osc1Fine = c.fine1;
    r.osc2Fine = c.fine2;
    r.osc1Coarse = c.coarse1;
    r.osc2Coarse = c.coarse2;
    r.osc2Phase = 64;
    setOsc1Wave(*s, c.wave1);
    for (int i = 0; i < 16; ++i) s->store.stepPitch[stepIndex(0, 0, i)] = static_cast<int8_t>(3 + 3 * i);

    OscillatorModel model;
    model.acc2 = 64 * 8192;
    int wraps = 0;
    for (int n = 0; n < 30000; ++n) {
        const int step = s->engine.currentStep;
        const int note = s->store.stepPitch[stepIndex(0, 0, step)];
        const int32_t p1 = s->tables.noteStepTable[note + c.coarse1];
        const int32_t p2 = s->tables.noteStepTable[note + c.coarse2];
        int16_t frame[2];
        renderBlock(*s, frame, 4);
        int32_t s1 = 0;
        const int32_t before = model.acc2;
        model.step(*s, p1, p2, &s1);
        if (model.acc2 < before) ++wraps;
        ASSERT_EQ(s->engine.voices[0].osc1Accum, model.acc1) << "frame " << n;
        ASSERT_EQ(s->engine.voices[0].osc2Accum, model.acc2) << "frame " << n;
        if (n > 0) {
            ASSERT_EQ(frame[0], probeOutput(s1)) << "frame " << n;
        }
    }
    EXPECT_GT(wraps, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Oscillators, OscillatorTest,
    ::testing::Values(OscCase{"plain", 0, 0, 0, 0, 0, 0, 0, 0}, OscCase{"pulseWidthHalf", 64, 0, 0, 0, 0, 0, 0, 3},
                      OscCase{"pulseWidthFull", 128, 0, 0, 0, 0, 0, 0, 1},
                      OscCase{"sync", 0, 0, 1, 0, 0, 12, 0, 0}, OscCase{"fineTuning", 0, 0, 0, 128, -128, 0, 7, 2},
                      OscCase{"fm", 0, 256, 0, 0, 0, 0, 12, 2}, OscCase{"fmSyncWidth", 100, 128, 1, -40, 40, -3, 5, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Oscillators, FullPulseWidthPlaysTheFirstHalfTwice) {
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    s->store.units[0].pulseWidth = 128;
    // From phase 2^21 on, the read position restarts at the wave's start.
    // Frame 0 only raises the envelope; frame 1 stands just below 2^21.
    s->engine.voices[0].osc1Accum = (1 << 21) - 1 - 2 * 6229;  // note 15: increment 6229
    std::vector<int16_t> out = renderFrames(*s, 3, 1);
    EXPECT_EQ(out[2], probeOutput(s->tables.sawTable[((1 << 21) - 1) >> 12]));
    EXPECT_EQ(out[4], probeOutput(s->tables.sawTable[6228 >> 12]));
}

TEST(Oscillators, SyncRestartsOscillatorOneAfterEachWrapOfOscillatorTwo) {
    auto s = initialisedSynth();
    configureOscillatorProbe(*s);
    UnitRecord& r = s->store.units[0];
    r.oscSync = 1;
    r.osc2Coarse = 12;
    int syncs = 0;
    int32_t prev2 = s->engine.voices[0].osc2Accum;
    for (int n = 0; n < 5000; ++n) {
        renderOneFrame(*s);
        const int32_t acc2 = s->engine.voices[0].osc2Accum;
        if (acc2 < prev2) {
            ++syncs;
            ASSERT_EQ(s->engine.voices[0].osc1Accum, 0);
            renderOneFrame(*s);
            ASSERT_EQ(s->engine.voices[0].osc1Accum, 6229);
            prev2 = s->engine.voices[0].osc2Accum;
            continue;
        }
        prev2 = acc2;
    }
    EXPECT_GT(syncs, 10);
}

// Two units with equal settings, notes and state, and a richer voice.
void configureBusyUnits(Synth& s) {
    applyStartupLikeSettings(s, 0);
    applyStartupLikeSettings(s, 1);
    for (int u = 0; u < 2; ++u) {
        UnitRecord& r = s.store.units[u];
        r.lfoTarget = 2;
        r.lfoAmount = 200;
        r.lfoSpeed = 3.0;
        r.distWet = 90;
        r.distThreshold = 3;
        r.delaySend[0] = 100;
        r.fmAmount = 60;
        r.ringMod = 50;
        for (int i = 0; i < 16; ++i) {
            s.store.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(3 + (i * 7) % 49);
            s.store.stepSlide[stepIndex(u, 0, i)] = i % 5 == 2;
            s.store.stepNoteOn[stepIndex(u, 0, i)] = i % 3 != 1;
        }
    }
    s.store.unitCount = 2;
}

TEST(Render, IdenticalUnitsProduceIdenticalBuffers) {
    auto s = initialisedSynth();
    configureBusyUnits(*s);
    for (int b = 0; b < 10; ++b) {
        renderFrames(*s, 3000, 3000);
        for (int n = 0; n < 3000; ++n)
            ASSERT_EQ(s->engine.unitBuffers[n], s->engine.unitBuffers[kMaxBlockFrames + n]) << b << " " << n;
    }
}

TEST(Render, FramesDoNotDependOnBlockSizes) {
    auto whole = initialisedSynth();
    configureBusyUnits(*whole);
    whole->store.units[1].filterMode = kLo24;
    whole->store.units[1].pulseWidth = 40;
    whole->store.units[1].oscSync = 1;
    const int frames = 2 * 16 * 8268 + 777;
    std::vector<int16_t> once(2 * frames);
    renderBlock(*whole, once.data(), 65536 * 4);
    renderBlock(*whole, once.data() + 2 * 65536, 65536 * 4);
    renderBlock(*whole, once.data() + 2 * 131072, (frames - 131072) * 4);

    auto pieces = initialisedSynth();
    configureBusyUnits(*pieces);
    pieces->store.units[1].filterMode = kLo24;
    pieces->store.units[1].pulseWidth = 40;
    pieces->store.units[1].oscSync = 1;
    std::vector<int16_t> split(2 * frames);
    std::mt19937 rng(7);
    for (int done = 0; done < frames;) {
        int n = std::min<int>(1 + rng() % 3000, frames - done);
        if (rng() % 7 == 0) n = std::min(1, frames - done);
        renderBlock(*pieces, split.data() + 2 * done, n * 4 + static_cast<uint32_t>(rng() % 4));
        done += n;
    }
    ASSERT_EQ(once, split);

    // A block longer than one unit buffer gives the same frames too.
    auto longBlock = initialisedSynth();
    configureBusyUnits(*longBlock);
    longBlock->store.units[1].filterMode = kLo24;
    longBlock->store.units[1].pulseWidth = 40;
    longBlock->store.units[1].oscSync = 1;
    std::vector<int16_t> big(2 * frames);
    renderBlock(*longBlock, big.data(), static_cast<uint32_t>(frames) * 4);
    EXPECT_EQ(once, big);
}

TEST(Render, ShortByteCountsWriteNothingButMeterSilence) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->engine.levelLeft = 42;
    s->engine.levelRight = 42;
    int16_t sentinel[2] = {1234, 1234};
    renderBlock(*s, sentinel, 3);
    EXPECT_EQ(sentinel[0], 1234);
    EXPECT_EQ(sentinel[1], 1234);
    EXPECT_EQ(s->engine.levelLeft, 0);
    EXPECT_EQ(s->engine.levelRight, 0);
    EXPECT_EQ(s->engine.stepTick, 0);
}

TEST(Render, DelaySendOutCarriesTwiceUnitZerosSend) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.units[0].delaySend[0] = 77;
    renderFrames(*s, 10);
    EXPECT_EQ(s->store.settings.delaySendOut, 154);
}

}  // namespace
}  // namespace velmor
