#pragma once
// The program's whole state in one aggregate: lookup tables, the data model,
// the engine's running state, the runtime's random generator, the pattern
// clipboard and the step editor's random note tables. The running program
// has exactly one; tests build fresh ones.

#include <memory>

#include "engine/crt_rand.h"
#include "engine/engine_state.h"
#include "engine/tables.h"
#include "model/pattern_clipboard.h"
#include "model/step_editor.h"
#include "model/store.h"

namespace velmor {

struct Synth {
    Tables tables;
    Store store;
    EngineState engine;
    CrtRand rng;
    PatternClipboard patternClipboard;
    RandomNoteTables randomNotes;  // prepared once by the main window's set-up
};

// A fresh, zeroed instance on the heap (the tables alone take 2.5 MiB).
std::unique_ptr<Synth> makeSynth();

}  // namespace velmor
