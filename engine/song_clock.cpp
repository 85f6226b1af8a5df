#include "engine/song_clock.h"

#include "engine/arith.h"
#include "engine/engine_state.h"

namespace velmor {

int32_t playedSongLength(const EngineSettings& g) { return clampInt(g.songLength, 1, kSongEntries); }

int32_t songPositionPattern(const EngineSettings& g, int32_t position) {
    const int32_t entry = g.songSequence[clampInt(position, 0, kSongEntries - 1)];
    return entry > kPatternsPerUnit - 1 ? kPatternsPerUnit - 1 : entry;
}

int32_t selectedPattern(const EngineSettings& g) { return clampInt(g.currentPattern, 0, kPatternsPerUnit - 1); }

SongLatch latchSong(const EngineSettings& g, int32_t position) {
    SongLatch latch;
    const bool song = g.songMode != 0;
    const int32_t length = playedSongLength(g);
    const int32_t pattern = selectedPattern(g);
    for (SongStep& next : latch.after) {
        if (song) {
            position = position + 1 >= length || position < 0 ? 0 : position + 1;
            next = {position, songPositionPattern(g, position)};
        } else {
            position = kNoSongPosition;
            next = {position, pattern};
        }
    }
    return latch;
}

void resetSongClock(EngineState& e, const EngineSettings& g) {
    if (g.songMode != 0) {
        e.song.position = 0;
        e.song.pattern = songPositionPattern(g, 0);
        e.song.previousPattern = songPositionPattern(g, playedSongLength(g) - 1);
    } else {
        const int32_t pattern = selectedPattern(g);
        e.song.position = kNoSongPosition;
        e.song.pattern = pattern;
        e.song.previousPattern = pattern;
    }
}

}  // namespace velmor
