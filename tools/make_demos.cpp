// velmor-make-demos DIR: writes Velmor's demo pattern files into DIR.
//
// Every demo is built the way a user builds it in the program: the sliders
// and buttons of the main window set each unit's sound through the same
// setters, the step editor's switches and pitch sliders write the patterns,
// the song dialog chains them, and "Save Pattern..." writes the file. The
// files come out the same, byte for byte, on every run.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "model/parameters.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "model/units.h"

namespace velmor {
namespace {

// A unit's sound as the main window shows it: slider positions and button
// choices. Volume and the sustain level are given as values (0..128 and
// 0..100, the top of their vertical sliders being the most).
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

void applySound(Synth& s, const Sound& k) {
    setLinked(s, Param::kOsc1Wave, static_cast<uint16_t>(k.osc1Wave));
    setLinked(s, Param::kOsc2Wave, static_cast<uint16_t>(k.osc2Wave));
    setLinked(s, Param::kOsc1Coarse, static_cast<Position>(k.osc1Coarse));
    setLinked(s, Param::kOsc1Fine, static_cast<Position>(k.osc1Fine));
    setLinked(s, Param::kOsc2Coarse, static_cast<Position>(k.osc2Coarse));
    setLinked(s, Param::kOsc2Fine, static_cast<Position>(k.osc2Fine));
    setLinked(s, Param::kPulseWidth, static_cast<Position>(k.pulseWidth));
    setLinked(s, Param::kFmAmount, static_cast<Position>(k.fm));
    setLinked(s, Param::kOscMix, static_cast<Position>(k.oscMix));
    setLinked(s, Param::kRingMod, static_cast<Position>(k.ringMod));
    setLinked(s, Param::kPhase, static_cast<Position>(k.phase));
    setLinked(s, Param::kSync, k.sync ? 1 : 0);
    setLinked(s, Param::kFilterMode, static_cast<uint16_t>(k.filterMode));
    setLinked(s, Param::kCutoff, static_cast<Position>(k.cutoff));
    setLinked(s, Param::kEnvAmount, static_cast<Position>(k.envAmount));
    setLinked(s, Param::kResonance, static_cast<Position>(k.resonance));
    setLinked(s, Param::kAttack, static_cast<Position>(k.attack));
    setLinked(s, Param::kDecay, static_cast<Position>(k.decay));
    setLinked(s, Param::kSustain, static_cast<Position>(k.sustain));
    setLinked(s, Param::kRelease, static_cast<Position>(k.release));
    setLinked(s, Param::kSustainLevel, static_cast<Position>(k.sustainLevel));
    setLinked(s, Param::kStepGate, static_cast<Position>(k.stepGate));
    setLinked(s, Param::kVolume, static_cast<Position>(k.volume));
    setLinked(s, Param::kDelaySend, static_cast<Position>(k.delaySend));
    setLinked(s, Param::kDistMode, static_cast<uint16_t>(k.distMode));
    setLinked(s, Param::kDistWet, static_cast<Position>(k.distWet));
    setLinked(s, Param::kThreshold, static_cast<Position>(k.threshold));
    setLinked(s, Param::kLfoTarget, static_cast<uint16_t>(k.lfoTarget));
    setLinked(s, Param::kLfoWave, static_cast<uint16_t>(k.lfoWave));
    setLinked(s, Param::kLfoSpeed, static_cast<Position>(k.lfoSpeed));
    setLinked(s, Param::kLfoAmount, static_cast<Position>(k.lfoAmount));
    setLinked(s, Param::kAccent, static_cast<Position>(k.accent));
}

// A pattern in the step editor's note names: 16 steps separated by blanks
// (a bar line "|" may stand between them). A step is a note ("A2", "C#3",
// "C1" to "C5"), optionally followed by "!" (accent) and then "~" (slide
// into the next step), or "-" for a rest, which keeps the pitch before it.
struct Step {
    int pitch;
    bool note, accent, slide;
};

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "velmor-make-demos: %s\n", what.c_str());
    std::exit(2);
}

