#include <gtest/gtest.h>

#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;

// Mixdown fixture: the unit buffers are written by the test, the delay line
// starts empty, one unit at full volume, master at unity.
class MixdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_ = initialisedSynth();
        applyStartupLikeSettings(*s_);
        s_->store.units[0].volume = 128;
        s_->store.settings.masterVolume = 64;
        s_->store.settings.delayPan = 0;
        s_->store.settings.delayFeedback = 0;
    }
    std::vector<int16_t> mix(const std::vector<int16_t>& unit0) {
        for (size_t n = 0; n < unit0.size(); ++n) s_->engine.unitBuffers[n] = unit0[n];
        std::vector<int16_t> out(2 * unit0.size());
        Peaks peaks;
        setupDelay(*s_);
        mixdown(*s_, out.data(), static_cast<int>(unit0.size()), peaks);
        updateMeters(s_->engine, peaks);
        return out;
    }
    std::unique_ptr<Synth> s_;
};

TEST(Distortion, WetLevelAndCurves) {
    auto s = initialisedSynth();
    const int32_t* a0 = distortionCurve(s->tables, 1, 0);
    for (int32_t a : {-40000, -32768, -5, 0, 7, 4096, 32767, 50000}) {
        const int32_t limited = std::clamp(a, -32768, 32767);
        EXPECT_EQ(distort(a0, 0, a), limited) << "wet 0 stores the amplified sample";
        EXPECT_EQ(distort(a0, 128, a), a0[16384 + (limited >> 1)]) << "wet 128 is the pure curve";
        EXPECT_EQ(distort(a0, 64, a), (a0[16384 + (limited >> 1)] * 64 + 64 * limited) >> 7);
    }
    const int32_t* identity = distortionCurve(s->tables, 2, 9);
    for (int32_t a = -32768; a < 32768; a += 5) ASSERT_NEAR(distort(identity, 128, a), a, 3) << a;
    // Mode 0 (a slot that never received a value) reads family B; a
    // threshold above 9 reads row 9.
    EXPECT_EQ(distortionCurve(s->tables, 0, 3), s->tables.distCurvesB[3]);
    EXPECT_EQ(distortionCurve(s->tables, 1, 500), s->tables.distCurvesA[9]);
}

TEST_F(MixdownTest, UnityPathPassesTheUnitSamples) {
    const std::vector<int16_t> in = {0, 1, -1, 12345, -32768, 32767, -2};
    const auto out = mix(in);
    for (size_t n = 0; n < in.size(); ++n) {
        EXPECT_EQ(out[2 * n], in[n]);
        EXPECT_EQ(out[2 * n + 1], in[n]);
    }
}

TEST_F(MixdownTest, UnitsAreScaledAndSummedTermByTerm) {
    s_->store.unitCount = 2;
    s_->store.units[0].volume = 100;
    s_->store.units[1].volume = 3;
    s_->engine.unitBuffers[0] = -7;
    s_->engine.unitBuffers[kMaxBlockFrames] = 1001;
    std::vector<int16_t> out(2);
    Peaks peaks;
    setupDelay(*s_);
    mixdown(*s_, out.data(), 1, peaks);
    EXPECT_EQ(out[0], ((100 * -7) >> 7) + ((3 * 1001) >> 7));
}

