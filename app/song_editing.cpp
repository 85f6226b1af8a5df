#include "app/song_editing.h"

#include "base/document.h"
#include "model/song.h"

namespace velmor {

std::string songPositionLabel(int position, int pattern) {
    return std::to_string(position + 1) + ": Pattern " + std::to_string(pattern + 1);
}

int insertAfterSelected(Synth& s, int selected) {
    const int positions = songPositions(s);
    if (selected < 0 || selected >= positions) selected = positions - 1;
    if (!insertSongPosition(s, selected + 1, songPattern(s, selected))) return -1;
    return selected + 1;
}

int deleteSelected(Synth& s, int selected) {
    if (!deleteSongPosition(s, selected)) return -1;
    const int positions = songPositions(s);
    return selected < positions ? selected : positions - 1;
}

int stepSelectedPattern(Synth& s, int selected, int change) {
    int pattern = songPattern(s, selected) + (change > 0 ? 1 : -1);
    if (pattern < 0) pattern = 0;
    if (pattern > kPatternsPerUnit - 1) pattern = kPatternsPerUnit - 1;
    setSongPattern(s, selected, pattern);
    return songPattern(s, selected);
}

}  // namespace velmor