int parsePitch(const std::string& token, size_t& at) {
    static const char* const names = "C D EF G A B";  // semitones 0..11 of the natural notes
    const char* letter = std::strchr(names, token[0]);
    if (token[0] == ' ' || !letter) broken("not a note: " + token);
    int semitone = static_cast<int>(letter - names);
    at = 1;
    if (at < token.size() && token[at] == '#') {
        ++semitone;
        ++at;
    }
    if (at >= token.size() || token[at] < '1' || token[at] > '5') broken("no octave 1..5: " + token);
    const int pitch = kLowestPitch + 12 * (token[at] - '1') + semitone;
    ++at;
    if (pitch > kHighestPitch) broken("above C5: " + token);
    return pitch;
}

std::vector<Step> parsePattern(const char* text) {
    std::vector<Step> steps;
    int pitch = kLowestPitch + 12;  // a rest before any note keeps C2
    for (const char* p = text; *p;) {
        while (*p == ' ' || *p == '|') ++p;
        if (!*p) break;
        const char* end = p;
        while (*end && *end != ' ' && *end != '|') ++end;
        const std::string token(p, end);
        p = end;
        if (token == "-") {
            steps.push_back({pitch, false, false, false});
            continue;
        }
        size_t at = 0;
        pitch = parsePitch(token, at);
        Step step{pitch, true, false, false};
        if (at < token.size() && token[at] == '!') step.accent = true, ++at;
        if (at < token.size() && token[at] == '~') step.slide = true, ++at;
        if (at != token.size()) broken("unknown step: " + token);
        steps.push_back(step);
    }
    if (steps.size() != kStepsPerPattern) broken(std::string("a pattern needs 16 steps: ") + text);
    return steps;
}

// Writes pattern `pattern` of the current unit through the step editor.
void writePattern(Synth& s, int pattern, const char* text) {
    selectPattern(s, pattern);
    const std::vector<Step> steps = parsePattern(text);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        const Step& step = steps[i];
        setStepPitchFromSlider(s, i, pitchSliderPosition(step.pitch));
        if (stepNoteOn(s, i) != step.note) toggleStepNoteOn(s, i);
        if (stepSlide(s, i) != step.slide) toggleStepSlide(s, i);
        if (stepAccent(s, i) != step.accent) toggleStepAccent(s, i);
    }
}

struct Unit {
    Sound sound;
    std::vector<const char*> patterns;  // patterns 1, 2, ... of the unit
};

struct Demo {
    const char* file;
    int tempo = 120;
    int masterVolume = 50;
    int delaySteps = 1;  // slider position: 1, 2, 4, 6 or 8 steps
    int feedback = 50, pan = 64;
    int swing = 0;
    std::vector<int> song = {};  // pattern numbers from 1; empty: pattern mode
    std::vector<Unit> units = {};
};

void build(Synth& s, const Demo& d) {
    for (size_t u = 1; u < d.units.size(); ++u)
        if (!addUnit(s)) broken("more than four units");
    for (size_t u = 0; u < d.units.size(); ++u) {
        selectUnit(s, static_cast<int>(u));
        applySound(s, d.units[u].sound);
        for (size_t p = 0; p < d.units[u].patterns.size(); ++p) writePattern(s, static_cast<int>(p), d.units[u].patterns[p]);
    }
    selectUnit(s, 0);
    selectPattern(s, 0);
    setLinked(s, Param::kTempo, static_cast<Position>(d.tempo));
    setLinked(s, Param::kMasterVolume, static_cast<Position>(d.masterVolume));
    setLinked(s, Param::kDelaySteps, static_cast<Position>(d.delaySteps));
    setLinked(s, Param::kFeedback, static_cast<Position>(d.feedback));
    setLinked(s, Param::kPan, static_cast<Position>(d.pan));
    setLinked(s, Param::kSwing, static_cast<Position>(d.swing));
    if (!d.song.empty()) {
        setSongPattern(s, 0, d.song[0] - 1);
        for (size_t i = 1; i < d.song.size(); ++i) insertSongPosition(s, static_cast<int>(i), d.song[i] - 1);
        setSongMode(s, true);
    }
}

