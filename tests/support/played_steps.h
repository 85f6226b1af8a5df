#pragma once
// The steps that Play plays, as text: for tests that compare songs step by
// step (an imported MIDI file, a pattern file saved by another program).

#include <string>

#include "engine/song_clock.h"
#include "model/song.h"

namespace velmor::testing {

// The steps of unit u at a song position (pattern mode: the selected
// pattern), as "pitch", "s" for slide, "a" for accent; "-" for a rest.
// An accent where the step before holds the same pitch into it is not
// shown when `tiedAccents` is false: such a step strikes no note.
inline std::string steps(const Synth& s, int u, int position, bool tiedAccents = true) {
    const Document& d = s.score.doc;
    const int pattern = d.settings.songMode ? songPositionPattern(d.settings, position) : selectedPattern(s.score.derived);
    const int previous = position > 0 && d.settings.songMode ? songPositionPattern(d.settings, position - 1) : -1;
    std::string out;
    for (int k = 0; k < kStepsPerPattern; ++k) {
        const int at = stepIndex(u, pattern, k);
        const int before = k > 0 ? at - 1 : (previous >= 0 ? stepIndex(u, previous, 15) : -1);
        const bool tied = before >= 0 && d.stepNoteOn[before] && d.stepSlide[before] && d.stepPitch[before] == d.stepPitch[at];
        out.append(k > 0 ? " " : "").append(d.stepNoteOn[at] ? std::to_string(d.stepPitch[at]) : "-");
        out.append(d.stepNoteOn[at] && d.stepSlide[at] ? "s" : "");
        out.append(d.stepNoteOn[at] && (d.stepSpare[at] & 1) && (tiedAccents || !tied) ? "a" : "");
    }
    return out;
}

// What Play plays: the steps of every unit at every position of a pass, a
// line each.
inline std::string played(const Synth& s, bool tiedAccents = true) {
    std::string all;
    const Document& d = s.score.doc;
    const int positions = d.settings.songMode ? playedSongLength(d.settings) : 1;
    for (int p = 0; p < positions; ++p)
        for (int u = 0; u < d.unitCount; ++u) all += steps(s, u, p, tiedAccents) + "\n";
    return all;
}

}  // namespace velmor::testing
