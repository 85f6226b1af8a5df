// The block render against a reference written independently of the
// engine, step by step as the render loop works: one unit played frame by frame
// (LFO, notes and slides, both oscillators with FM, sync and the pulse-width
// warp, mix and ring modulation, the cutoff sum, every filter mode, the gate
// and the envelope, amplifier, distortion and the master stage), compared
// with whole renders. Besides: the step clock, block-size independence, the
// engine reset and the installation of a loaded document.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "engine/envelope.h"
#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings, testing::initialisedSynth, testing::renderFrames, testing::startedSynth;

// The filter of each mode, from its difference equation (64-bit arithmetic).
struct ReferenceFilter {
    int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0, w1 = 0, w2 = 0, z1 = 0, z2 = 0;

    int64_t run(const Tables& t, int mode, int64_t x, int64_t c, int64_t r) {
        const int j = static_cast<int>((c >> 8) + 15);
        const int64_t sw = t.filterSinTable[j], cw = t.filterCosTable[j], h = (8192 - cw) >> 1;
        int64_t y = x;
        if (mode == kLo12) {
            const int64_t q = sw * 4096 / (35000 - r);
            y = ((x + x2) * h + (q - 8192) * y2 + 2 * cw * y1 + x1 * (8192 - cw)) / (q + 8192);
        } else if (mode == kLo24) {
            const int64_t q = sw * 4096 / (37000 - r);
            y = ((x + x2) * h + 2 * cw * y1 - (8192 - q) * y2 + x1 * (8192 - cw)) / (q + 8192);
            const int64_t w = 3 * y / 4;
            const int64_t z = ((w + w2) * h - (8192 - q) * z2 + 2 * cw * z1 + (8192 - cw) * w1) / (q + 8192);
            z2 = z1, z1 = z, w2 = w1, w1 = w;
        } else if (mode == kHi12) {
            const double scale = 44100.0 * std::sqrt(2.0) / (2.0 * 3.141592653);
            const double K = static_cast<float>(scale / (c * 0.01 + 0.5));
            const double R = static_cast<float>(r * 0.0001220703125 * 10);
            const int64_t n = static_cast<int64_t>((x + x2 - 2 * x1 + 2 * y1 - y2) * K + y1 * R);
            y = static_cast<int64_t>(n / (K + R + 1.0));
        } else if (mode == kBand) {
            y = (sw * (x - x2) + 2 * cw * y1 + (sw - 8192) * y2) / (sw + 8192);
        } else {
            return x;
        }
        y2 = y1, y1 = y, x2 = x1, x1 = x;
        return mode == kLo24 ? z1 : y;
    }
};

// Unit 0 alone (no delay return), one output sample per frame.
struct ReferenceUnit {
    const Synth& s;
    int64_t acc1, acc2, lfo, level = 1, hold = 0;
    int stage = 0, step = 0, tick = 0;
    ReferenceFilter filter;

    explicit ReferenceUnit(const Synth& synth)
        : s(synth), acc1(synth.engine.voices[0].osc1Accum), acc2(synth.engine.voices[0].osc2Accum), lfo(synth.engine.voices[0].lfoAccum) {}

    int pitch(int i) const { return s.score.doc.stepPitch[stepIndex(0, 0, i % 16)]; }
    bool slide(int i) const { return s.score.doc.stepSlide[stepIndex(0, 0, i % 16)] != 0; }

