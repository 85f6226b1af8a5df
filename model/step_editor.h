#pragma once
// What the step editor does to the current unit's selected pattern
// (currentPattern), without the window: note names and slider positions,
// the note, slide and accent switches, transposition, rotation, and the
// weighted random bass line. Every change counts the pattern as edited, so
// that a save covers it.

#include <cstdint>
#include <string>

namespace velmor {

struct Synth;

// One pair of random note tables: weights (cumulative after preparation)
// and semitone offsets above A2 (pitch 24); the fourteenth offset is a spare.
struct RandomNoteTable {
    double weights[13];
    int32_t offsets[14];
};

struct RandomNoteTables {
    RandomNoteTable even{{100, 1, 10, 20, 1, 5, 1, 20, 1, 2, 10, 2, 40}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}};
    RandomNoteTable odd{{1, 1, 10, 20, 1, 2, 1, 20, 1, 1, 10, 1, 20}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}};
};

// Turns the weights into an ascending cumulative distribution, permuting the
// offsets with them (the exchange order decides ties and so the mapping).
void prepareRandomTable(int32_t* offsets, double* weights);
void prepareRandomTables(RandomNoteTables& tables);

// The pitch a draw r (0..32767) gives.
int randomPitch(const RandomNoteTable& table, int r);

// Seeds the runtime generator and draws the even steps, then the odd ones;
// the note and slide switches stay.
void generateRandomPattern(Synth& s, uint32_t seed);

constexpr int kLowestPitch = 3;    // C1
constexpr int kHighestPitch = 51;  // C5

// "C1".."C5" for pitches 3..51; a pitch outside that range (from a pattern
// file) is named by the nearest pitch inside it.
std::string noteName(int pitch);
// The pitch slider's position, 0 (top, C5) to 48 (bottom, C1), for a pitch;
// outside 3..51 the nearest end.
int pitchSliderPosition(int pitch);

// Step i of the current unit's pattern from a pitch slider position.
void setStepPitchFromSlider(Synth& s, int step, int position);
// Toggles a step's note or slide switch; returns the new state.
int toggleStepNoteOn(Synth& s, int step);
int toggleStepSlide(Synth& s, int step);
// Toggles a step's accent (bit 0 of stepSpare); returns the new state.
int toggleStepAccent(Synth& s, int step);

// A step of the pattern the editor shows, as its controls show it.
int stepPitch(const Synth& s, int step);
int stepNoteOn(const Synth& s, int step);
int stepSlide(const Synth& s, int step);
int stepAccent(const Synth& s, int step);

// One click of the pitch spin: a negative change raises every pitch below 51
// by one, a positive change lowers every pitch above 3 by one.
void transposePattern(Synth& s, int change);
// One click of the shift spin: a positive change rotates the pitches toward
// earlier steps, a negative one toward later steps; switches stay in place.
void shiftPattern(Synth& s, int change);

}  // namespace velmor
