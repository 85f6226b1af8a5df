#pragma once
// What the "Song" dialog does to the song, without the window: the list's
// lines and the edits its buttons and keys make, each returning the
// position the list selects afterwards.

#include <string>

namespace velmor {

struct Synth;

// A line of the list: "%d: Pattern %d", both counted from 1.
std::string songPositionLabel(int position, int pattern);

// "Insert": a new position after `selected`, naming the same pattern, which
// users then change. Returns the new position, or -1 when the song already
// holds its 512 positions.
int insertAfterSelected(Synth& s, int selected);

// "Delete": removes `selected`. Returns the position selected afterwards
// (the one that took its place, or the new last one), or -1 when the song
// has only that one position left.
int deleteSelected(Synth& s, int selected);

// "+" and "-": the selected position names the next or the previous
// pattern, stopping at 1 and 64. Returns the pattern (0..63).
int stepSelectedPattern(Synth& s, int selected, int change);

}  // namespace velmor