    int16_t next() {
        const UnitRecord& r = s.score.doc.units[0];
        const UnitDerived& derived = s.score.derived.units[0];
        const Tables& t = s.tables;
        const int64_t sps = s.score.derived.samplesPerStep, amount = r.lfoAmount;
        lfo += static_cast<int64_t>(r.lfoSpeed / 44100.0 * 134217728.0);
        if (lfo >= 1 << 27) lfo -= 1 << 27;
        const WaveSample* lfoTable = r.lfoWave == 1 ? t.squareTable : t.sineTable;
        const int64_t l = lfoTable[lfo >> 17];

        const int note = pitch(step);
        int64_t p1 = t.noteStepTable[note + r.osc1Coarse], p2 = t.noteStepTable[note + r.osc2Coarse];
        if (r.lfoTarget == 0) {
            const int64_t off = (l * amount * 12) >> 20;
            p1 = t.fineStepTable[(note + r.osc1Coarse) * 8 + off];
            p2 = t.fineStepTable[(note + r.osc2Coarse) * 8 + off];
        }
        if (slide(step) && pitch(step + 1) != note) {
            p1 += (t.noteStepTable[pitch(step + 1) + r.osc1Coarse] - p1) * tick / sps;
            p2 += (t.noteStepTable[pitch(step + 1) + r.osc2Coarse] - p2) * tick / sps;
        }
        const int64_t inc1 = (p1 << 19) / 11025, inc2 = (p2 << 19) / 11025;

        acc1 = std::max<int64_t>(0, acc1 + inc1 + r.osc1Fine);
        if (acc1 >= 1 << 22) acc1 -= 1 << 22;
        const int64_t threshold = (1 << 22) - 16384 * r.pulseWidth;
        const WaveSample* wave1 = waveTableFor(t, s.score.doc.userWave, derived.osc1Table);
        const int64_t s1 = wave1[(acc1 >= threshold ? acc1 - threshold : acc1) >> 12];
        if (r.fmAmount > 0) acc2 += (((inc2 * r.fmAmount) >> 10) * s1) >> 8;
        acc2 = std::max<int64_t>(0, acc2 + inc2 + r.osc2Fine);
        if (acc2 >= 1 << 22) {
            acc2 -= 1 << 22;
            if (r.oscSync) acc1 = 0;
        }
        const int64_t s2 = waveTableFor(t, s.score.doc.userWave, derived.osc2Table)[acc2 >> 12];

        int64_t reso = r.resonance;
        if (r.lfoTarget == 1) reso = std::min<int64_t>(32767, ((((reso * l) >> 15) * amount) >> 8) + reso);
        const int64_t mixed = ((r.oscMix * s2 + s1 * (256 - r.oscMix)) >> 8) * (256 - r.ringMod);
        const int64_t x = (mixed + ((s1 * s2) >> 15) * r.ringMod) >> 9;
        int64_t c = r.cutoff + (((r.envAmount >> 7) * level) >> 15);
        if (r.lfoTarget == 2) c += (((l * amount) >> 15) * r.cutoff) >> 8;
        const int64_t v = filter.run(t, r.filterMode, x, c, reso) / 2;

        if (tick == 0 && !slide(step + 15) && s.score.doc.stepNoteOn[stepIndex(0, 0, step)]) stage = 0;
        if (derived.gateSamples < tick && !slide(step)) stage = 3;
        int64_t a = ((level >> 8) * v) >> 14;
        if (stage == 0 && (level += static_cast<int64_t>(r.attack)) >= kEnvFull)
            level = kEnvFull, stage = 1;
        else if (stage == 1 && (level = static_cast<int64_t>(static_cast<double>(r.decay.load()) * level)) <= 64 * r.sustainLevel)
            stage = 2, hold = 0;
        else if (stage == 2 && ++hold > r.sustainTime)
            stage = 3, level = static_cast<int64_t>(r.release * level);
        else if (stage == 3)
            level = static_cast<int64_t>(r.release * level);

        a = std::clamp<int64_t>(a, -32768, 32767);
        const int32_t* curves = r.distMode == 1 ? t.distCurvesA[r.distThreshold] : t.distCurvesB[r.distThreshold];
        const int64_t d = (curves[16384 + (a >> 1)] * r.distWet + (128 - r.distWet) * a) >> 7;
        if (++tick >= sps) tick = 0, step = (step + 1) % 16;
        const int64_t out = (s.score.doc.settings.masterVolume * ((r.volume * static_cast<int16_t>(d)) >> 7)) >> 6;
        return static_cast<int16_t>(out > 32767 ? 32767 : (out < -32768 ? -32767 : out));
    }
};

