// Prints a hash of every lookup table and of the frames rendered for a set
// of varied settings (every filter mode, LFO target, waveform, sync, FM,
// pulse width, distortion and delay setting, and values only a pattern file
// can bring). The Linux and the Windows build must print the same lines:
// the test command compares them.

#include <cinttypes>
#include <cstdio>

#include "support/test_synth.h"

namespace velmor {
namespace {

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void add(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
};

template <class T>
uint64_t hashOf(const T* p, size_t n) {
    Fnv f;
    for (size_t i = 0; i < n; ++i) f.add(static_cast<uint64_t>(static_cast<int64_t>(p[i])), sizeof(T));
    return f.h;
}

uint64_t hashOf(const WaveSample* p, size_t n) {
    Fnv f;
    for (size_t i = 0; i < n; ++i) f.add(static_cast<uint16_t>(p[i].load()), 2);
    return f.h;
}

void configure(Synth& s, int cfg) {
    for (int u = 0; u < 4; ++u) {
        testing::applyStartupLikeSettings(s, u);
        UnitRecord& r = s.store.units[u];
        r.filterMode = static_cast<uint16_t>((cfg + u) % 5);
        r.lfoTarget = static_cast<uint16_t>((cfg / 2 + u) % 4);
        r.lfoAmount = 60 * ((cfg + u) % 5);
        r.lfoSpeed = 0.5 + u + cfg;
        r.lfoWave = static_cast<uint16_t>((cfg + u) % 3);
        r.fmAmount = (cfg % 3) * 100;
        r.oscSync = static_cast<uint32_t>(cfg % 2);
        r.pulseWidth = (cfg * 13 + u * 29) % 129;
        r.ringMod = (cfg * 40) % 257;
        r.oscMix = (u * 70 + cfg * 20) % 257;
        r.osc1Coarse = (cfg % 5) - 2;
        r.osc2Coarse = (u % 3) * 5 - 5;
        r.osc1Fine = cfg * 10 - 60;
        r.osc2Fine = u * 20 - 30;
        r.distWet = static_cast<uint16_t>((cfg * 30) % 129);
        r.distThreshold = static_cast<uint16_t>((cfg + u) % 10);
        r.distMode = static_cast<uint16_t>(1 + u % 2);
        r.delaySend[0] = static_cast<uint32_t>((u * 40) % 129);
        r.sustainTime = cfg * 2000;
        r.sustainLevel = cfg * 2500;
        r.stepGate = 0.1f * static_cast<float>(cfg % 10);
        r.attack = 500.0 * (cfg + 1) * (u + 1);
        r.decay = 0.9997f + 0.00002f * static_cast<float>(cfg % 10);
        r.release = 0.9995;
        r.resonance = (cfg * 5000) % 32768;
        r.cutoff = 1 + (cfg * 1400 + u * 3000) % 16384;
        r.envAmount = 500 + cfg * 2500;
        for (int i = 0; i < 16; ++i) {
            s.store.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(3 + (i * (cfg + 3) + u * 5) % 49);
            s.store.stepSlide[stepIndex(u, 0, i)] = (i + cfg + u) % 4 == 0;
            s.store.stepNoteOn[stepIndex(u, 0, i)] = (i * cfg + u) % 3 != 0;
        }
        s.store.currentUnit = u;
        setOsc1Wave(s, static_cast<uint16_t>((cfg + u) % 5));
        setOsc2Wave(s, static_cast<uint16_t>((cfg * 2 + u) % 5));
    }
    s.store.currentUnit = 0;
    s.store.unitCount = 4;
    s.store.settings.tempoBpm = 60 + cfg * 10;
    s.store.settings.delaySteps = 1 + cfg % 8;
    s.store.settings.delayPan = cfg * 10 - 64;
    if (cfg == 12) {
        // Values that only a pattern file can bring.
        s.store.settings.tempoBpm = 0;
        s.store.settings.delaySteps = 1000;
        s.store.units[0].pulseWidth = -5000;
        s.store.units[1].fmAmount = 1 << 20;
        s.store.units[2].distThreshold = 500;
        s.store.units[3].resonance = 40000;
        s.store.units[3].cutoff = -100000;
        s.store.stepPitch[stepIndex(0, 0, 0)] = -100;
    }
    recomputeStepTiming(s);
}

// Swing, accents of every strength and, for the last, a song through
// patterns of their own.
void configureGroove(Synth& s, int cfg) {
    configure(s, cfg - 10);
    s.store.settings.swing = (cfg - 12) * 33;
    for (int u = 0; u < 4; ++u) {
        s.store.units[u].spareE = static_cast<uint32_t>(50 - u * 33);
        for (int p = 0; p < 4; ++p)
            for (int i = 0; i < 16; ++i) {
                const int at = stepIndex(u, p, i);
                s.store.stepSpare[at] = static_cast<uint8_t>((i + u + p) % 3 == 0);
                if (p > 0) {
                    s.store.stepPitch[at] = static_cast<int8_t>(3 + (i * (p + 2) + u * 7) % 49);
                    s.store.stepSlide[at] = (i + p) % 5 == 0;
                    s.store.stepNoteOn[at] = (i + u + p) % 4 != 0;
                }
            }
    }
    if (cfg == 15) {
        const uint8_t song[] = {1, 3, 0, 2, 3};
        s.store.settings.songLength = 5;
        for (int i = 0; i < 5; ++i) s.store.settings.songSequence[i] = song[i];
        s.store.settings.songMode = 1;
    }
    resetEngine(s);
}

}  // namespace
}  // namespace velmor

int main() {
    using namespace velmor;
    auto s = testing::initialisedSynth();
    const Tables& t = s->tables;
    std::printf("sawTable %016" PRIx64 "\n", hashOf(t.sawTable, kWaveLength));
    std::printf("squareTable %016" PRIx64 "\n", hashOf(t.squareTable, kWaveLength));
    std::printf("sineTable %016" PRIx64 "\n", hashOf(t.sineTable, kWaveLength));
    std::printf("saw303Table %016" PRIx64 "\n", hashOf(t.saw303Table, kWaveLength));
    std::printf("userTable %016" PRIx64 "\n", hashOf(t.userTable, kWaveLength));
    std::printf("noteStepTable %016" PRIx64 "\n", hashOf(t.noteStepTable, kNoteSteps));
    std::printf("fineStepTable %016" PRIx64 "\n", hashOf(t.fineStepTable, kFineSteps));
    std::printf("filterSinTable %016" PRIx64 "\n", hashOf(t.filterSinTable, kFilterGrid));
    std::printf("filterCosTable %016" PRIx64 "\n", hashOf(t.filterCosTable, kFilterGrid));
    for (int row = 0; row < kDistRows; ++row) {
        std::printf("distCurvesA[%d] %016" PRIx64 "\n", row, hashOf(t.distCurvesA[row], kDistEntries));
        std::printf("distCurvesB[%d] %016" PRIx64 "\n", row, hashOf(t.distCurvesB[row], kDistEntries));
    }
    for (int cfg = 0; cfg <= 15; ++cfg) {
        auto synth = testing::initialisedSynth();
        if (cfg <= 12)
            configure(*synth, cfg);
        else
            configureGroove(*synth, cfg);
        const auto frames = testing::renderFrames(*synth, 200000, 1000 + cfg * 333);
        std::printf("render %d %016" PRIx64 "\n", cfg, hashOf(frames.data(), frames.size()));
    }
    return 0;
}
