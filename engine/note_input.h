#pragma once
// MIDI into the engine: each unit plays the keys of its channel (the newest
// key held sounds; a key pressed while another is held slides to it, legato,
// over one step; a velocity above 100 is an accent), and the sequencer
// follows MIDI clock's Start, Continue, Stop and Song Position Pointer.

#include <cstdint>

namespace velmor {

struct Engine;

// The unit's channel 0..15, or -1 when it listens to none.
int unitChannel(const Engine& e, int unit);

// The step pitch a MIDI note plays: note - 21, folded by octaves into the
// step editor's range 3..51 (notes 24..72).
int32_t pitchOfNote(int note);

// One message, at the frame where the events now applied stand.
void applyMidi(Engine& e, const uint8_t* bytes, int size);

// Where the clock stands: `sixteenths` from the song's start (in pattern
// mode only the step within the pattern), as a Song Position Pointer says.
void locate(Engine& e, int32_t sixteenths);

// The sequencer: 0 stops it (every unit released), 1 starts it from the
// beginning (the engine reset), 2 lets it go on from where it stands.
void applySequencer(Engine& e, int32_t how);

}  // namespace velmor