// Settings that exercise the whole voice, from the start-up state.
// clang-format off
const std::function<void(Synth&)> kVoices[] = {
    [](Synth& s) {  // Lo24 with the LFO on the cutoff, oscillator 2 a square a fifth up
        UnitRecord& r = s.score.doc.units[0];
        r.filterMode = kLo24, r.lfoTarget = 2, r.lfoAmount = 200, r.lfoSpeed = 3.0, r.osc2Coarse = 7;
        r.envAmount = 32000, r.resonance = 3000, r.decay = 0.9995f, r.sustainLevel = 9000, r.sustainTime = 700;
        setLinked(s, Param::kOsc2Wave, 1);
    },
    [](Synth& s) {  // Lo12 with the LFO on the oscillators, FM, ring, sync, pulse width, fine tuning
        UnitRecord& r = s.score.doc.units[0];
        r.lfoTarget = 0, r.lfoAmount = 256, r.lfoSpeed = 5.0, r.fmAmount = 150, r.ringMod = 60, r.oscSync = 1;
        r.pulseWidth = 64, r.osc1Fine = 40, r.osc2Fine = -25, r.osc1Coarse = 5, r.osc2Coarse = 12, r.oscMix = 90;
        setLinked(s, Param::kOsc1Wave, 3), setLinked(s, Param::kOsc2Wave, 2);
    },
    [](Synth& s) {  // Hi12 with a square LFO on the resonance, distortion A, a quick release
        UnitRecord& r = s.score.doc.units[0];
        r.filterMode = kHi12, r.lfoTarget = 1, r.lfoWave = 1, r.lfoAmount = 180, r.lfoSpeed = 7.0;
        r.distWet = 100, r.distThreshold = 2, r.release = 0.998, r.sustainTime = 0, r.attack = 40000.0;
        s.score.doc.settings.masterVolume = 150;
    },
    [](Synth& s) {  // Band with distortion B, full pulse width, oscillator 1 only, loud: the limiter works
        UnitRecord& r = s.score.doc.units[0];
        r.filterMode = kBand, r.distMode = 2, r.distWet = 128, r.distThreshold = 0, r.pulseWidth = 128, r.oscMix = 0;
        s.score.doc.settings.masterVolume = 256;
    },
    [](Synth& s) { s.score.doc.units[0].filterMode = kBypass; }
};
// clang-format on

TEST(Render, WholeRendersFollowTheReference) {
    for (size_t v = 0; v < std::size(kVoices); ++v) {
        SCOPED_TRACE(::testing::Message() << "voice " << v);
        auto s = startedSynth();
        for (int i = 0; i < 16; ++i) {
            s->score.doc.stepPitch[i] = static_cast<int8_t>(15 + (i * 7) % 25);
            s->score.doc.stepSlide[i] = i % 5 == 2, s->score.doc.stepNoteOn[i] = i % 3 != 1;
        }
        s->score.doc.units[0].stepGate = 0.6f, s->score.doc.settings.tempoBpm = 180;
        kVoices[v](*s);
        recomputeStepTiming(s->score);
        ReferenceUnit reference(*s);
        const std::vector<int16_t> out = renderFrames(*s, 2 * 16 * 3675 + 999, 4096);
        for (size_t n = 0; n < out.size() / 2; ++n) {
            const int16_t expected = reference.next();
            ASSERT_EQ(std::pair(out[2 * n], out[2 * n + 1]), std::pair(expected, expected)) << "frame " << n;
        }
    }
}

int32_t engineFilter(const Synth& s, UnitVoice& m, FilterCoefficients& k, int mode, int32_t c, int32_t r, int32_t x) {
    if (mode == kHi12) return filterHi12(m, s.engine.highPassScale, c, r, x);
    updateCoefficients(k, s.tables, static_cast<uint16_t>(mode), c, mode == kBand ? 0 : r);
    return mode == kLo12 ? filterLo12(m, k, x) : (mode == kLo24 ? filterLo24(m, k, x) : filterBand(m, k, x));
}

