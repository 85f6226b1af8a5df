#pragma once
// The sequencer's notes as a reader of MIDI sees them, for the tests that
// hold what the engine or a plugin sends against "Export MIDI...", and a
// song that gives every rule of theirs something to do.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "files/midi_export.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "support/test_synth.h"

namespace velmor::testing {

// Channel, key, velocity, and its start and end tick (-1 while it sounds).
using Note = std::tuple<int, int, int, int64_t, int64_t>;

// A message sent at `frame` of the whole run, with steps of samplesPerStep
// frames: a note-on starts a note, a note-off ends the last one of its
// channel and key.
inline void addSent(std::vector<Note>& notes, int64_t frame, const uint8_t* bytes, int32_t samplesPerStep) {
    const int64_t tick = tickOf(frame, samplesPerStep);
    const int channel = bytes[0] & 15;
    if ((bytes[0] & 0xF0) == 0x90) {
        notes.emplace_back(channel, bytes[1], bytes[2], tick, -1);
        return;
    }
    for (auto n = notes.rbegin(); n != notes.rend(); ++n)
        if (std::get<0>(*n) == channel && std::get<1>(*n) == bytes[1] && std::get<4>(*n) < 0) {
            std::get<4>(*n) = tick;
            return;
        }
}

// Channel by channel, as a file's tracks hold them; those starting at or
// after `endTick` left out.
inline std::vector<Note> byChannel(std::vector<Note> notes, int64_t endTick = INT64_MAX) {
    std::erase_if(notes, [&](const Note& n) { return std::get<3>(n) >= endTick; });
    std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) { return std::get<0>(a) < std::get<0>(b); });
    return notes;
}

// The notes of "Export MIDI...", one pass.
inline std::vector<Note> exportedNotes(const MidiFileOut& file) {
    std::vector<Note> notes;
    for (const MidiTrackOut& t : file.tracks)
        for (const MidiNote& n : t.notes) notes.emplace_back(n.channel, n.key, n.velocity, n.start, n.end);
    return notes;
}

// A song of three positions on four units, swung, at `tempo`, whose steps
// slide into the same key, into another key and into rests, with accents
// and every unit's own gate; its last step slides nowhere.
inline std::unique_ptr<Synth> slidingSong(int32_t tempo) {
    auto s = startedSynth();
    for (int u = 1; u < 4; ++u) applyStartupLikeSettings(*s, u);
    setParameter(*s, 0, Param::kTempo, tempo), setParameter(*s, 0, Param::kSwing, 45);
    std::mt19937 rng(17);
    Document& d = s->score.doc;
    {
        velmor::Edit edit(*s);
        for (int u = 0; u < 4; ++u)
            for (int i = 0; i < 3 * kStepsPerPattern; ++i) {
                const int at = stepIndex(u, 0, i);
                d.stepNoteOn[at] = rng() % 4 != 0, d.stepSlide[at] = rng() % 3 == 0;
                d.stepPitch[at] = static_cast<int8_t>(10 + rng() % 4), d.stepSpare[at] = rng() % 4 == 0;
            }
        for (int u = 0; u < 4; ++u) d.stepSlide[stepIndex(u, 2, 15)] = 0;
    }
    for (int u = 0; u < 4; ++u) setParameter(*s, u, Param::kStepGate, 20 + 25 * u);
    insertSongPosition(*s, 1, 1), insertSongPosition(*s, 2, 2), setSongMode(*s, true);
    return s;
}

}  // namespace velmor::testing
