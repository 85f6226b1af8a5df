// Distortion, the mix of several units, the delay, the limiter and the
// meters, with the unit buffers written by the test.

#include <gtest/gtest.h>

#include "support/test_synth.h"

namespace velmor {
namespace {

// One unit at full volume, master at unity, the delay line empty and off.
class MixdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_ = testing::startedSynth();
        s_->score.doc.settings.masterVolume = 64, s_->score.doc.settings.delayPan = 0, s_->score.doc.settings.delayFeedback = 0;
    }
    // Mixes unit 0's samples (and unit 1's, when in use) as one block.
    std::vector<int16_t> mix(const std::vector<int16_t>& unit0, const std::vector<int16_t>& unit1 = {}) {
        std::copy(unit0.begin(), unit0.end(), s_->engine.unitBuffers.get());
        std::copy(unit1.begin(), unit1.end(), s_->engine.unitBuffers.get() + kMaxBlockFrames);
        std::vector<int16_t> out(2 * unit0.size());
        Peaks peaks;
        publish(*s_), setupDelay(s_->engine);
        mixdown(s_->engine, out.data(), static_cast<int>(unit0.size()), peaks);
        updateMeters(s_->engine, peaks);
        return out;
    }
    std::unique_ptr<Synth> s_;
};

TEST(Distortion, WetLevelAndCurves) {
    auto s = testing::initialisedSynth();
    const int32_t* a0 = distortionCurve(s->tables, 1, 0);
    for (int32_t a : {-40000, -32768, -5, 0, 7, 4096, 32767, 50000}) {
        const int32_t limited = std::clamp(a, -32768, 32767);
        EXPECT_EQ(distort(a0, 0, a), limited) << "wet 0 stores the amplified sample";
        EXPECT_EQ(distort(a0, 64, a), (a0[16384 + (limited >> 1)] * 64 + 64 * limited) >> 7);
    }
    // Mode 0 (a slot that never received a value) reads family B; a
    // threshold above 9 reads row 9, which in family B is the identity.
    EXPECT_EQ(distortionCurve(s->tables, 0, 3), s->tables.distCurvesB[3]);
    EXPECT_EQ(distortionCurve(s->tables, 1, 500), s->tables.distCurvesA[9]);
    const int32_t* identity = distortionCurve(s->tables, 2, 500);
    for (int32_t a = -32768; a < 32768; a += 5) ASSERT_NEAR(distort(identity, 128, a), a, 3) << a;
}

// Two units scaled and summed term by term; unit 0 is sent, but the
// feedback 0 silences the delay.
TEST_F(MixdownTest, UnitsAreScaledAndSummedTermByTerm) {
    s_->score.doc.unitCount = 2;
    s_->score.doc.units[0].volume = 100, s_->score.doc.units[1].volume = 3, s_->score.doc.units[0].delaySend[0] = 128;
    const auto out = mix({-7, 20000}, {1001, 0});
    EXPECT_EQ(std::pair(int{out[0]}, int{out[3]}), std::pair(((100 * -7) >> 7) + ((3 * 1001) >> 7), (100 * 20000) >> 7));
}

// The delay at 150 BPM, one step long, full feedback, only the send.
TEST_F(MixdownTest, EchoOneStepLaterPannedAndShortenedAtOnce) {
    std::vector<int16_t> in(3 * 4410, 0);
    in[10] = 1000;
    for (int pan : {0, 64, -64}) {
        SetUp();
        EngineSettings& g = s_->score.doc.settings;
        g.tempoBpm = 150, g.delaySteps = 1, g.delayFeedback = 128, g.delayPan = pan;
        s_->score.doc.units[0].delaySend[0] = 128, s_->score.doc.units[0].volume = 0;
        const auto out = mix(in);
        // Send 500, fed back with 128/128, returns at gain 64 >> 5 = 2.
        for (int n = 0; n < 3 * 4410; ++n) {
            const bool echo = n == 10 + 4410 || n == 10 + 2 * 4410;  // and once more, fed back
            ASSERT_EQ(out[2 * n], echo && pan <= 0 ? 1000 : 0) << pan << " " << n;
            ASSERT_EQ(out[2 * n + 1], echo && pan >= 0 ? 1000 : 0) << pan << " " << n;
        }
    }
    s_->engine.delayPos = 150000, mix({0, 0, 0});
    EXPECT_EQ(s_->engine.delayPos, 4) << "a position beyond the new length returns to 0";
}

// -40000 is written as -32767, and exactly -32768 passes unchanged but
// counts as clipped. The mark is held until the display clears levelLeft;
// then the next block reports its own peak: 16384 is 50 %.
TEST_F(MixdownTest, LimitingAndClipMetering) {
    // clang-format off
    const struct { int master; std::vector<int16_t> in, out; bool clear; int levelLeft, levelRight; } blocks[] = {
        {128, {-20000, 20000, 8192}, {-32767, -32767, 32767, 32767, 16384, 16384}, false, kLevelClipped, kLevelClipped},
        {128, {100}, {200, 200}, true, kLevelClipped, kLevelClipped}, {128, {8192, -100}, {16384, 16384, -200, -200}, false, 50, 50},
        {64, {-32768}, {-32768, -32768}, true, kLevelClipped, kLevelClipped}, {64, {32767}, {32767, 32767}, false, 99, 99}
    };
    // clang-format on
    for (const auto& b : blocks) {
        s_->score.doc.settings.masterVolume = b.master;
        EXPECT_EQ(mix(b.in), b.out) << b.in[0];
        EXPECT_EQ(std::pair(int{s_->engine.levelLeft}, int{s_->engine.levelRight}), std::pair(b.levelLeft, b.levelRight)) << b.in[0];
        if (b.clear) s_->engine.levelLeft = 0;
    }
}

TEST(DelaySetup, LengthAndGains) {
    auto s = testing::startedSynth();
    EngineSettings& g = s->score.doc.settings;
    // clang-format off
    const int32_t cases[][6] = {
        // steps, tempo, pan: length, left gain, right gain; the length is
        // even and at most the delay line's, whatever a pattern file brings.
        {8, 60, 0, 176400, 64, 64}, {2, 80, -32, 2 * 2646000 / 80 / 2 & ~1, 64, 32}, {2, 80, 10, 2 * 2646000 / 80 / 2 & ~1, 54, 64},
        {9, 60, 0, 198450 & ~1, 64, 64}, {100, 0, 0, kMaxDelayLength, 64, 64}
    };
    // clang-format on
    for (const auto& c : cases) {
        g.delaySteps = c[0], g.tempoBpm = c[1], g.delayPan = c[2];
        publish(*s), setupDelay(s->engine);
        EXPECT_EQ(s->engine.delayLength, c[3]) << c[0] << " steps at " << c[1];
        EXPECT_EQ(std::pair(s->engine.delayGainL, s->engine.delayGainR), std::pair(c[4], c[5])) << "pan " << c[2];
    }
}

}  // namespace
}  // namespace velmor
