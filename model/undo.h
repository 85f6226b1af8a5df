#pragma once
// The edit history behind Undo and Redo, and whether the document differs
// from the one last saved or loaded. Every edit passes through the engine
// feed; when the outermost one ends, what it changed in the score (the
// document and the values the setters derived from it, not the selected
// pattern) is kept as one step: the runs of bytes that changed, each with
// its bytes before and after, and the commands the edit posted for the
// running state. Undo puts the bytes before back, Redo the bytes after, so
// either gives exactly the bytes the edits left; the engine hears the same
// commands a setter would have posted for that change.
//
// Edits of one control that follow each other within a second (a slider
// drag, a run of key presses) join into one step. The history keeps at most
// kMaxUndoSteps steps and, beyond kKeptUndoSteps steps, at most
// kUndoBudgetBytes bytes of runs: the oldest steps go first.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "base/document.h"
#include "engine/engine_input.h"

namespace velmor {

struct Synth;

constexpr size_t kMaxUndoSteps = 1000;
constexpr size_t kKeptUndoSteps = 200;
constexpr size_t kUndoBudgetBytes = size_t{16} << 20;
constexpr int64_t kJoinWithinMs = 1000;

// Edits of the same control carry the same key; 0 never joins.
enum class EditControl : uint8_t { kNone, kParameter, kStepPitch, kTranspose, kShift, kSongPattern };
constexpr uint32_t joinKey(EditControl c, int a, int b = 0) {
    return (static_cast<uint32_t>(c) << 24) | ((static_cast<uint32_t>(a) & 0xFFF) << 12) | (static_cast<uint32_t>(b) & 0xFFF);
}

struct UndoStep {
    const char* name = nullptr;  // "Cutoff", "Generate Random": a text that lives for the whole run
    uint32_t key = 0;
    int64_t lastChangeMs = 0;
    // Runs of changed bytes: offset (4 bytes), length n (4 bytes), the n
    // bytes before, the n bytes after.
    std::vector<uint8_t> runs;
    // The commands for the running state that the edits posted (oscillator
    // restarts, filter clears, song-clock follows), in their order: Redo
    // posts them again, Undo posts what takes each back, last first.
    std::vector<EngineCommand> commands;
};

struct UndoHistory {
    std::deque<UndoStep> steps;
    size_t applied = 0;            // steps[0, applied) can be undone, the others redone
    size_t runBytes = 0;           // the bytes the steps' runs hold
    bool joinable = false;         // the last step may take in the next edit of its control
    Score base{};                  // the score as the history last saw it
    Document saved{};              // the document as last saved or loaded
    bool savedKnown = true;        // false: no saved file holds what `saved` holds
    int64_t (*clock)() = nullptr;  // milliseconds; a steady clock when null
    // The outermost edit's name and key while it is open.
    const char* pendingName = nullptr;
    uint32_t pendingKey = 0;
};

// The edit feed's hook: the outermost edit ended; what it changed becomes a
// step (or joins the last one).
void recordEdit(Synth& s);

// Undo and Redo of one step; false when there is none. The restored values
// reach the engine as one transaction, with the commands the step's edits
// posted for the running state (or, for Undo, what takes them back).
bool undo(Synth& s);
bool redo(Synth& s);

// The names of the step Undo and Redo would take back or bring again, or
// null when there is none.
const char* undoName(const Synth& s);
const char* redoName(const Synth& s);

// The history starts anew from the current state (a document was
// installed whole, or the program has started).
void clearHistory(Synth& s);

// The current document is the one in the file just saved or loaded ...
void markSaved(Synth& s);
// ... or it is in no file at all (a recovered or imported document).
void forgetSaved(Synth& s);
// Whether the document differs from the one last saved or loaded.
bool documentChanged(const Synth& s);

// The bytes the history holds (the steps and their runs), for measuring.
size_t historyFootprint(const Synth& s);

}  // namespace velmor
