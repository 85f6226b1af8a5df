#pragma once
// Parameter setters and getters: the mapping between control positions and
// the values of the store. Every per-unit setter writes the current unit and
// each unit linked from its row of unitLinks, in ascending slot order, with
// the row's side effects; a getter reads the current unit (or the global
// field) and gives the position back, truncating like the setter.

#include <cstddef>
#include <cstdint>

#include "model/synth.h"

namespace velmor {

using Position = int16_t;

// Calls fn(u) for every slot u linked from the current unit's row.
template <class Fn>
void forEachLinkedUnit(Synth& s, Fn fn) {
    const uint8_t* row = s.store.unitLinks[s.store.currentUnit];
    for (int u = 0; u < kUnitSlots; ++u)
        if (row[u] != 0) fn(u);
}

// Restarts both oscillators of unit u: oscillator 1 at phase 0, oscillator 2
// at the phase given by osc2Phase.
void restartOscillators(Synth& s, int u);
// Clears the eight filter memories of unit u.
void clearFilterMemory(Synth& s, int u);

// Main window, per unit.
void setCutoff(Synth& s, Position p);
void setResonance(Synth& s, Position p);
void setEnvAmount(Synth& s, Position p);
void setOsc1Coarse(Synth& s, Position p);
void setOsc1Fine(Synth& s, Position p);
void setOsc2Coarse(Synth& s, Position p);
void setOsc2Fine(Synth& s, Position p);
void setOscMix(Synth& s, Position p);
void setPhase(Synth& s, Position p);
void setRingMod(Synth& s, Position p);
void setFmAmount(Synth& s, Position p);
void setPulseWidth(Synth& s, Position p);
void setDelaySend(Synth& s, Position p);
void setVolume(Synth& s, Position p);  // p = 128 - slider position
void setDistWet(Synth& s, Position p);
void setThreshold(Synth& s, Position p);
void setAttack(Synth& s, Position p);
void setDecay(Synth& s, Position p);
void setSustain(Synth& s, Position p);
void setSustainLevel(Synth& s, Position p);  // p = 100 - slider position
void setRelease(Synth& s, Position p);
void setStepGate(Synth& s, Position p);
void setLfoSpeed(Synth& s, Position p);
void setLfoAmount(Synth& s, Position p);

Position getCutoff(const Synth& s);
Position getResonance(const Synth& s);
Position getEnvAmount(const Synth& s);
Position getOsc1Coarse(const Synth& s);
Position getOsc1Fine(const Synth& s);
Position getOsc2Coarse(const Synth& s);
Position getOsc2Fine(const Synth& s);
Position getOscMix(const Synth& s);
Position getPhase(const Synth& s);
Position getRingMod(const Synth& s);
Position getFmAmount(const Synth& s);
Position getPulseWidth(const Synth& s);
Position getDelaySend(const Synth& s);
Position getVolume(const Synth& s);  // the slider position, 128 - volume
Position getDistWet(const Synth& s);
Position getThreshold(const Synth& s);
Position getAttack(const Synth& s);
Position getDecay(const Synth& s);
Position getSustain(const Synth& s);
Position getSustainLevel(const Synth& s);  // the slider is set to 100 minus this
Position getRelease(const Synth& s);
Position getStepGate(const Synth& s);
Position getLfoSpeed(const Synth& s);
Position getLfoAmount(const Synth& s);

// Choices. The waveform setters accept any value: a choice outside 0..4 is
// stored and leaves the table as it was; both restart the oscillators.
void setOsc1Wave(Synth& s, uint16_t wave);
void setOsc2Wave(Synth& s, uint16_t wave);
void setFilterMode(Synth& s, uint16_t mode);  // then clears the filter memories
void setLfoTarget(Synth& s, uint16_t target);
void setLfoWave(Synth& s, uint16_t wave);
void setDistMode(Synth& s, uint16_t mode);
void setSync(Synth& s, uint32_t sync);
uint16_t getOsc1Wave(const Synth& s);
uint16_t getOsc2Wave(const Synth& s);
uint16_t getFilterMode(const Synth& s);
uint16_t getLfoTarget(const Synth& s);
uint16_t getLfoWave(const Synth& s);
uint16_t getDistMode(const Synth& s);
uint32_t getSync(const Synth& s);

// Global settings.
void setTempo(Synth& s, Position p);  // then the step timing is recomputed
void setMasterVolume(Synth& s, Position p);
void setDelaySteps(Synth& s, Position p);
void setFeedback(Synth& s, Position p);
void setPan(Synth& s, Position p);
// Swing 0..100 % ("Effects Setup"): every second step starts up to a third
// of a step late.
void setSwing(Synth& s, Position p);
Position getSwing(const Synth& s);
// The unit's "Accent" strength 0..100 (per unit, following the links).
void setAccent(Synth& s, Position p);
Position getAccent(const Synth& s);

Position getTempo(const Synth& s);
Position getMasterVolume(const Synth& s);
Position getDelaySteps(const Synth& s);  // 0 when delaySteps is none of the choices
Position getFeedback(const Synth& s);
Position getPan(const Synth& s);

inline constexpr int32_t delayStepChoices[5] = {1, 2, 4, 6, 8};

}  // namespace velmor
