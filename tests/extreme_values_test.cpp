// Whole passes with settings far outside the control ranges, as a pattern
// file written elsewhere could bring them. The render must stay inside its
// tables and buffers and free of undefined behaviour (the sanitizer build
// runs these), and must stay deterministic.

#include <gtest/gtest.h>

#include <functional>

#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;
using testing::renderFrames;

struct Extreme {
    const char* name;
    std::function<void(Synth&)> apply;
};

void everyUnit(Synth& s, const std::function<void(UnitRecord&)>& f) {
    for (UnitRecord& r : s.store.units) f(r);
}

const Extreme kExtremes[] = {
    {"negativeAndHugeNotes",
     [](Synth& s) {
         for (int i = 0; i < 16; ++i) s.store.stepPitch[stepIndex(0, 0, i)] = static_cast<int8_t>(i % 2 ? -128 : 127);
         s.store.stepSlide[stepIndex(0, 0, 3)] = 1;
     }},
    {"coarseAtPitchThree",
     [](Synth& s) {
         for (int i = 0; i < 16; ++i) s.store.stepPitch[stepIndex(0, 0, i)] = 3;
         s.store.units[0].osc1Coarse = -12;
         s.store.units[0].osc2Coarse = 12;
         s.store.units[1].osc1Coarse = 12;
         s.store.units[1].osc2Coarse = -12;
         s.store.units[1].lfoTarget = 0;
         s.store.units[1].lfoAmount = 256;
     }},
    {"strongFmAtTheTopNote",
     [](Synth& s) {
         for (int i = 0; i < 16; ++i) s.store.stepPitch[stepIndex(0, 0, i)] = 51;
         everyUnit(s, [](UnitRecord& r) {
             r.fmAmount = 256;
             r.osc2Coarse = 12;
             r.lfoTarget = 3;
             r.lfoAmount = 256;
         });
         s.store.units[1].fmAmount = INT32_MAX;
     }},
    {"tempoZero", [](Synth& s) { s.store.settings.tempoBpm = 0; }},
    {"tempoHuge", [](Synth& s) { s.store.settings.tempoBpm = 100000; }},
    {"delayStepsThousand",
     [](Synth& s) {
         s.store.settings.delaySteps = 1000;
         s.store.settings.tempoBpm = 60;
         s.store.units[0].delaySend[0] = 0xFFFFFFFFu;
     }},
    {"negativeDelay",
     [](Synth& s) {
         s.store.settings.delaySteps = -7;
         s.store.settings.delayPan = INT32_MIN;
         s.store.settings.delayFeedback = INT32_MAX;
     }},
    {"thresholdFiveHundred",
     [](Synth& s) {
         everyUnit(s, [](UnitRecord& r) {
             r.distThreshold = 500;
             r.distWet = 65535;
             r.distMode = 7;
         });
     }},
    {"wildUnitFields",
     [](Synth& s) {
         everyUnit(s, [](UnitRecord& r) {
             r.cutoff = INT32_MIN;
             r.resonance = INT32_MAX;
             r.envAmount = INT32_MAX;
             r.oscMix = INT32_MIN;
             r.ringMod = INT32_MAX;
             r.pulseWidth = -1000000;
             r.osc1Fine = INT32_MAX;
             r.osc2Fine = INT32_MIN;
             r.volume = INT32_MAX;
             r.lfoSpeed = -1e300;
             r.lfoAmount = INT32_MIN;
             r.lfoTarget = 1;
             r.lfoWave = 9;
             r.attack = std::nan("");
             r.decay = 1e30f;
             r.release = -1e300;
             r.sustainLevel = INT32_MIN;
             r.sustainTime = INT32_MIN;
             r.stepGate = -std::numeric_limits<float>::infinity();
             r.filterMode = 1;
         });
         s.store.settings.masterVolume = INT32_MAX;
     }},
    {"eachFilterModeAtLimits",
     [](Synth& s) {
         for (int u = 0; u < 8; ++u) {
             UnitRecord& r = s.store.units[u];
             r.filterMode = static_cast<uint16_t>(u % 5 == 4 ? 0xFFFF : u % 5);
             r.cutoff = u % 2 ? INT32_MAX : -60;
             r.resonance = u % 3 ? 35000 : -INT32_MAX;
             r.envAmount = 32000;
             r.pulseWidth = 300 * u;
             r.volume = 128;
             r.oscSync = 1;
         }
     }},
};

class ExtremeValuesTest : public ::testing::TestWithParam<Extreme> {};

TEST_P(ExtremeValuesTest, RendersWholePassesSafelyAndDeterministically) {
    std::vector<int16_t> first;
    for (int run = 0; run < 2; ++run) {
        auto s = initialisedSynth();
        for (int u = 0; u < 8; ++u) applyStartupLikeSettings(*s, u);
        s->store.unitCount = 8;
        GetParam().apply(*s);
        recomputeStepTiming(*s);
        const int pass = 16 * s->store.settings.samplesPerStep;
        auto out = renderFrames(*s, pass + 1000, 3001);
        EXPECT_GE(s->engine.delayPos, 0);
        EXPECT_LT(s->engine.delayPos, kDelaySlots);
        if (run == 0) first = std::move(out);
        else EXPECT_EQ(first, out);
    }
}

INSTANTIATE_TEST_SUITE_P(Render, ExtremeValuesTest, ::testing::ValuesIn(kExtremes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmor
