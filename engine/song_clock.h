#pragma once
// Which pattern plays when: in pattern mode the selected pattern loops; in
// song mode each song position plays its pattern once, and after the last
// position the song starts again. The switch happens at the frame that ends
// step 15, the same for every unit.

#include <cstdint>

#include "base/document.h"

namespace velmor {

struct Engine;

// The song as it plays: a stored length of 0 plays as one position, more
// than 512 as 512.
int32_t playedSongLength(const EngineSettings& g);
// The pattern of a song position; an entry above 63 plays pattern 64.
int32_t songPositionPattern(const EngineSettings& g, int32_t position);
// The selected pattern, kept inside the bank.
int32_t selectedPattern(const Derived& d);

// In pattern mode the clock's position is -1: switching song mode on while
// playing starts the song at its first position at the next pattern end.
constexpr int32_t kNoSongPosition = -1;

struct SongStep {
    int32_t position;
    int32_t pattern;
};

// What follows a position at its pattern's end: the next song position (the
// first after the last, or after none) in song mode, the selected pattern in
// pattern mode.
SongStep nextSongStep(const Score& score, int32_t position);

// A pattern end that completes a pass: every pattern in pattern mode, the
// return to the first position in song mode.
inline bool endsPass(const SongStep& next) { return next.position <= 0; }

// The song clock at the start: the first position (song mode) or the
// selected pattern (pattern mode), and before it the last position's
// pattern (song mode) or that same pattern (pattern mode).
void resetSongClock(Engine& e);

}  // namespace velmor
