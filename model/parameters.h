#pragma once
// Parameter setters. Every per-unit setter writes the current unit and each
// unit linked from its row of unitLinks, in ascending slot order.

#include <cstdint>

#include "model/synth.h"

namespace velmor {

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

// Waveform choice 0..4 of oscillator 1 or 2: stores the choice, selects its
// table (a choice outside 0..4 is stored and leaves the table as it was) and
// restarts both oscillators.
void setOsc1Wave(Synth& s, uint16_t wave);
void setOsc2Wave(Synth& s, uint16_t wave);

}  // namespace velmor
