#include "model/synth.h"

namespace velmor {

std::unique_ptr<Synth> makeSynth() {
    auto s = std::make_unique<Synth>();
    s->engine.tables = &s->tables;
    return s;
}

}  // namespace velmor
