// velmor-make-demos DIR: writes Velmor's demo pattern files into DIR.
//
// Every demo is built the way a user builds it in the program
// (sound_sheet.h), and the files come out the same, byte for byte, on every
// run.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound_sheet.h"

namespace velmor {
namespace {

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

struct Demo {
    const char* file;
    Sheet sheet;
};

std::vector<Demo> demos() {
    std::vector<Demo> all;

    Sheet acid;
    acid.tempo = 132;
    acid.masterVolume = 50;
    acid.units = {{acidBass(), {"A2! A2 A3~ A2 | - C3 A2~ G2 | A2! - E3~ D3 | C3!~ A2 G2 A2~"}}};
    all.push_back({"01-acid-lo24.pat", acid});

    Sheet dub;
    dub.tempo = 112;
    dub.delaySteps = 3;
    dub.feedback = 55;
    dub.pan = 100;
    dub.units = {{dubBass(), {"D2 - - D2 | - - D3~ C3 | - A1 - C2 | D2 - F2~ E2"}}};
    all.push_back({"02-dub-lo12-delay.pat", dub});

    Sheet pluckDemo;
    pluckDemo.tempo = 124;
    pluckDemo.masterVolume = 90;
    pluckDemo.delaySteps = 2;
    pluckDemo.feedback = 45;
    pluckDemo.pan = 24;
    pluckDemo.units = {{pluck(), {"E3 B3 G3 E4 | B3 G3 E3 B3 | D3 A3 F#3 D4 | A3 F#3 D3 A3"}}};
    all.push_back({"03-pluck-hi12.pat", pluckDemo});

    Sheet sync;
    sync.tempo = 126;
    sync.masterVolume = 70;
    sync.units = {{syncLead(), {"G2! - G3~ F3 | - G2 A#2 - | G2 - C3~ D3 | - F2 G2! -"}}};
    all.push_back({"04-sync-band.pat", sync});

    Sheet drive;
    drive.tempo = 140;
    drive.masterVolume = 80;
    drive.units = {{driveBass(), {"E2! E2 E3 E2 | G2 E2 E3~ D3 | E2! E2 B2 E2 | D3 E2 G2~ A2"}}};
    all.push_back({"05-drive-bypass.pat", drive});

    Sheet four;
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
    all.push_back({"06-four-units.pat", four});

    Sheet song;
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
    all.push_back({"07-song-swing-accents.pat", song});

    return all;
}

int run(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: velmor-make-demos DIR\nWrites Velmor's demo pattern files into DIR.\n", argc == 2 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    for (const Demo& d : demos()) {
        writeSheet(d.sheet, std::string(argv[1]) + "/" + d.file);
        std::printf("wrote %s\n", d.file);
    }
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