TEST_F(MixdownTest, EchoOneStepLaterAndPanned) {
    s_->store.settings.tempoBpm = 150;
    s_->store.settings.delaySteps = 1;
    s_->store.settings.delayFeedback = 128;
    s_->store.units[0].delaySend[0] = 128;
    s_->store.units[0].volume = 0;
    std::vector<int16_t> in(3 * 4410, 0);
    in[10] = 1000;
    auto out = mix(in);
    EXPECT_EQ(s_->engine.delayLength, 8820);
    // Send 500 is fed back with 128/128: the echo returns at gain 64 >> 5 = 2.
    EXPECT_EQ(out[2 * (10 + 4410)], 1000);
    EXPECT_EQ(out[2 * (10 + 4410) + 1], 1000);
    for (int n = 0; n < 3 * 4410; ++n)
        if (n != 10 + 4410 && n != 10 + 2 * 4410) {
            ASSERT_EQ(out[2 * n], 0) << n;
        }

    for (int pan : {64, -64}) {
        SetUp();
        s_->store.settings.tempoBpm = 150;
        s_->store.settings.delaySteps = 1;
        s_->store.settings.delayFeedback = 128;
        s_->store.settings.delayPan = pan;
        s_->store.units[0].delaySend[0] = 128;
        s_->store.units[0].volume = 0;
        out = mix(in);
        const int left = out[2 * (10 + 4410)], right = out[2 * (10 + 4410) + 1];
        EXPECT_EQ(pan > 0 ? left : right, 0) << pan;
        EXPECT_EQ(pan > 0 ? right : left, 1000) << pan;
    }
}

TEST_F(MixdownTest, ZeroFeedbackSilencesTheDelay) {
    s_->store.units[0].delaySend[0] = 128;
    s_->store.units[0].volume = 0;
    std::vector<int16_t> in(40000, 20000);
    for (int16_t v : mix(in)) ASSERT_EQ(v, 0);
}

TEST_F(MixdownTest, ShortenedDelayTakesEffectAtOnce) {
    s_->engine.delayPos = 150000;
    s_->store.settings.delaySteps = 1;
    mix(std::vector<int16_t>(3, 0));
    EXPECT_EQ(s_->engine.delayPos, 4);
}

TEST_F(MixdownTest, LimitingAndClipMetering) {
    s_->store.settings.masterVolume = 128;
    auto out = mix({-20000, 20000, 8192, -16384});
    EXPECT_EQ(out[0], -32767) << "-40000 is written as -32767";
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[4], 16384);
    EXPECT_EQ(s_->engine.levelLeft, kLevelClipped);
    EXPECT_EQ(s_->engine.levelRight, kLevelClipped);

    // The mark is held until the display clears levelLeft ...
    mix({100});
    EXPECT_EQ(s_->engine.levelLeft, kLevelClipped);
    s_->engine.levelLeft = 0;
    // ... then the next block reports its own peak: 16384 is 50 %.
    mix({8192, -100});
    EXPECT_EQ(s_->engine.levelLeft, 50);
    EXPECT_EQ(s_->engine.levelRight, 50);

    // Exactly -32768 passes unchanged but counts as clipped.
    s_->store.settings.masterVolume = 64;
    out = mix({-32768});
    EXPECT_EQ(out[0], -32768);
    EXPECT_EQ(s_->engine.levelLeft, kLevelClipped);
    s_->engine.levelLeft = 0;
    mix({32767});
    EXPECT_EQ(s_->engine.levelLeft, 99);
}

TEST(DelaySetup, LengthAndGains) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    EngineSettings& g = s->store.settings;
    g.tempoBpm = 60;
    g.delaySteps = 8;
    setupDelay(*s);
    EXPECT_EQ(s->engine.delayLength, 176400);
    g.tempoBpm = 80;
    g.delaySteps = 2;
    setupDelay(*s);
    EXPECT_EQ(s->engine.delayLength, 2 * 2646000 / 80 / 2 & ~1);
    EXPECT_EQ(s->engine.delayGainL, 64);
    EXPECT_EQ(s->engine.delayGainR, 32);
    g.delayPan = 10;
    setupDelay(*s);
    EXPECT_EQ(s->engine.delayGainL, 54);
    EXPECT_EQ(s->engine.delayGainR, 64);
    // Values only a pattern file can bring stay inside the delay line.
    g.delaySteps = 1000;
    g.tempoBpm = 0;
    setupDelay(*s);
    EXPECT_LE(s->engine.delayLength, kMaxDelayLength);
    g.delaySteps = 9;
    g.tempoBpm = 60;
    setupDelay(*s);
    EXPECT_EQ(s->engine.delayLength, 198450 & ~1);
}

}  // namespace
}  // namespace velmor
