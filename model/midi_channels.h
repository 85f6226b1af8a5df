#pragma once
// The MIDI channel each unit listens on, as the MIDI dialog shows and sets
// it (the stored value's meaning: base/midi_channel.h).

#include "base/midi_channel.h"

namespace velmor {

struct Synth;

// The channel unit `unit` listens on: 1..16, or 0 for none.
int unitListeningChannel(const Synth& s, int unit);

// Sets the channel of unit `unit` (1..16, 0 for none) as one edit, which
// reaches the engine and the next saved file. A choice equal to the present
// one changes nothing, so a unit on its own channel keeps the stored 0.
void setUnitChannel(Synth& s, int unit, int channel);

}  // namespace velmor
