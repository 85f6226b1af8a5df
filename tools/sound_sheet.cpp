#include "sound_sheet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/pattern_file.h"
#include "model/parameters.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "model/units.h"

namespace velmor {

void broken(const std::string& what) {
    std::fprintf(stderr, "sound sheet: %s\n", what.c_str());
    std::exit(2);
}

namespace {

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

// A step of a pattern as the step editor shows it.
struct Step {
    int pitch;
    bool note, accent, slide;
};

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

void build(Synth& s, const Sheet& d) {
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

}  // namespace

void writeSheet(const Sheet& sheet, const std::string& path) {
    auto s = makeSynth();
    if (!startUpState(*s)) broken("cannot obtain the engine buffers");
    build(*s, sheet);
    if (!writePatternFile(s->score.doc, path.c_str())) broken("cannot write " + path);
}

}  // namespace velmor
