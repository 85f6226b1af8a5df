#include "model/step_editor.h"

#include <utility>

#include "engine/arith.h"
#include "engine/song_clock.h"
#include "model/song.h"
#include "model/synth.h"

namespace velmor {

namespace {

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// The first step of the pattern the editor shows: the selected pattern of
// the current unit.
int firstStep(const Synth& s) { return stepIndex(s.selection.currentUnit, selectedPattern(s.score.derived), 0); }

// The pattern the editor shows, for the undo history's join keys.
int patternKey(const Synth& s) { return s.selection.currentUnit * kPatternsPerUnit + selectedPattern(s.score.derived); }

// The pattern's pitches, about to be changed: the pattern counts as edited.
// The caller holds an edit open.
int8_t* pitches(Synth& s) {
    coverPattern(s, s.score.derived.currentPattern);
    return &s.score.doc.stepPitch[firstStep(s)];
}

int toggle(Synth& s, const char* name, uint8_t* plane, int step) {
    Edit edit(s, name);
    coverPattern(s, s.score.derived.currentPattern);
    uint8_t& v = plane[firstStep(s) + (step & 15)];
    v = v != 0 ? 0 : 1;
    return v;
}

}  // namespace

void prepareRandomTable(int32_t* offsets, double* weights) {
    double sum = 0;
    for (int i = 0; i < 13; ++i) sum += weights[i];
    for (int i = 0; i < 13; ++i) weights[i] /= sum;
    for (int i = 0; i < 13; ++i)
        for (int j = 0; j < 13; ++j)
            if (weights[i] < weights[j]) {
                std::swap(weights[i], weights[j]);
                std::swap(offsets[i], offsets[j]);
            }
    for (int k = 1; k < 13; ++k) weights[k] = weights[k - 1] + weights[k];
}

void prepareRandomTables(RandomNoteTables& tables) {
    prepareRandomTable(tables.even.offsets, tables.even.weights);
    prepareRandomTable(tables.odd.offsets, tables.odd.weights);
}

int randomPitch(const RandomNoteTable& table, int r) {
    // x = r c with c = 1/32767 as a 32-bit float, the product in double.
    const double x = r * static_cast<double>(static_cast<float>(1.0 / 32767));
    int k = 0;
    while (k < 13 && !(table.weights[k] >= x)) ++k;
    return table.offsets[k] + 24;
}

void generateRandomPattern(Synth& s, uint32_t seed) {
    Edit edit(s, "Generate Random");
    srand(s.rng, seed);
    int8_t* p = pitches(s);
    for (int i = 0; i < 16; i += 2) p[i] = static_cast<int8_t>(randomPitch(s.randomNotes.even, rand(s.rng)));
    for (int i = 1; i < 16; i += 2) p[i] = static_cast<int8_t>(randomPitch(s.randomNotes.odd, rand(s.rng)));
}

std::string noteName(int pitch) {
    const int n = clampInt(pitch, kLowestPitch, kHighestPitch) - kLowestPitch;
    return kNoteNames[n % 12] + std::to_string(n / 12 + 1);
}

int pitchSliderPosition(int pitch) { return 48 - (clampInt(pitch, kLowestPitch, kHighestPitch) - kLowestPitch); }

void setStepPitchFromSlider(Synth& s, int step, int position) {
    Edit edit(s, "Step Pitch", joinKey(EditControl::kStepPitch, step & 15, patternKey(s)));
    pitches(s)[step & 15] = static_cast<int8_t>(48 - position + kLowestPitch);
}

int toggleStepNoteOn(Synth& s, int step) { return toggle(s, "Note On/Off", s.score.doc.stepNoteOn, step); }

int toggleStepSlide(Synth& s, int step) { return toggle(s, "Slide On/Off", s.score.doc.stepSlide, step); }

int toggleStepAccent(Synth& s, int step) {
    Edit edit(s, "Accent On/Off");
    coverPattern(s, s.score.derived.currentPattern);
    uint8_t& spare = s.score.doc.stepSpare[firstStep(s) + (step & 15)];
    spare = static_cast<uint8_t>(spare ^ 1);
    return spare & 1;
}

int stepPitch(const Synth& s, int step) { return s.score.doc.stepPitch[firstStep(s) + (step & 15)]; }
int stepNoteOn(const Synth& s, int step) { return s.score.doc.stepNoteOn[firstStep(s) + (step & 15)] != 0; }
int stepSlide(const Synth& s, int step) { return s.score.doc.stepSlide[firstStep(s) + (step & 15)] != 0; }
int stepAccent(const Synth& s, int step) { return s.score.doc.stepSpare[firstStep(s) + (step & 15)] & 1; }

void transposePattern(Synth& s, int change) {
    Edit edit(s, "Pitch", joinKey(EditControl::kTranspose, 0, patternKey(s)));
    int8_t* p = pitches(s);
    for (int i = 0; i < 16; ++i) {
        const int8_t v = p[i];
        if (change < 0 && v < kHighestPitch) p[i] = static_cast<int8_t>(v + 1);
        if (change > 0 && v > kLowestPitch) p[i] = static_cast<int8_t>(v - 1);
    }
}

void shiftPattern(Synth& s, int change) {
    Edit edit(s, "Shift", joinKey(EditControl::kShift, 0, patternKey(s)));
    int8_t* p = pitches(s);
    if (change > 0) {
        const int8_t first = p[0];
        for (int i = 0; i < 15; ++i) p[i] = p[i + 1];
        p[15] = first;
    } else if (change < 0) {
        const int8_t last = p[15];
        for (int i = 15; i > 0; --i) p[i] = p[i - 1];
        p[0] = last;
    }
}

}  // namespace velmor
