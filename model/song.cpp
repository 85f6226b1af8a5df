#include "model/song.h"

#include "engine/arith.h"
#include "engine/song_clock.h"
#include "model/engine_feed.h"

namespace velmor {

void selectPattern(Synth& s, int pattern) {
    Edit edit(s);
    s.score.derived.currentPattern = clampInt(pattern, 0, kPatternsPerUnit - 1);
}

void coverPattern(Synth& s, int pattern) {
    Edit edit(s);
    EngineSettings& g = s.score.doc.settings;
    const int32_t needed = clampInt(pattern, 0, kPatternsPerUnit - 1) + 1;
    if (g.patternCount < needed) g.patternCount = needed;
}

int songPositions(const Synth& s) { return playedSongLength(s.score.doc.settings); }

int songPattern(const Synth& s, int position) { return songPositionPattern(s.score.doc.settings, position); }

void setSongPattern(Synth& s, int position, int pattern) {
    Edit edit(s, "Song Pattern", joinKey(EditControl::kSongPattern, position));
    EngineSettings& g = s.score.doc.settings;
    if (position < 0 || position >= playedSongLength(g)) return;
    g.songSequence[position] = static_cast<uint8_t>(clampInt(pattern, 0, kPatternsPerUnit - 1));
}

namespace {

// A song whose stored length is 0 plays its first entry: editing it starts
// from that one position.
int32_t editableLength(EngineSettings& g) {
    const int32_t length = playedSongLength(g);
    if (g.songLength != length) g.songLength = length;
    return length;
}

}  // namespace

int insertSongPosition(Synth& s, int position, int pattern) {
    EngineSettings& g = s.score.doc.settings;
    Edit edit(s, "Insert Position");
    const int32_t length = editableLength(g);
    if (length >= kSongEntries) return 0;
    position = clampInt(position, 0, length);
    for (int i = length; i > position; --i) g.songSequence[i] = g.songSequence[i - 1];
    g.songSequence[position] = static_cast<uint8_t>(clampInt(pattern, 0, kPatternsPerUnit - 1));
    g.songLength = length + 1;
    // The position now playing keeps playing next what came after it.
    postToEngine(s, EngineCommand::of(EngineCommand::kSongInserted, position));
    return 1;
}

int deleteSongPosition(Synth& s, int position) {
    EngineSettings& g = s.score.doc.settings;
    Edit edit(s, "Delete Position");
    const int32_t length = editableLength(g);
    if (length <= 1 || position < 0 || position >= length) return 0;
    for (int i = position; i < length - 1; ++i) g.songSequence[i] = g.songSequence[i + 1];
    g.songLength = length - 1;
    // Deleting the playing position or one before it: the song goes on with
    // the position that followed the playing one.
    postToEngine(s, EngineCommand::of(EngineCommand::kSongDeleted, position));
    return 1;
}

void setSongMode(Synth& s, bool on) {
    Edit edit(s, "Song Mode");
    s.score.doc.settings.songMode = on ? 1 : 0;
}

bool songModeOn(const Synth& s) { return s.score.doc.settings.songMode != 0; }

PlayingPlace playingPlace(const Synth& s) {
    const SongClock& clock = s.engine.song;
    const int pattern = clampInt(clock.pattern, 0, kPatternsPerUnit - 1) + 1;
    if (s.score.doc.settings.songMode == 0) return {0, pattern};
    return {clampInt(clock.position + 1, 1, playedSongLength(s.score.doc.settings)), pattern};
}

int32_t patternsToSave(const Document& d) {
    const EngineSettings& g = d.settings;
    int32_t count = clampInt(g.patternCount, 0, kPatternsPerUnit);
    const int32_t length = clampInt(g.songLength, 0, kSongEntries);
    for (int i = 0; i < length; ++i) {
        const int32_t needed = songPositionPattern(g, i) + 1;
        if (count < needed) count = needed;
    }
    return count;
}

}  // namespace velmor
