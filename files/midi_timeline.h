#pragma once
// A Standard MIDI File played through the note input: its notes as MIDI
// messages at frames of 44100 Hz, the tempo map deciding where each tick
// falls (every event at the nearest frame), and the tempo in force from each
// tempo change on.

#include <cstdint>
#include <vector>

#include "engine/engine_input.h"
#include "files/midi_file.h"

namespace velmor {

struct MidiTempoAt {
    int64_t frame = 0;
    int32_t beatsPerMinute = 120;  // rounded, and kept within 60..180
};

struct MidiTimeline {
    std::vector<TimedCommand> messages;  // by frame; at one frame note-offs first
    std::vector<MidiTempoAt> tempos;     // from frame 0 on, by frame
    int64_t endFrame = 0;                // the file's end
};

MidiTimeline timelineOf(const MidiFileIn& file);

}  // namespace velmor
