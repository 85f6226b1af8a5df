#pragma once
// The pattern bank and the song, as the step editor and the "Song" dialog
// change them: the selected pattern, the patterns a save must cover, the
// song's positions and song mode. While the song plays, the song clock's
// position follows an insertion or deletion before it.

#include <cstdint>

#include "model/synth.h"

namespace velmor {

constexpr int kFirstPatternNumber = 1;  // patterns are numbered 1..64 for the user

// Selects pattern 0..63 (the user's 1..64) for the step editor and for
// pattern mode; the playing pattern changes at its end.
void selectPattern(Synth& s, int pattern);

// A pattern the user has edited, pasted or generated: patternCount grows to
// cover it, so that a save writes it. It never shrinks by itself.
void coverPattern(Synth& s, int pattern);

// The song as the dialog shows it: songLength positions (a stored 0 counts
// as one), each naming a pattern 0..63.
int songPositions(const Synth& s);
int songPattern(const Synth& s, int position);

// Changes the pattern of a position.
void setSongPattern(Synth& s, int position, int pattern);
// Inserts a position naming `pattern` before `position` (0..length).
// Returns 0 when the song already holds 512 positions.
int insertSongPosition(Synth& s, int position, int pattern);
// Deletes a position. Returns 0 when it is the only one.
int deleteSongPosition(Synth& s, int position);

void setSongMode(Synth& s, bool on);
bool songModeOn(const Synth& s);

// What the main window shows: the playing position (1-based; 0 in pattern
// mode) and the playing pattern (1-based).
struct PlayingPlace {
    int position;
    int pattern;
};
PlayingPlace playingPlace(const Synth& s);

// The patternCount a save writes: patternCount, raised to cover every
// pattern the song names.
int32_t patternsToSave(const Document& d);

}  // namespace velmor
