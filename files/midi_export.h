#pragma once
// "Export MIDI...": one pass of what Play plays (the selected pattern in
// pattern mode, every song position once in song mode) as a Standard MIDI
// File of format 1 at 96 ticks per quarter note, 24 ticks a step: a tempo
// track named "Velmor" (4/4, the tempo), then one track per unit in use,
// "Velmor #n" on channel n.
//
// Times are the engine's: a step starts at its swung frame, and a note ends
// at its gate's frame, both rounded to the nearest tick (a half tick up).
// Step pitch p is key p + 21 (kept within 0..127); an accent is velocity
// 127, a plain note 100. A note lasts at least one tick and never past the
// next step's start, except where its step slides:
//   - into a note of another key: it ends one tick after that note starts;
//   - into a note of the same key: the two are one note, which lasts through
//     that step to its end (and on, if that step slides too);
//   - into a rest, or past the end of the pass: it ends 10 ticks into the
//     next step, before that step's middle, so that a reader tells it from a
//     tie (see files/midi_import.h).

#include <cstdint>
#include <vector>

#include "base/document.h"
#include "files/midi_file.h"
#include "files/safe_file.h"

namespace velmor {

constexpr int kTicksPerStep = 24;
constexpr int kTicksPerQuarter = 4 * kTicksPerStep;
constexpr int kKeyOfPitchZero = 21;  // step pitch 3, "C1", is key 24
// How far a slide into a rest or past the pass reaches into the next step.
constexpr int kSlideIntoRestTicks = 10;

// The notes and tracks of one pass.
MidiFileOut midiFromScore(const Score& score);

// The file's bytes, and the file written through files/safe_file.h.
std::vector<uint8_t> exportMidiBytes(const Score& score);
int exportMidiFile(const Score& score, const char* path, SaveResult* result = nullptr);

}  // namespace velmor