// The modes run within whole renders above; here from rest, with the ends
// of the cutoff and resonance ranges, over three frames of each input.
TEST(Filter, EveryModeFromRestAndAtItsEnds) {
    auto s = initialisedSynth();
    for (int mode : {kLo12, kLo24, kHi12, kBand})
        for (int32_t c : {0, 5000, 30000})
            for (int32_t r : {0, 32767})
                for (int32_t x = -16384; x <= 16384; x += 61) {
                    UnitVoice m;
                    FilterCoefficients k;
                    ReferenceFilter f;
                    for (int32_t in : {x, 16000 - x, -x})
                        ASSERT_EQ(engineFilter(*s, m, k, mode, c, r, in), f.run(s->tables, mode, in, c, r))
                            << mode << " " << c << " " << r << " " << x;
                }
}

TEST(Clock, StepTimingPatternEndAndUnitsInUse) {
    // Tempos kept within 60..180; gates as the single-precision product.
    EXPECT_EQ(
        (std::vector<int32_t>{samplesPerStepFor(150), samplesPerStepFor(60), samplesPerStepFor(61), samplesPerStepFor(180), samplesPerStepFor(59),
                              samplesPerStepFor(181), gateSamplesFor(0.9f, 4410), gateSamplesFor(0.95f, 8268), gateSamplesFor(std::nanf(""), 8268)}),
        (std::vector<int32_t>{4410, 11025, 10844, 3675, 11025, 3675, 3969, 7854, 0}));
    auto s = startedSynth();
    s->score.doc.settings.tempoBpm = 0, recomputeStepTiming(s->score);
    EXPECT_EQ(s->score.doc.settings.tempoBpm, 0) << "the stored tempo keeps its value";
    EXPECT_EQ(s->score.derived.units[0].gateSamples, gateSamplesFor(0.95f, 11025));
    EXPECT_EQ(s->score.derived.units[5].gateSamples, gateSamplesFor(0.9f, 11025)) << "every slot follows its own gate";

    // The clock: the frame that ends step 15, only in the block that has it.
    s->score.doc.settings.tempoBpm = 150, recomputeStepTiming(s->score), s->engine.patternEndFrame = 9999;
    renderFrames(*s, 17 * 4096);  // 70560 frames per pass: 17 blocks end at 69632
    EXPECT_EQ((std::vector<int32_t>{s->engine.patternEndFrame, s->engine.currentStep}), (std::vector<int32_t>{9999, 15}));
    renderFrames(*s, 4096);
    EXPECT_EQ((std::vector<int32_t>{s->engine.patternEndFrame, s->engine.currentStep, s->engine.stepTick}),
              (std::vector<int32_t>{70560 - 1 - 69632, 0, 4096 - (70560 - 69632)}));

    // No unit in use: the clock stands and only the delay sounds (pan -32:
    // gains 64 and 32; master 128), each side on its meter.
    s = startedSynth();
    s->score.doc.unitCount = 0, s->engine.delayBuffer[0] = s->engine.delayBuffer[1] = 1000;
    const auto out = renderFrames(*s, 100);
    EXPECT_EQ((std::vector<int>{s->engine.stepTick, out[0], out[1], s->engine.levelLeft, s->engine.levelRight}),
              (std::vector<int>{0, (128 * ((64 * 1000) >> 5)) >> 6, (128 * ((32 * 1000) >> 5)) >> 6, 4000 * 100 / 32768, 2000 * 100 / 32768}));

    // Fewer than 4 bytes: nothing written, the meters read silence.
    s->engine.levelLeft = s->engine.levelRight = 42;
    int16_t sentinel[2] = {1234, 1234};
    publishAndRender(*s, sentinel, 3);
    EXPECT_EQ((std::vector<int>{sentinel[0], s->engine.levelLeft, s->engine.levelRight}), (std::vector<int>{1234, 0, 0}));
}

