#pragma once
// Builds fresh synthesizer instances for tests and benchmarks.

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/parameters.h"
#include "model/units.h"

namespace velmor::testing {

// An instance after unit initialisation and the engine reset, with the
// distortion curves built: every slot holds its start values.
inline std::unique_ptr<Synth> initialisedSynth() {
    auto s = makeSynth();
    buildDistortionCurves(s->tables);
    initialiseUnits(*s);
    resetEngine(*s);
    return s;
}

// The settings of unit 0 and the globals right after start-up.
inline void applyStartupLikeSettings(Synth& s, int unit = 0) {
    UnitRecord& r = s.store.units[unit];
    r.filterMode = 0;
    r.cutoff = 8192;
    r.resonance = 19660;
    r.envAmount = 16250;
    r.osc1Coarse = 0;
    r.osc1Fine = 0;
    r.osc2Coarse = 0;
    r.osc2Fine = 0;
    r.oscMix = 128;
    r.osc2Phase = 0;
    r.attack = std::exp((-25 - 20) * 0.1) * 2097152;
    r.decay = static_cast<float>(70 * 2.9999999999996697e-06 + 0.9997);
    r.sustainTime = 0;
    r.sustainLevel = 0;
    r.release = std::exp((10 - 100) * 7e-05);
    r.stepGate = static_cast<float>(95 * static_cast<double>(0.01f));
    r.volume = 128;
    r.lfoSpeed = std::exp(-3.5);
    r.lfoAmount = 0;
    r.lfoWave = 0;
    r.lfoTarget = 0;
    r.delaySend[0] = 0;
    r.distThreshold = 9;
    r.distWet = 0;
    r.distMode = 1;
    r.ringMod = 0;
    s.store.currentUnit = unit;
    setOsc1Wave(s, 0);
    setOsc2Wave(s, 0);
    s.store.currentUnit = 0;
    EngineSettings& g = s.store.settings;
    g.masterVolume = 128;
    g.delayFeedback = 108;
    g.delaySteps = 2;
    g.delayPan = -32;
    g.tempoBpm = 80;
    if (s.store.unitCount < unit + 1) s.store.unitCount = unit + 1;
    s.engine.sequencerOn = 1;
    recomputeStepTiming(s);
}

// Renders `frames` frames in blocks of blockFrames and returns them
// interleaved.
inline std::vector<int16_t> renderFrames(Synth& s, int frames, int blockFrames = 4096) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    for (int done = 0; done < frames;) {
        const int n = std::min(blockFrames, frames - done);
        renderBlock(s, out.data() + 2 * done, static_cast<uint32_t>(n) * 4);
        done += n;
    }
    return out;
}

}  // namespace velmor::testing
