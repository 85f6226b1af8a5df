#include "files/midi_export.h"

#include <string>

#include "engine/arith.h"
#include "engine/render.h"
#include "engine/song_clock.h"

namespace velmor {

MidiFileOut midiFromScore(const Score& score) {
    const Document& d = score.doc;
    const EngineSettings& g = d.settings;
    const int32_t sps = score.derived.samplesPerStep > 0 ? score.derived.samplesPerStep : samplesPerStepFor(g.tempoBpm);
    const int32_t swingDelay = mul32(sps, clampInt(g.swing, 0, 100)) / 300;

    std::vector<int32_t> played;
    if (g.songMode != 0) {
        for (int32_t i = 0; i < playedSongLength(g); ++i) played.push_back(songPositionPattern(g, i));
    } else {
        played.push_back(selectedPattern(score.derived));
    }
    const int64_t steps = static_cast<int64_t>(played.size()) * kStepsPerPattern;
    // Step k's first frame in the pass, and where it would start straight.
    const auto straightOf = [&](int64_t k) { return k * sps; };
    const auto frameOf = [&](int64_t k) { return straightOf(k) + ((k & 1) != 0 ? swingDelay : 0); };

    MidiFileOut file;
    file.ticksPerQuarter = kTicksPerQuarter;
    const int32_t bpm = clampInt(g.tempoBpm, 60, 180);
    file.microsPerQuarter = static_cast<uint32_t>((60000000 + bpm / 2) / bpm);
    file.name = "Velmor";
    file.endTick = steps * kTicksPerStep;

    const int units = clampInt(d.unitCount, 0, kUnitSlots);
    for (int u = 0; u < units; ++u) {
        MidiTrackOut track;
        track.name = "Velmor #" + std::to_string(u + 1);
        track.channel = u;
        // The pass played through the engine's note rules, each note kept
        // from its start to its end.
        UnitNotes notes;
        const auto on = [&](int64_t frame, uint8_t key, uint8_t velocity) {
            track.notes.push_back(MidiNote{tickOf(frame, sps), 0, static_cast<uint8_t>(u), key, velocity});
        };
        const auto off = [&](int64_t frame, uint8_t key) {
            for (auto n = track.notes.rbegin(); n != track.notes.rend(); ++n)
                if (n->key == key && n->end == 0) {
                    n->end = tickOf(frame, sps);
                    break;
                }
        };
        for (int64_t k = 0; k < steps; ++k) {
            const int at =
                stepIndex(u, played[static_cast<size_t>(k / kStepsPerPattern)], static_cast<int>(k % kStepsPerPattern));
            NoteStep s;
            s.noteOn = d.stepNoteOn[at] != 0;
            s.key = static_cast<uint8_t>(clampInt(d.stepPitch[at] + kKeyOfPitchZero, 0, 127));
            s.velocity = (d.stepSpare[at] & 1) != 0 ? 127 : 100;
            s.slides = d.stepSlide[at] != 0;
            s.start = frameOf(k), s.straightStart = straightOf(k), s.next = frameOf(k + 1), s.nextStraight = straightOf(k + 1);
            s.samplesPerStep = sps;
            // Its gate, as the engine scales it for a swung step.
            int64_t gate = score.derived.units[u].gateSamples;
            if (swingDelay != 0) gate = gate * (frameOf(k + 1) - frameOf(k)) / sps;
            s.gate = static_cast<int32_t>(gate);
            dueNoteOffs(notes, s.start + 1, off);
            beginNoteStep(notes, s, on);
        }
        dueNoteOffs(notes, frameOf(steps) + 1, off);
        endNotePass(notes, straightOf(steps), sps);
        dueNoteOffs(notes, INT64_MAX, off);
        file.tracks.push_back(std::move(track));
    }
    return file;
}

std::vector<uint8_t> exportMidiBytes(const Score& score) { return encodeMidiFile(midiFromScore(score)); }

int exportMidiFile(const Score& score, const char* path, SaveResult* result) {
    const SaveResult r = writeFileBytes(path, exportMidiBytes(score));
    if (result) *result = r;
    return r.ok() ? 1 : 0;
}

}  // namespace velmor