// Block sizes are tested with events (engine_input_test.cpp). Two units with
// equal settings, notes and state: each runs the clock from the same point.
TEST(Render, EqualUnitsFillEqualBuffers) {
    auto s = startedSynth();
    applyStartupLikeSettings(*s, 1), renderFrames(*s, 20000, 3000);
    for (int n = 0; n < 3000; ++n) ASSERT_EQ(s->engine.unitBuffers[n], s->engine.unitBuffers[kMaxBlockFrames + n]) << n;
}

TEST(ResetEngine, RearmsVoicesAndClockButKeepsPhasesDelayAndMeters) {
    auto s = startedSynth();
    s->score.doc.units[0].filterMode = kLo24, s->score.doc.units[0].delaySend[0] = 77;
    renderFrames(*s, 20000);
    const UnitVoice& v = s->engine.voices[0];
    const int32_t pos = s->engine.delayPos, echo = s->engine.delayBuffer[pos ? pos - 2 : 0];
    const std::vector<int32_t> kept = {v.osc1Accum, v.lfoAccum, v.sustainCounter, pos};
    ASSERT_TRUE(v.filterZ1 != 0 && echo != 0);
    publishAndReset(*s);
    for (const UnitVoice& w : s->engine.voices) {
        EXPECT_TRUE(w.envStage == kAttack && w.envLevel == 1) << "re-armed in the attack from level 1";
        EXPECT_EQ(w.filterX1 | w.filterX2 | w.filterY1 | w.filterY2 | w.filterW1 | w.filterW2 | w.filterZ1 | w.filterZ2, 0);
    }
    EXPECT_EQ(std::pair(int{s->engine.currentStep}, int{s->engine.stepTick}), std::pair(0, 0));
    EXPECT_EQ(std::vector<int32_t>({v.osc1Accum, v.lfoAccum, v.sustainCounter, s->engine.delayPos}), kept);
    EXPECT_EQ(s->engine.delayBuffer[pos ? pos - 2 : 0], echo) << "after Stop and Play the delay still sounds";
}

TEST(InstallDocument, RenewsTimingWavesPhasesAndEnvelopesOfUnitsInUse) {
    auto s = startedSynth();
    applyStartupLikeSettings(*s, 1);
    renderFrames(*s, 5000);
    // A document as a loader hands it over.
    auto doc = std::make_unique<Document>(s->score.doc);
    doc->settings.tempoBpm = 150;
    doc->units[0].osc1Wave = 3, doc->units[0].osc2Wave = 9;  // not a wave: the table stays as it was
    doc->units[1].osc1Wave = 4, doc->units[1].osc2Wave = 2, doc->units[1].osc2Phase = 256, doc->units[1].stepGate = 0.5f;
    doc->unitLinks[1][2] = 1;  // unit 1's row also links slot 2
    s->selection.currentUnit = 1;
    installDocument(*s, *doc);
    const Derived& d = s->score.derived;
    EXPECT_EQ(std::vector<int32_t>({s->selection.currentUnit, d.samplesPerStep, s->engine.score->derived.samplesPerStep, d.units[1].gateSamples}),
              std::vector<int32_t>({0, 4410, 4410, 2205}));
    // Unit 2 is linked from unit 1: the setters wrote it too.
    EXPECT_EQ(std::vector<int>({d.units[0].osc1Table, d.units[0].osc2Table, d.units[1].osc1Table, d.units[1].osc2Table, d.units[2].osc1Table}),
              std::vector<int>({3, 0, 4, 2, 4}));
    EXPECT_EQ(std::pair(s->engine.voices[1].osc1Accum, s->engine.voices[1].osc2Accum), std::pair(0, 256 * 8192));
    for (int u = 0; u < 2; ++u) EXPECT_TRUE(s->engine.voices[u].envStage == kAttack && s->engine.voices[u].envLevel == 1);
}

}  // namespace
}  // namespace velmor
