#pragma once
// What the main window computes without the platform: the envelope
// picture's outline, the status line's texts, the title after a load and
// the name and kind of a streamed file.

#include <cstddef>
#include <string>

#include "audio/output.h"
#include "engine/engine.h"
#include "velmor_version.h"

namespace velmor {

struct Synth;

struct Point {
    int x, y;
};

// The envelope picture in a frame W + 1 pixels wide and H + 2 high, from the
// slider positions of Attack a, Decay d, Sustain s, Release r and the level
// l (100 minus the Sus Lvl slider): P0 (0, 0), P1 (0, H), P2 (xA, 0),
// P3 (xD, yL), P4 (xS, yL), P5 (xR, H), P6 (W - 1, H), P7 (W - 1, 0).
struct EnvelopeOutline {
    Point p[8];
};
EnvelopeOutline envelopeOutline(int W, int H, int a, int d, int s, int r, int l);

// The three status fields: "CPU: %d%%", and "Vol-L: %d%%" / "Vol-R: %d%%"
// or "CLIP" in both; a shown clip mark is cleared so that the next block
// reports levels again.
struct StatusTexts {
    std::string cpu, left, right;
};
StatusTexts refreshStatus(const AudioOutput& out, Engine& e);

// "Velmor V" and the version of the file VERSION.
constexpr const char* kProgramTitle = "Velmor V" VELMOR_VERSION_TEXT;

// The program title, " - " and the file name without its directory.
std::string titleAfterLoad(const char* fileName);

// The label of unit tab n (0-based): "Velmor #%d" with n + 1.
std::string unitTabLabel(int n);

// Play from a stop: the clock still stands at the start where Stop, the
// start-up or a load left it, and it starts with the pattern chosen since
// (pattern mode) or at the song's first position (song mode). A clock that
// a stream to disk left past the start goes on from there.
void prepareToPlay(Synth& s);

// What plays, for the field beside the tabs: "Pattern %d" in pattern mode,
// "Song %d/%d: Pattern %d" (position, positions, pattern) in song mode.
std::string playingStatus(const Synth& s);

// The file "Stream 2 Disk..." writes: a WAVE file when the WAVE filter was
// chosen or the name ends in ".wav" (any case), which then gets ".wav"
// unless it ends so; otherwise raw, with ".raw" as the save commands add
// it. A name the extension would not fit is refused and left unchanged.
enum class StreamKind { kRefused, kRaw, kWave };
StreamKind streamFileName(char* name, size_t capacity, bool waveFilter);

}  // namespace velmor
