#include "files/midi_export.h"

#include <string>

#include "engine/arith.h"
#include "engine/render.h"
#include "engine/song_clock.h"

namespace velmor {

namespace {

// The nearest tick of a frame (a half tick rounds up).
int64_t tickOf(int64_t frame, int32_t samplesPerStep) {
    const int64_t twice = 2 * frame * kTicksPerStep + samplesPerStep;
    const int64_t divisor = 2 * int64_t{samplesPerStep};
    return twice >= 0 ? twice / divisor : -((-twice + divisor - 1) / divisor);
}

}  // namespace

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
    // Step k's first frame and tick in the pass (k = steps: the pass's end).
    const auto frameOf = [&](int64_t k) { return k * sps + ((k & 1) != 0 ? swingDelay : 0); };
    const auto startOf = [&](int64_t k) { return tickOf(frameOf(k), sps); };

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
        const auto at = [&](int64_t k) {
            return stepIndex(u, played[static_cast<size_t>(k / kStepsPerPattern)], static_cast<int>(k % kStepsPerPattern));
        };
        const auto noteOn = [&](int64_t k) { return d.stepNoteOn[at(k)] != 0; };
        const auto slides = [&](int64_t k) { return d.stepSlide[at(k)] != 0; };
        const auto keyOf = [&](int64_t k) { return static_cast<uint8_t>(clampInt(d.stepPitch[at(k)] + kKeyOfPitchZero, 0, 127)); };
        for (int64_t k = 0; k < steps;) {
            if (!noteOn(k)) {
                ++k;
                continue;
            }
            MidiNote n;
            n.start = startOf(k);
            n.channel = static_cast<uint8_t>(u);
            n.key = keyOf(k);
            n.velocity = (d.stepSpare[at(k)] & 1) != 0 ? 127 : 100;
            // The note goes on through every following step of its key that
            // the step before slides into.
            int64_t last = k;
            while (slides(last) && last + 1 < steps && noteOn(last + 1) && keyOf(last + 1) == n.key) ++last;
            if (!slides(last)) {
                int64_t end = startOf(last + 1);
                if (last == k) {
                    // Its gate, as the engine scales it for a swung step.
                    int64_t gate = score.derived.units[u].gateSamples;
                    if (swingDelay != 0) gate = gate * (frameOf(k + 1) - frameOf(k)) / sps;
                    const int64_t gateEnd = tickOf(frameOf(k) + gate, sps);
                    if (gateEnd < end) end = gateEnd > n.start ? gateEnd : n.start + 1;
                }
                n.end = end;
            } else if (last + 1 < steps && noteOn(last + 1)) {
                n.end = startOf(last + 1) + 1;  // legato into the next note
            } else {
                n.end = (last + 1) * kTicksPerStep + kSlideIntoRestTicks;
            }
            track.notes.push_back(n);
            k = last + 1;
        }
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