// ---- The sounds --------------------------------------------------------------

// The classic: two saws, a resonant four-pole low-pass that the envelope
// opens, short notes, strong accents.
Sound acidBass() {
    Sound k;
    k.osc2Fine = 53;
    k.filterMode = 1;
    k.cutoff = 18;
    k.resonance = 80;
    k.envAmount = 62;
    k.decay = 45;
    k.stepGate = 55;
    k.volume = 112;
    k.accent = 75;
    return k;
}

// Round and deep: square and sine through a gentle two-pole low-pass that a
// slow LFO opens and closes.
Sound dubBass() {
    Sound k;
    k.osc1Wave = 1;
    k.osc2Wave = 2;
    k.oscMix = 40;
    k.filterMode = 0;
    k.cutoff = 30;
    k.resonance = 30;
    k.envAmount = 35;
    k.decay = 80;
    k.stepGate = 85;
    k.lfoTarget = 2;
    k.lfoSpeed = 18;
    k.lfoAmount = 30;
    k.delaySend = 35;
    return k;
}

// Bright and short: a high-passed pluck an octave up from the bass.
Sound pluck() {
    Sound k;
    k.osc1Wave = 0;
    k.osc2Wave = 1;
    k.osc2Fine = 47;
    k.filterMode = 2;
    k.cutoff = 10;
    k.resonance = 70;
    k.envAmount = 40;
    k.decay = 15;
    k.stepGate = 60;
    k.volume = 128;
    k.delaySend = 45;
    return k;
}

// Hard sync: a square a fifth above a saw that restarts it and sets the
// pitch, through the band-pass, which a slow LFO sweeps.
Sound syncLead() {
    Sound k;
    k.osc1Wave = 1;
    k.osc1Coarse = 80;
    k.sync = true;
    k.oscMix = 30;
    k.filterMode = 3;
    k.cutoff = 20;
    k.envAmount = 45;
    k.decay = 55;
    k.stepGate = 70;
    k.lfoTarget = 2;
    k.lfoSpeed = 40;
    k.lfoAmount = 40;
    return k;
}

// No filter at all: a pulse and a saw driven into the distortion.
Sound driveBass() {
    Sound k;
    k.osc1Wave = 1;
    k.osc2Wave = 3;
    k.pulseWidth = 40;
    k.filterMode = 4;
    k.decay = 50;
    k.stepGate = 50;
    k.volume = 72;
    k.distMode = 1;
    k.distWet = 75;
    k.threshold = 50;
    return k;
}

// A sine under the bass line, for weight.
Sound subBass() {
    Sound k;
    k.osc1Wave = k.osc2Wave = 2;
    k.filterMode = 0;
    k.cutoff = 25;
    k.resonance = 10;
    k.envAmount = 10;
    k.decay = 85;
    k.stepGate = 90;
    k.volume = 96;
    return k;
}

// A short ringing blip high up, for the off-beats.
Sound tick() {
    Sound k;
    k.osc1Wave = 1;
    k.osc2Wave = 1;
    k.osc1Coarse = 100;
    k.osc2Coarse = 100;
    k.osc2Fine = 80;
    k.ringMod = 100;
    k.filterMode = 2;
    k.cutoff = 80;
    k.resonance = 50;
    k.envAmount = 0;
    k.decay = 5;
    k.stepGate = 10;
    k.volume = 48;
    return k;
}

// ---- The demos -----------------------------------------------------------------

