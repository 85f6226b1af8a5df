#pragma once
// A pattern file as the windows show it, for the tools that write Velmor's
// own files (the demos and the factory presets): each unit's sound as the
// main window's slider positions and button choices, its patterns in the
// step editor's note names, the bottom row's and Effects Setup's settings,
// and the song. writeSheet builds it the way a user does, through the
// model's setters, the step editor and the song dialog's functions, and
// writes it as "Save Pattern..." does: the same bytes on every run.

#include <string>
#include <vector>

namespace velmor {

// A unit's sound. Volume and the sustain level are given as values (0..128
// and 0..100, the top of their vertical sliders being the most).
struct Sound {
    int osc1Wave = 0, osc2Wave = 0;  // 0 saw, 1 square, 2 sine, 3 the second saw, 4 user
    int osc1Coarse = 50, osc1Fine = 50, osc2Coarse = 50, osc2Fine = 50;
    int pulseWidth = 0, fm = 0, oscMix = 50, ringMod = 0, phase = 0;
    bool sync = false;
    int filterMode = 0;  // 0 Lo12, 1 Lo24, 2 Hi12, 3 Band, 4 Bypass
    int cutoff = 50, envAmount = 50, resonance = 40;
    int attack = 20, decay = 70, sustain = 0, release = 10, sustainLevel = 0, stepGate = 95, volume = 128;
    int delaySend = 0;
    int distMode = 1, distWet = 0, threshold = 0;                 // distortion "A" is 1, "B" 2
    int lfoTarget = 0, lfoWave = 0, lfoSpeed = 0, lfoAmount = 0;  // target 0 pitch, 1 reso, 2 cutoff
    int accent = 50;
};

// A unit: its sound and its patterns 1, 2, ... Each pattern is 16 steps
// separated by blanks (a bar line "|" may stand between them). A step is a
// note ("A2", "C#3", "C1" to "C5"), optionally followed by "!" (accent) and
// then "~" (slide into the next step), or "-" for a rest, which keeps the
// pitch before it.
struct Unit {
    Sound sound;
    std::vector<const char*> patterns;
};

struct Sheet {
    int tempo = 120;
    int masterVolume = 50;
    int delaySteps = 1;  // slider position: 1, 2, 4, 6 or 8 steps
    int feedback = 50, pan = 64;
    int swing = 0;
    std::vector<int> song = {};  // pattern numbers from 1; empty: pattern mode
    std::vector<Unit> units = {};
};

// Ends the program with exit status 2, saying what is wrong.
[[noreturn]] void broken(const std::string& what);

// Builds the sheet in a fresh instance and writes it to `path`; a sheet
// that cannot be built or written ends the program.
void writeSheet(const Sheet& sheet, const std::string& path);

}  // namespace velmor
