#include <gtest/gtest.h>

#include "engine/envelope.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;

int framesToFullLevel(int32_t start, int32_t increment) {
    Envelope e{start, kAttack, 0};
    const EnvelopeParams p{1.0f, 0, 0, 1.0};
    int frames = 0;
    while (e.stage == kAttack) {
        updateEnvelope(e, increment, p);
        ++frames;
    }
    EXPECT_EQ(e.level, kEnvFull);
    return frames;
}

TEST(Envelope, AttackDurations) {
    EXPECT_EQ(framesToFullLevel(1, 172144), 13);
    EXPECT_EQ(framesToFullLevel(1, 7), 299593);
    EXPECT_EQ(framesToFullLevel(0, 7), 299594);
}

TEST(Envelope, DecaySustainHoldAndRelease) {
    const EnvelopeParams p{0.9f, 1000, 2, 0.5};
    Envelope e{kEnvFull, kDecay, 77};
    int32_t level = kEnvFull;
    int frames = 0;
    while (e.stage == kDecay) {
        updateEnvelope(e, 0, p);
        level = static_cast<int32_t>(static_cast<double>(0.9f) * level);
        ASSERT_EQ(e.level, level);
        ++frames;
    }
    EXPECT_EQ(e.stage, kSustainHold);
    EXPECT_LE(e.level, 1000 * 64);
    EXPECT_GT(static_cast<int32_t>(e.level / static_cast<double>(0.9f)), 1000 * 64 - 1);
    EXPECT_EQ(e.sustainCounter, 0);
    const int32_t held = e.level;
    updateEnvelope(e, 0, p);  // counter 1
    updateEnvelope(e, 0, p);  // counter 2
    EXPECT_EQ(e.stage, kSustainHold);
    EXPECT_EQ(e.level, held);
    updateEnvelope(e, 0, p);  // counter 3 > 2: release, and its first step in the same frame
    EXPECT_EQ(e.stage, kRelease);
    EXPECT_EQ(e.level, static_cast<int32_t>(0.5 * held));
    for (int i = 0; i < 40; ++i) updateEnvelope(e, 0, p);
    EXPECT_EQ(e.level, 0);

    // Sustain time 0: the release begins on the frame after the decay
    // reached the sustain level.
    Envelope f{65, kDecay, 0};
    const EnvelopeParams q{0.9998f, 1, 0, 0.9};
    updateEnvelope(f, 0, q);
    EXPECT_EQ(f.stage, kSustainHold);
    updateEnvelope(f, 0, q);
    EXPECT_EQ(f.stage, kRelease);

    // Factor 1.0 never lets the level fall; an unknown stage changes nothing.
    Envelope g{1234, kRelease, 0};
    updateEnvelope(g, 0, EnvelopeParams{1.0f, 0, 0, 1.0});
    EXPECT_EQ(g.level, 1234);
    Envelope h{1234, 9, 5};
    updateEnvelope(h, 100, p);
    EXPECT_EQ(h.level, 1234);
    EXPECT_EQ(h.stage, 9);
}

// Renders frame by frame and records the envelope stage after each frame.
std::vector<uint8_t> stagesOver(Synth& s, int frames) {
    std::vector<uint8_t> stages;
    int16_t frame[2];
    for (int n = 0; n < frames; ++n) {
        renderBlock(s, frame, 4);
        stages.push_back(s.engine.voices[0].envStage);
    }
    return stages;
}

class GateTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_ = initialisedSynth();
        applyStartupLikeSettings(*s_);
        s_->store.settings.tempoBpm = 180;  // 3675 frames per step
        s_->store.units[0].sustainTime = 441000;
        s_->store.units[0].sustainLevel = 32768;  // the decay ends at once
        recomputeStepTiming(*s_);
    }
    void setGate(float gate) {
        s_->store.units[0].stepGate = gate;
        s_->store.units[0].gateSamples = gateSamplesFor(gate, s_->store.settings.samplesPerStep);
    }
    std::unique_ptr<Synth> s_;
    static constexpr int kStep = 3675;
};

TEST_F(GateTest, ReleaseStartsAfterTheGateLength) {
    setGate(0.5f);
    const auto stages = stagesOver(*s_, 2 * kStep);
    const int gate = gateSamplesFor(0.5f, kStep);
    EXPECT_EQ(stages[gate], kSustainHold);
    EXPECT_EQ(stages[gate + 1], kRelease) << "tick gateSamples + 1 is the first released frame";
    EXPECT_EQ(stages[kStep], kAttack) << "the next note-on step retriggers";
}

TEST_F(GateTest, FullGateNeverReleasesAndZeroGateReleasesAtTickOne) {
    setGate(1.0f);
    for (uint8_t st : stagesOver(*s_, 3 * kStep)) ASSERT_NE(st, kRelease);

    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.units[0].stepGate = 0.0f;
    recomputeStepTiming(*s);
    const auto stages = stagesOver(*s, 2 * 8268);
    EXPECT_NE(stages[0], kRelease);
    EXPECT_EQ(stages[1], kRelease);
    EXPECT_EQ(stages[8268 + 1], kRelease);
}

TEST_F(GateTest, SlideHoldsTheGateAndSuppressesTheNextRetrigger) {
    setGate(0.5f);
    s_->store.stepSlide[stepIndex(0, 0, 0)] = 1;
    s_->store.units[0].sustainLevel = 0;
    s_->store.units[0].decay = 0.9999f;
    const auto stages = stagesOver(*s_, 2 * kStep);
    for (int n = 0; n < kStep; ++n) ASSERT_NE(stages[n], kRelease) << n;
    EXPECT_EQ(stages[kStep], kDecay) << "step 1 is note-on, but step 0 slid: no attack";
    EXPECT_EQ(stages[kStep + gateSamplesFor(0.5f, kStep)], kDecay);
    EXPECT_EQ(stages[kStep + gateSamplesFor(0.5f, kStep) + 1], kRelease);
}

TEST_F(GateTest, NoteOffStepDoesNotRetriggerButResetDoes) {
    setGate(0.5f);
    s_->store.stepNoteOn[stepIndex(0, 0, 0)] = 0;
    s_->store.stepNoteOn[stepIndex(0, 0, 1)] = 0;
    // After the reset the unit starts with an attack from level 1 even
    // though step 0 is a note-off step.
    EXPECT_EQ(s_->engine.voices[0].envLevel, 1);
    auto stages = stagesOver(*s_, 2 * kStep);
    EXPECT_EQ(stages[0], kAttack);
    EXPECT_EQ(stages[kStep - 1], kRelease);
    EXPECT_EQ(stages[kStep + 10], kRelease) << "no retrigger at the note-off step 1";
    resetEngine(*s_);
    EXPECT_EQ(s_->engine.voices[0].envLevel, 1);
    EXPECT_EQ(s_->engine.voices[0].envStage, kAttack);
}

}  // namespace
}  // namespace velmor