std::vector<Demo> demos() {
    std::vector<Demo> all;

    Demo acid{"01-acid-lo24.pat"};
    acid.tempo = 132;
    acid.masterVolume = 50;
    acid.units = {{acidBass(), {"A2! A2 A3~ A2 | - C3 A2~ G2 | A2! - E3~ D3 | C3!~ A2 G2 A2~"}}};
    all.push_back(acid);

    Demo dub{"02-dub-lo12-delay.pat"};
    dub.tempo = 112;
    dub.delaySteps = 3;
    dub.feedback = 55;
    dub.pan = 100;
    dub.units = {{dubBass(), {"D2 - - D2 | - - D3~ C3 | - A1 - C2 | D2 - F2~ E2"}}};
    all.push_back(dub);

    Demo pluckDemo{"03-pluck-hi12.pat"};
    pluckDemo.tempo = 124;
    pluckDemo.masterVolume = 90;
    pluckDemo.delaySteps = 2;
    pluckDemo.feedback = 45;
    pluckDemo.pan = 24;
    pluckDemo.units = {{pluck(), {"E3 B3 G3 E4 | B3 G3 E3 B3 | D3 A3 F#3 D4 | A3 F#3 D3 A3"}}};
    all.push_back(pluckDemo);

    Demo sync{"04-sync-band.pat"};
    sync.tempo = 126;
    sync.masterVolume = 70;
    sync.units = {{syncLead(), {"G2! - G3~ F3 | - G2 A#2 - | G2 - C3~ D3 | - F2 G2! -"}}};
    all.push_back(sync);

    Demo drive{"05-drive-bypass.pat"};
    drive.tempo = 140;
    drive.masterVolume = 80;
    drive.units = {{driveBass(), {"E2! E2 E3 E2 | G2 E2 E3~ D3 | E2! E2 B2 E2 | D3 E2 G2~ A2"}}};
    all.push_back(drive);

    Demo four{"06-four-units.pat"};
    four.tempo = 125;
    four.masterVolume = 45;
    four.delaySteps = 3;
    four.feedback = 40;
    four.pan = 96;
    Sound lead = acidBass();
    lead.volume = 96;
    Sound arp = pluck();
    arp.volume = 64;
    four.units = {{lead, {"C2! C2 C3~ A#2 | C2 - D#2~ F2 | C2! G2 C2 C3~ | A#2 G2 - D#2"}},
                  {subBass(), {"C2 - - - | - - C2 - | C2 - - - | - - A#1 -"}},
                  {arp, {"G3 C4 D#4 G3 | C4 D#4 G3 C4 | A#3 D4 F4 A#3 | D4 F4 A#3 D4"}},
                  {tick(), {"- - C4 - | - - C4 - | - - C4 - | - - C4 C4"}}};
    all.push_back(four);

    Demo song{"07-song-swing-accents.pat"};
    song.tempo = 120;
    song.masterVolume = 40;
    song.swing = 40;
    song.delaySteps = 3;
    song.feedback = 35;
    song.pan = 88;
    Sound songBass = acidBass();
    songBass.accent = 85;
    songBass.delaySend = 12;
    Sound songSub = subBass();
    songSub.volume = 80;
    song.song = {1, 1, 2, 2, 1, 1, 3, 4};
    song.units = {{songBass,
                   {"A2! A2 C3 A2 | A3!~ A2 G2 A2 | - A2 C3! D3 | E3~ D3 C3 A2",
                    "F2! F2 A2 F2 | F3!~ F2 E2 F2 | - F2 A2! C3 | D3~ C3 A2 F2",
                    "G2! G2 B2 G2 | G3!~ G2 F2 G2 | E2! E2 G#2 B2 | E3!~ D3 B2 G#2",
                    "A2! - - A2 | - - A3! - | A2~ G2 - E2 | G2! A2~ C3 E3"}},
                  {songSub,
                   {"A1 - - - | - - A1 - | A1 - - - | - - A1 -", "F1 - - - | - - F1 - | F1 - - - | - - F1 -",
                    "G1 - - - | - - G1 - | E1 - - - | - - E1 -", "A1 - - - | - - - - | A1 - - - | - - - -"}}};
    all.push_back(song);

    return all;
}

int run(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: velmor-make-demos DIR\nWrites Velmor's demo pattern files into DIR.\n", argc == 2 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    for (const Demo& d : demos()) {
        auto s = makeSynth();
        if (!startUpState(*s)) broken("cannot obtain the engine buffers");
        build(*s, d);
        const std::string path = std::string(argv[1]) + "/" + d.file;
        if (!writePatternFile(s->score.doc, path.c_str())) broken("cannot write " + path);
        std::printf("wrote %s\n", d.file);
    }
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
