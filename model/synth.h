#pragma once
// The program's whole state in one aggregate: lookup tables, the score the
// interface edits, the window's selection, the engine, what the engine has
// been sent, the runtime's random generator, the pattern clipboard, the
// step editor's random note tables and the undo history. The running
// program has exactly one; tests build fresh ones.

#include <memory>

#include "base/document.h"
#include "engine/crt_rand.h"
#include "engine/engine.h"
#include "engine/tables.h"
#include "model/engine_feed.h"
#include "model/pattern_clipboard.h"
#include "model/step_editor.h"
#include "model/undo.h"

namespace velmor {

struct Synth {
    Tables tables;
    Score score;
    Selection selection;
    Engine engine;
    EngineFeed feed;
    CrtRand rng;
    PatternClipboard patternClipboard;
    RandomNoteTables randomNotes;  // prepared once by the main window's set-up
    UndoHistory undo;
};

// A fresh, zeroed instance on the heap (the tables alone take 2.5 MiB), its
// engine reading its tables.
std::unique_ptr<Synth> makeSynth();

}  // namespace velmor
