#pragma once
// The MIDI channel each unit listens on, as the MIDI dialog shows and sets
// it. The unit record keeps 0 for the unit's own channel (unit n on channel
// n), so that a unit nobody set keeps it when units move up or down a slot.

#include <cstdint>

namespace velmor {

struct Synth;

constexpr uint16_t kChannelOff = 17;  // stored for a unit that listens to none

// The channel 1..16 a stored value means for unit slot `unit`, or 0 for none.
inline int listeningChannel(uint16_t stored, int unit) {
    if (stored == 0) return unit + 1;
    return stored <= 16 ? stored : 0;
}

// The channel unit `unit` listens on: 1..16, or 0 for none.
int unitListeningChannel(const Synth& s, int unit);

// Sets the channel of unit `unit` (1..16, 0 for none) as one edit, which
// reaches the engine and the next saved file. A choice equal to the present
// one changes nothing, so a unit on its own channel keeps the stored 0.
void setUnitChannel(Synth& s, int unit, int channel);

}  // namespace velmor
