// velmor-make-presets DIR: writes Velmor's factory presets into DIR.
//
// Each preset is a pattern file DIR/<Category>/<Name>.pat that holds a sound
// and a pattern to hear it with, built the way a user builds it in the
// program (sound_sheet.h). DIR/presets.tsv is the bank's table: category,
// name and a line of description for each preset, the demo files (which
// stay in demos/) listed after them under "Demos" by their file names. The
// plugins compile the bank in from that table, and the files come out the
// same, byte for byte, on every run.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sound_sheet.h"

namespace velmor {
namespace {

struct Row {
    const char* category;
    const char* name;
    const char* description;
};

struct Preset {
    Row row;
    Sheet sheet;
};

// The demos in the bank: each names its file in demos/.
const Row kDemos[] = {
    {"Demos", "01-acid-lo24", "An acid line at 132 BPM: two saws through the resonant Lo24 filter, slides and accents"},
    {"Demos", "02-dub-lo12-delay",
     "A dub bass at 112 BPM: square and sine through Lo12, a slow LFO on the cutoff, echoes six steps apart"},
    {"Demos", "03-pluck-hi12", "A plucked arpeggio at 124 BPM through the Hi12 high-pass, with echoes"},
    {"Demos", "04-sync-band", "Hard sync through the Band filter, swept by the LFO, at 126 BPM"},
    {"Demos", "05-drive-bypass", "A pulse and a curved saw without a filter, driven into distortion A, at 140 BPM"},
    {"Demos", "06-four-units", "Four units at 125 BPM: acid bass, sine sub-bass, an echoed arpeggio and a ring-modulated tick"},
    {"Demos", "07-song-swing-accents",
     "A song of eight positions over four patterns of acid bass and sub-bass, with 40 % swing and accents"},
};

// Each sound lists only what differs from the start-up unit. Positions:
// Coarse 50 is the note as written, 0 an octave down, 80 a fifth up, 100
// an octave up; Fine 50 is in tune. LFO Speed 50 is about one cycle a
// second, and every 10 further doubles it.
std::vector<Preset> presets() {
    std::vector<Preset> all;

    // clang-format off
    // ---- Acid ----------------------------------------------------------------------

    all.push_back({{"Acid", "Rubber Squelch",
                    "The classic squelch: detuned saws into a screaming Lo24, sliding notes, accented peaks; ride Cutoff and "
                    "EnvAmt as it plays"},
                   {.tempo = 130, .masterVolume = 44,
                    .units = {{{.osc2Fine = 53, .filterMode = 1, .cutoff = 12, .envAmount = 72, .resonance = 88, .decay = 38,
                                .stepGate = 50, .volume = 112, .accent = 85},
                               {"A1! A1 A2~ A1 | C2 A1 - A1! | D2~ C2 A1 G1 | A1! A2~ G2 E2"}}}}});

    all.push_back({{"Acid", "Midnight Acid",
                    "Two squares through a darker Lo24 with swing and long echoes: a rolling late-night line; lower Swing to "
                    "straighten it"},
                   {.tempo = 122, .masterVolume = 62, .delaySteps = 3, .feedback = 40, .pan = 96, .swing = 30,
                    .units = {{{.osc1Wave = 1, .osc2Wave = 1, .osc2Fine = 47, .filterMode = 1, .cutoff = 20, .envAmount = 55,
                                .resonance = 78, .decay = 55, .stepGate = 65, .volume = 110, .delaySend = 25, .accent = 70},
                               {"E1! - E2 E1 | G1 - E1 E2!~ | D2 - B1 E1 | - G1! A1~ B1"}}}}});

    all.push_back({{"Acid", "Acid Screamer",
                    "Saw and curved saw, resonance near whistling, pushed through distortion B: loud, raw and nasal; Wet Lvl "
                    "tames it"},
                   {.tempo = 138, .masterVolume = 60,
                    .units = {{{.osc2Wave = 3, .filterMode = 1, .cutoff = 18, .envAmount = 80, .resonance = 93, .decay = 32,
                                .stepGate = 45, .volume = 80, .distMode = 2, .distWet = 60, .threshold = 80, .accent = 90},
                               {"F2! F2 F3 F2 | G#2~ F2 C3! F2 | F2 D#3~ F2 F2 | C3! F2 G#2~ A#2"}}}}});

    all.push_back({{"Acid", "Slow Melt",
                    "A slow LFO opens and closes the resonant Lo24 over a two-pattern song: let it run and the line melts and "
                    "sharpens"},
                   {.tempo = 118, .masterVolume = 55, .song = {1, 1, 2, 2},
                    .units = {{{.osc2Fine = 45, .filterMode = 1, .cutoff = 22, .envAmount = 45, .resonance = 84, .decay = 60,
                                .stepGate = 70, .volume = 112, .lfoTarget = 2, .lfoSpeed = 25, .lfoAmount = 45},
                               {"C2 C2 C3~ C2 | D#2 C2 - C2 | G2~ F2 D#2 C2 | A#1 C2 - C2",
                                "G#1 G#1 G#2~ G#1 | C2 G#1 - G#1 | D#2~ D2 C2 G#1 | G1 G#1 A#1~ C2"}}}}});

    all.push_back({{"Acid", "Rolling Twelve",
                    "A bouncing octave line through the gentler Lo12 at high resonance: rounder, rubbery acid for house tempos"},
                   {.tempo = 126, .masterVolume = 48,
                    .units = {{{.osc2Fine = 56, .filterMode = 0, .cutoff = 16, .envAmount = 65, .resonance = 86, .decay = 42,
                                .stepGate = 55, .volume = 120, .accent = 80},
                               {"D2 D3 D2 D3 | D2! D3 C3~ D3 | D2 D3 F2 D3 | A2! D3 C3~ A2"}}}}});

    all.push_back({{"Acid", "Acid Duet",
                    "Two units in call and response: a square-saw bass below, a high squelch with echoes answering it"},
                   {.tempo = 128, .masterVolume = 56, .delaySteps = 2, .feedback = 45, .pan = 100,
                    .units = {{{.osc1Wave = 1, .filterMode = 1, .cutoff = 14, .envAmount = 60, .resonance = 80, .decay = 45,
                                .stepGate = 55, .volume = 112, .accent = 80},
                               {"G1! - G1 - | A#1~ G1 - G1 | C2! - G1 - | F1~ G1 - G1"}},
                              {{.osc2Fine = 54, .filterMode = 1, .cutoff = 28, .envAmount = 55, .resonance = 82, .decay = 35,
                                .stepGate = 45, .volume = 90, .delaySend = 35, .accent = 75},
                               {"- G2 - D3~ | - - F3 - | - G3! - D#3 | - C3~ D3 -"}}}}});

    // ---- Sub -----------------------------------------------------------------------

    all.push_back({{"Sub", "Deep Sine",
                    "Two sines, held and tied at 86 BPM: pure weight under anything, felt more than heard"},
                   {.tempo = 86, .masterVolume = 80,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .filterMode = 0, .cutoff = 50, .envAmount = 5, .resonance = 0,
                                .attack = 10, .decay = 96, .sustain = 50, .release = 60, .sustainLevel = 85, .stepGate = 90},
                               {"G1~ G1~ G1 - | - - G1 - | A#1~ A#1~ A#1 - | C2~ A#1 - F1"}}}}});

    all.push_back({{"Sub", "Round Square Sub",
                    "A square with a sine an octave below, through a low Lo24: a round bass with a soft edge for slower grooves"},
                   {.tempo = 100, .masterVolume = 100,
                    .units = {{{.osc1Wave = 1, .osc2Wave = 2, .osc2Coarse = 0, .oscMix = 60, .filterMode = 1, .cutoff = 18,
                                .envAmount = 25, .resonance = 15, .decay = 75, .sustain = 30, .sustainLevel = 40,
                                .stepGate = 80, .accent = 40},
                               {"E2 - E2 - | - E2 G2 - | E2 - - E2 | - D2~ E2 -"}}}}});

    all.push_back({{"Sub", "Sub Pressure",
                    "A sine squared off by distortion B, so the sub carries harmonics small speakers can play; half-time at 140"},
                   {.tempo = 140, .masterVolume = 40,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .osc2Fine = 52, .filterMode = 0, .cutoff = 30, .envAmount = 10,
                                .resonance = 10, .decay = 85, .sustain = 20, .sustainLevel = 60, .stepGate = 85, .volume = 110,
                                .distMode = 2, .distWet = 80, .threshold = 100},
                               {"F1~ F1 - - | - - - F1 | - - G#1~ G1 | - - F1 -"}}}}});

    all.push_back({{"Sub", "Reese Sub",
                    "Two saws detuned wide under a closed Lo24 that a slow LFO breathes open: a drum-and-bass Reese at 172"},
                   {.tempo = 172, .masterVolume = 80,
                    .units = {{{.osc1Fine = 44, .osc2Fine = 57, .filterMode = 1, .cutoff = 20, .envAmount = 8, .resonance = 25,
                                .decay = 95, .sustain = 60, .sustainLevel = 80, .stepGate = 95, .volume = 110, .lfoTarget = 2,
                                .lfoSpeed = 35, .lfoAmount = 35},
                               {"E1~ E1~ E1~ E1 | - - E1~ G1 | - - - - | D1~ D1~ D1 -"}}}}});

    all.push_back({{"Sub", "Sub Thump",
                    "Two units: a short sine thump on every beat and a sine bass on the off-beats, the house pump"},
                   {.tempo = 124, .masterVolume = 65,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .filterMode = 0, .cutoff = 15, .envAmount = 30, .resonance = 0,
                                .attack = 0, .decay = 30, .stepGate = 30, .accent = 70},
                               {"A1! - - - | A1! - - - | A1! - - - | A1! - - A1"}},
                              {{.osc1Wave = 2, .osc2Wave = 1, .oscMix = 25, .filterMode = 1, .cutoff = 12, .envAmount = 20,
                                .resonance = 20, .decay = 60, .stepGate = 60, .volume = 100},
                               {"- - A1 - | - - A1 - | - - C2 - | - - G1 -"}}}}});

    // ---- Pluck ---------------------------------------------------------------------

    all.push_back({{"Pluck", "Glass Pluck",
                    "FM sines through the Hi12 high-pass, short, with quick echoes: a glassy arpeggio for the top of a mix"},
                   {.tempo = 120, .masterVolume = 100, .feedback = 40, .pan = 30,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .osc2Coarse = 100, .fm = 45, .filterMode = 2, .cutoff = 8,
                                .envAmount = 40, .resonance = 50, .decay = 12, .release = 40, .stepGate = 30, .delaySend = 40,
                                .accent = 75},
                               {"A3! E4 C4 A3 | E4! A3 C4 E4 | F3! C4 A3 F3 | G3! D4 B3 G3"}}}}});

    all.push_back({{"Pluck", "Muted Funk",
                    "A palm-muted bass pluck: closed Lo24, quick decay, heavy swing and accents for a funk groove"},
                   {.tempo = 104, .masterVolume = 100, .swing = 55,
                    .units = {{{.osc2Wave = 1, .filterMode = 1, .cutoff = 8, .envAmount = 45, .resonance = 35, .decay = 20,
                                .stepGate = 30, .accent = 75},
                               {"E1! - E2 - | E1 G1 - A1 | - E1 E2! D2 | B1 - A1 G1"}}}}});

    all.push_back({{"Pluck", "Band Pluck",
                    "A square and a saw through the Band filter: a nasal, woody pluck for riffs in the middle register"},
                   {.tempo = 128, .masterVolume = 100, .feedback = 35, .pan = 40,
                    .units = {{{.osc1Wave = 1, .filterMode = 3, .cutoff = 45, .envAmount = 50, .decay = 18, .stepGate = 40,
                                .delaySend = 30, .distWet = 50, .threshold = 50},
                               {"C3 - G3 C3 | - A#3 - C3 | D#3 - C3 G3 | - F3 D#3 -"}}}}});

    all.push_back({{"Pluck", "Kalimba",
                    "Two ring-modulated sines an octave apart, a soft tine with a short ring: a pentatonic thumb piano"},
                   {.tempo = 96, .masterVolume = 100, .delaySteps = 2, .feedback = 35, .pan = 88,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .osc2Coarse = 100, .ringMod = 45, .filterMode = 0, .cutoff = 45,
                                .envAmount = 30, .resonance = 20, .decay = 22, .release = 50, .stepGate = 25, .delaySend = 30},
                               {"D3 F3 A3 C4 | A3 - D4 C4 | A3 G3 F3 - | D3 - C3 D3"}}}}});

    all.push_back({{"Pluck", "Echo Pluck",
                    "A bare pulse, no filter, played sparsely into long, wide echoes that fill in the rhythm; try other Delay "
                    "Steps"},
                   {.tempo = 115, .masterVolume = 90, .delaySteps = 3, .feedback = 55, .pan = 120,
                    .units = {{{.osc1Wave = 1, .osc2Wave = 1, .osc2Fine = 53, .pulseWidth = 40, .filterMode = 4, .decay = 8,
                                .stepGate = 20, .volume = 110, .delaySend = 80},
                               {"E3 - - B3 | - - - - | - - G3 - | - - - -"}}}}});

    // ---- Lead ----------------------------------------------------------------------

    all.push_back({{"Lead", "Sync Scream",
                    "Hard sync a sixth up with vibrato and a little drive: a tearing lead that cuts through a busy mix"},
                   {.tempo = 132, .masterVolume = 90,
                    .units = {{{.osc1Coarse = 88, .oscMix = 40, .sync = true, .filterMode = 0, .cutoff = 50, .envAmount = 40,
                                .resonance = 35, .decay = 75, .sustain = 40, .sustainLevel = 50, .stepGate = 85, .volume = 110,
                                .distWet = 30, .threshold = 40, .lfoSpeed = 73, .lfoAmount = 6},
                               {"A3 - C4 - | D4~ E4 - D4 | C4 - A3 G3 | A3~ A3 - -"}}}}});

    all.push_back({{"Lead", "Square Lead",
                    "Two squares a fifth apart through Lo24, held notes that glide, with an echo: a warm retro lead"},
                   {.tempo = 118, .masterVolume = 55, .delaySteps = 2, .feedback = 40, .pan = 84,
                    .units = {{{.osc1Wave = 1, .osc2Wave = 1, .osc2Coarse = 80, .oscMix = 35, .filterMode = 1, .cutoff = 45,
                                .envAmount = 35, .resonance = 45, .attack = 10, .decay = 80, .sustain = 50, .release = 80,
                                .sustainLevel = 65, .stepGate = 90, .delaySend = 30},
                               {"E3 - G3 - | A3~ B3 - A3 | G3 - E3 - | D3~ E3 - -"}}}}});

    all.push_back({{"Lead", "Hollow Ring",
                    "A saw ring-modulated by a sine a fifth above, through the Band filter: hollow and bell-edged, for short "
                    "hooks"},
                   {.tempo = 124, .masterVolume = 100,
                    .units = {{{.osc2Wave = 2, .osc2Coarse = 80, .ringMod = 70, .filterMode = 3, .cutoff = 45, .envAmount = 30,
                                .decay = 65, .stepGate = 70},
                               {"D3 - D3 F3 | - A3 - G3 | D3 - C3 - | F3~ E3 D3 -"}}}}});

    all.push_back({{"Lead", "FM Bell Lead",
                    "Two sines with strong FM and no filter: a struck, bell-like lead whose tail rings into the echoes"},
                   {.tempo = 110, .masterVolume = 100, .delaySteps = 2, .feedback = 45, .pan = 36,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .osc2Coarse = 100, .fm = 60, .filterMode = 4, .decay = 70,
                                .sustain = 20, .release = 70, .sustainLevel = 20, .stepGate = 60, .volume = 100, .delaySend = 35},
                               {"C4 - G3 - | A3 - E3 - | F3 - C4 - | G3 - - -"}}}}});

    all.push_back({{"Lead", "Unison Lead",
                    "Three units on one melody, each detuned its own way, one an octave down: a thick supersaw lead"},
                   {.tempo = 136, .masterVolume = 48,
                    .units = {{{.osc1Fine = 47, .osc2Fine = 53, .filterMode = 1, .cutoff = 55, .envAmount = 25, .resonance = 25,
                                .decay = 80, .sustainLevel = 60, .stepGate = 90, .volume = 96},
                               {"G3 - A#3 - | C4~ D4 - C4 | A#3 - G3 - | F3~ G3 - -"}},
                              {{.osc1Fine = 42, .osc2Fine = 58, .filterMode = 1, .cutoff = 55, .envAmount = 25, .resonance = 25,
                                .decay = 80, .sustainLevel = 60, .stepGate = 90, .volume = 96},
                               {"G3 - A#3 - | C4~ D4 - C4 | A#3 - G3 - | F3~ G3 - -"}},
                              {{.osc1Coarse = 0, .osc2Coarse = 0, .osc2Fine = 52, .filterMode = 1, .cutoff = 45,
                                .envAmount = 25, .resonance = 20, .decay = 80, .sustainLevel = 60, .stepGate = 90, .volume = 80},
                               {"G3 - A#3 - | C4~ D4 - C4 | A#3 - G3 - | F3~ G3 - -"}}}}});

    // ---- Effects -------------------------------------------------------------------

    all.push_back({{"Effects", "Laser Zaps",
                    "Slides across four octaves into a whistling Lo24: laser shots and falling zaps for breaks and transitions"},
                   {.tempo = 120, .masterVolume = 50,
                    .units = {{{.filterMode = 1, .cutoff = 40, .envAmount = 60, .resonance = 95, .decay = 50, .stepGate = 95,
                                .volume = 100, .delaySend = 30},
                               {"C5~ C1 - - | C5~ C2 - - | G4~ C1 - C5~ | C1 - - -"}}}}});

    all.push_back({{"Effects", "Noise Wind",
                    "The user waveform's white noise, slowly swelling through a band-pass the LFO sweeps: wind for intros and "
                    "breakdowns"},
                   {.tempo = 80, .masterVolume = 100,
                    .units = {{{.osc1Wave = 4, .osc2Wave = 4, .osc2Fine = 60, .filterMode = 3, .cutoff = 50, .envAmount = 10,
                                .attack = 70, .decay = 99, .sustain = 100, .release = 99, .sustainLevel = 100, .stepGate = 95,
                                .distWet = 100, .threshold = 20, .lfoTarget = 2, .lfoSpeed = 40, .lfoAmount = 70},
                               {"C3~ C3~ C3~ C3 | - - - - | G3~ G3~ G3~ G3 | - - - -"}}}}});

    all.push_back({{"Effects", "Robot Chatter",
                    "Ring modulation, FM and a fast square LFO on the pitch, in short bursts: a machine talking to itself"},
                   {.tempo = 132, .masterVolume = 100,
                    .units = {{{.osc1Wave = 1, .osc2Coarse = 67, .fm = 50, .ringMod = 100, .filterMode = 3, .cutoff = 55,
                                .envAmount = 40, .decay = 30, .stepGate = 35, .lfoWave = 1, .lfoSpeed = 85, .lfoAmount = 30},
                               {"C3 G3 - D#4 | - C4 A#3 - | F3 - C5 G3 | - D3 - A#4"}}}}});

    all.push_back({{"Effects", "Dub Siren",
                    "A square wailing up and down under a sine LFO on the pitch, thrown into long echoes; ride Feedback for "
                    "dub throws"},
                   {.tempo = 96, .masterVolume = 80, .delaySteps = 3, .feedback = 65, .pan = 110,
                    .units = {{{.osc1Wave = 1, .osc2Wave = 1, .osc2Fine = 52, .filterMode = 0, .cutoff = 60, .envAmount = 20,
                                .resonance = 30, .decay = 90, .sustain = 40, .release = 90, .sustainLevel = 80, .stepGate = 95,
                                .volume = 100, .delaySend = 60, .lfoSpeed = 58, .lfoAmount = 60},
                               {"A3~ A3~ A3~ A3 | - - - - | E4~ E4~ E4 - | - - - -"}}}}});

    all.push_back({{"Effects", "Noise Kit",
                    "Four units as a drum machine: sine kick, noise hats, band-passed noise snare, ring-mod clave; a beat to "
                    "jam over"},
                   {.tempo = 124, .masterVolume = 70,
                    .units = {{{.osc1Wave = 2, .osc2Wave = 2, .filterMode = 0, .cutoff = 25, .envAmount = 40, .resonance = 0,
                                .attack = 0, .decay = 22, .stepGate = 25, .accent = 70},
                               {"C1! - - - | C1! - - - | C1! - - - | C1! - C1 -"}},
                              {{.osc1Wave = 4, .osc2Wave = 4, .osc2Fine = 70, .filterMode = 2, .cutoff = 85, .envAmount = 0,
                                .resonance = 10, .attack = 0, .decay = 3, .stepGate = 10, .volume = 110, .accent = 80},
                               {"- - C5 - | - - C5! C5 | - - C5 - | - - C5! C5"}},
                              {{.osc1Wave = 4, .osc2Wave = 1, .oscMix = 30, .filterMode = 3, .cutoff = 60, .envAmount = 20,
                                .attack = 0, .decay = 15, .stepGate = 20},
                               {"- - - - | C4 - - - | - - - - | C4 - - -"}},
                              {{.osc1Wave = 1, .osc2Wave = 1, .osc2Coarse = 84, .ringMod = 100, .filterMode = 2, .cutoff = 60,
                                .envAmount = 0, .resonance = 50, .decay = 6, .stepGate = 10, .volume = 50},
                               {"- - - G4 | - - - - | - G4 - - | - - - G4"}}}}});
    // clang-format on

    return all;
}

int run(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: velmor-make-presets DIR\nWrites Velmor's factory presets and their table presets.tsv into DIR.\n",
                   argc == 2 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const std::filesystem::path dir = argv[1];
    std::string table = "category\tname\tdescription\n";
    auto addRow = [&](const Row& r) { table += std::string(r.category) + "\t" + r.name + "\t" + r.description + "\n"; };
    const std::vector<Preset> bank = presets();
    for (const Preset& p : bank) {
        std::error_code failed;
        std::filesystem::create_directories(dir / p.row.category, failed);
        writeSheet(p.sheet, (dir / p.row.category / (std::string(p.row.name) + ".pat")).string());
        addRow(p.row);
    }
    for (const Row& r : kDemos) addRow(r);
    const std::string path = (dir / "presets.tsv").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(table.data(), 1, table.size(), f) != table.size() || std::fclose(f) != 0)
        broken("cannot write " + path);
    std::printf("wrote %zu presets and presets.tsv\n", bank.size());
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
