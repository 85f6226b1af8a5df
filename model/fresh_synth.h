#pragma once
// Fresh instances in known states, for the programs that measure the engine
// and for the tests.

#include <memory>

#include "model/synth.h"

namespace velmor {

// An instance after unit initialisation and the engine reset, with the
// distortion curves built: every slot holds its start values.
std::unique_ptr<Synth> initialisedSynth();

// A fresh instance in the state right after start-up.
std::unique_ptr<Synth> startedSynth();

// The start-up state's settings: unit 0 and the globals take the defaults;
// another unit gets unit 0's settings pasted and comes into use.
void applyStartupLikeSettings(Synth& s, int unit = 0);

}  // namespace velmor
