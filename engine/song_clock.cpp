#include "engine/song_clock.h"

#include "engine/arith.h"
#include "engine/engine.h"

namespace velmor {

int32_t playedSongLength(const EngineSettings& g) { return clampInt(g.songLength, 1, kSongEntries); }

int32_t songPositionPattern(const EngineSettings& g, int32_t position) {
    const int32_t entry = g.songSequence[clampInt(position, 0, kSongEntries - 1)];
    return entry > kPatternsPerUnit - 1 ? kPatternsPerUnit - 1 : entry;
}

int32_t selectedPattern(const Derived& d) { return clampInt(d.currentPattern, 0, kPatternsPerUnit - 1); }

SongStep nextSongStep(const Score& score, int32_t position) {
    const EngineSettings& g = score.doc.settings;
    if (g.songMode == 0) return {kNoSongPosition, selectedPattern(score.derived)};
    position = position + 1 >= playedSongLength(g) || position < 0 ? 0 : position + 1;
    return {position, songPositionPattern(g, position)};
}

void resetSongClock(Engine& e) {
    const EngineSettings& g = e.score->doc.settings;
    if (g.songMode != 0) {
        e.song.position = 0;
        e.song.pattern = songPositionPattern(g, 0);
        e.song.previousPattern = songPositionPattern(g, playedSongLength(g) - 1);
    } else {
        const int32_t pattern = selectedPattern(e.score->derived);
        e.song.position = kNoSongPosition;
        e.song.pattern = pattern;
        e.song.previousPattern = pattern;
    }
}

}  // namespace velmor
