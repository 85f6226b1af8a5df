#include "engine/engine_input.h"

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/note_input.h"
#include "engine/note_output.h"

namespace velmor {

namespace {

bool isUnit(int32_t u) { return u >= 0 && u < kUnitSlots; }

// Song edits while the song plays: the position now playing goes on with
// what came after it. An insertion at or before it moves it up one; the
// deletion of it or of one before it moves it down one.
void followSongEdit(Engine& e, int32_t position, int32_t change) {
    if (e.score->doc.settings.songMode == 0 || e.song.position < position) return;
    e.song.position = e.song.position + change;
}

}  // namespace

void restartOscillators(Engine& e, int u) {
    UnitVoice& v = e.voices[u];
    v.osc1Accum = 0;
    // osc2Phase x 8192, formed as the phase shifted left by 22 bits and
    // divided by 512, which is the same for the control range 0..256.
    v.osc2Accum = shl32(e.score->doc.units[u].osc2Phase, 22) / 512;
}

void clearFilterMemory(Engine& e, int u) {
    UnitVoice& v = e.voices[u];
    v.filterX1 = v.filterX2 = v.filterY1 = v.filterY2 = 0;
    v.filterW1 = v.filterW2 = v.filterZ1 = v.filterZ2 = 0;
}

void applyCommand(Engine& e, const EngineCommand& c) {
    switch (c.kind) {
        case EngineCommand::kWrite:
            // Patches lie inside the score; anything else is no command of ours.
            if (c.size <= EngineCommand::kMaxWrite && c.offset <= sizeof(Score) - c.size)
                std::memcpy(reinterpret_cast<unsigned char*>(e.score.get()) + c.offset, c.bytes, c.size);
            break;
        case EngineCommand::kSwap:
            if (c.score) std::memcpy(static_cast<void*>(e.score.get()), c.score, sizeof(Score));
            e.input.swapsApplied.store(c.sequence, std::memory_order_release);
            break;
        case EngineCommand::kRestartOscillators:
            if (isUnit(c.value)) restartOscillators(e, c.value);
            break;
        case EngineCommand::kClearFilter:
            if (isUnit(c.value)) clearFilterMemory(e, c.value);
            break;
        case EngineCommand::kRearmEnvelope:
            if (isUnit(c.value)) {
                e.voices[c.value].envStage = 0;
                e.voices[c.value].envLevel = 1;
            }
            break;
        case EngineCommand::kSongInserted: followSongEdit(e, c.value, 1); break;
        case EngineCommand::kSongDeleted: followSongEdit(e, c.value, -1); break;
        case EngineCommand::kMidi: applyMidi(e, c.bytes, c.size <= 3 ? c.size : 3); break;
        case EngineCommand::kSequencer: applySequencer(e, c.value); break;
        case EngineCommand::kClockSync:
            e.clockIn.sync = c.value != 0;
            e.clockIn.waiting = false;
            e.syncedTempo = 0;
            break;
        case EngineCommand::kClockOut: e.clockOut.enabled = c.value != 0; break;
        case EngineCommand::kLocalOff: e.localOff = static_cast<uint32_t>(c.value); break;
        case EngineCommand::kNoteOut:
            endAllNotes(e);
            e.noteOut.enabled = c.value != 0;
            break;
        case EngineCommand::kLocate:
            locate(e, c.value);
            e.clockIn.waiting = e.clockIn.sync;
            e.clockIn.ticks = 0;
            e.clockIn.endIn = -1;
            break;
    }
}

void takeInput(Engine& e) {
    while (const EngineCommand* c = e.input.queue.front()) {
        applyCommand(e, *c);
        e.input.queue.pop();
    }
}

void swapScore(Engine& e, std::unique_ptr<Score>& other) { e.score.swap(other); }

void handEngineToAudio(Engine& e) { e.input.audioTakes = true; }

void takeEngineBack(Engine& e) {
    e.input.audioTakes = false;
    takeInput(e);
}

}  // namespace velmor
