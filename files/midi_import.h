#pragma once
// "Import MIDI...": a Standard MIDI File of format 0 or 1 becomes the song.
//
// Notes of channel n go to unit n; units are added, up to 4, for the
// channels that hold notes or that a track names (channel prefix), with the
// start-up settings of every control. Time is quantised to steps of a
// sixteenth note at the file's first tempo (each start to the nearest step,
// a half step up) and cut into song positions of 16 steps. In one step of
// one channel the later-starting note wins (of two starting together, the
// higher); the others are merged into it. A note that still sounds when the
// next note of its channel starts slides into it; one that lasts past the
// middle of a following step where no note starts ties into it (a step of
// its pitch that the step before slides into), as far as its end rounds;
// one that ends past the first third of such a step (the latest a swing
// starts a step) but before its middle slides into the rest there. A
// velocity above 100 is an accent, except where the step before holds the
// same pitch into the step (it strikes no note then). Keys are folded by
// octaves into the step editor's range, C1..C5. A rest is a step without
// note, of pitch 15, with neither slide nor accent.
//
// Positions whose steps are the same in every unit share a pattern;
// patterns are numbered by first appearance (a position that would need a
// 65th pattern ends the song there). The song becomes those patterns in
// order, in song mode, at the first tempo (60..180 BPM). Every other pattern
// of the bank returns to the start-up state; the sounds, links, swing and
// effects stay.
//
// The new document is built aside and takes the place of the current one
// whole (installDocument); a file that cannot be read, or is damaged
// anywhere, changes nothing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/midi_file.h"
#include "model/synth.h"

namespace velmor {

struct MidiImportReport {
    int positions = 0;
    int patterns = 0;
    int units = 0;
    int tempoBpm = 0;
    int placed = 0;
    int merged = 0;
    int droppedChannel = 0;   // on channels 5..16
    int droppedLate = 0;      // starting after the 512th song position
    int droppedPatterns = 0;  // in positions past the 64th pattern
    // "3 song positions (2 patterns) at 120 BPM in 2 units: 40 notes placed, ..."
    std::string text() const;
};

// The document an import makes of a file read by readMidiBytes, from the
// current one; `startUpUnit` is what every added unit gets.
void buildImportedDocument(const MidiFileIn& file, const Document& current, const UnitRecord& startUpUnit, Document& imported,
                           MidiImportReport& report);

// Reads, builds and installs. Returns 1 with the report in `message`, or 0
// with what is wrong in `message` (nothing changed then).
int importMidiBytes(Synth& s, const uint8_t* data, size_t size, std::string& message);
int importMidiFile(Synth& s, const char* path, std::string& message);

}  // namespace velmor
