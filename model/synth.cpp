#include "model/synth.h"

namespace velmor {

std::unique_ptr<Synth> makeSynth() { return std::make_unique<Synth>(); }

}  // namespace velmor
