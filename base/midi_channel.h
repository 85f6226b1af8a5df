#pragma once
// The MIDI channel a unit listens on, as its record stores it: 0 for the
// unit's own channel (unit n on channel n), so that a unit nobody set keeps
// it when units move up or down a slot; 1..16 that channel; anything else
// none. The engine plays from it, the model sets it.

#include <cstdint>

namespace velmor {

constexpr uint16_t kChannelOff = 17;  // stored for a unit that listens to none

// The channel 1..16 a stored value means for unit slot `unit`, or 0 for none.
inline int listeningChannel(uint16_t stored, int unit) {
    if (stored == 0) return unit + 1;
    return stored <= 16 ? stored : 0;
}

}  // namespace velmor
