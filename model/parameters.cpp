#include "model/parameters.h"

#include "engine/arith.h"

namespace velmor {

void restartOscillators(Synth& s, int u) {
    UnitVoice& v = s.engine.voices[u];
    v.osc1Accum = 0;
    // osc2Phase x 8192, formed as the phase shifted left by 22 bits and
    // divided by 512, which is the same for the control range 0..256.
    v.osc2Accum = shl32(s.store.units[u].osc2Phase, 22) / 512;
}

namespace {

void setWave(Synth& s, uint16_t wave, Relaxed<uint16_t> UnitRecord::*field,
             Relaxed<const WaveSample*> UnitRecord::*table) {
    const WaveSample* chosen = waveTableFor(s.tables, wave);
    forEachLinkedUnit(s, [&](int u) {
        UnitRecord& r = s.store.units[u];
        (r.*field) = wave;
        if (chosen) (r.*table) = chosen;
        restartOscillators(s, u);
    });
}

}  // namespace

void setOsc1Wave(Synth& s, uint16_t wave) { setWave(s, wave, &UnitRecord::osc1Wave, &UnitRecord::osc1Table); }
void setOsc2Wave(Synth& s, uint16_t wave) { setWave(s, wave, &UnitRecord::osc2Wave, &UnitRecord::osc2Table); }

}  // namespace velmor
