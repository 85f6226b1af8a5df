#pragma once
// "Export MIDI...": one pass of what Play plays (the selected pattern in
// pattern mode, every song position once in song mode) as a Standard MIDI
// File of format 1 at 96 ticks per quarter note, 24 ticks a step: a tempo
// track named "Velmor" (4/4, the tempo), then one track per unit in use,
// "Velmor #n" on channel n.
//
// The notes are the engine's (engine/note_output.h), the same the sequencer
// sends as MIDI while it plays: a step starts at its swung frame, and a note
// ends at its gate's frame, both rounded to the nearest tick (a half tick
// up); a slide into a rest, or past the end of the pass, ends 10 ticks into
// the next step, before that step's middle, so that a reader tells it from
// a tie (see files/midi_import.h).

#include <cstdint>
#include <vector>

#include "base/document.h"
#include "engine/note_output.h"
#include "files/midi_file.h"
#include "files/safe_file.h"

namespace velmor {

constexpr int kTicksPerQuarter = 4 * kTicksPerStep;

// The notes and tracks of one pass.
MidiFileOut midiFromScore(const Score& score);

// The file's bytes, and the file written through files/safe_file.h.
std::vector<uint8_t> exportMidiBytes(const Score& score);
int exportMidiFile(const Score& score, const char* path, SaveResult* result = nullptr);

}  // namespace velmor
