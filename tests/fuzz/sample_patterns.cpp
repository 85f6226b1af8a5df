// velmor-sample-patterns DIR: writes pattern files of every kind into DIR:
// saved states (one unit, four busy units, values only a file can bring,
// every count at its limit), the older layout, and damaged files (cut
// short, overlong, counts and user-wave lengths out of range, blocks marked
// absent). They seed the fuzzing of the reader, and the cross-build check
// renders them with both builds.

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using Bytes = std::vector<uint8_t>;

std::string folder;
int failures = 0;

void writeFile(const std::string& name, const Bytes& bytes) {
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "velmor-sample-patterns: cannot write %s\n", path.c_str());
        ++failures;
    }
}

Bytes saved(const Synth& s) {
    Bytes bytes;
    std::FILE* f = std::tmpfile();
    if (!f || !writePatternStream(s, f)) {
        std::fprintf(stderr, "velmor-sample-patterns: cannot save a pattern\n");
        ++failures;
        return bytes;
    }
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

void putLe(Bytes& b, size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A small deterministic generator.
struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    int range(int lo, int hi) { return lo + static_cast<int>(next() >> 8) % (hi - lo + 1); }
};

// Four units through the controls, each with its own sound and pattern,
// three patterns and a song.
std::unique_ptr<Synth> fourUnits() {
    auto s = testing::startedSynth();
    Lcg rng{17};
    for (int u = 1; u < 4; ++u) addUnit(*s);
    for (int u = 0; u < 4; ++u) {
        selectUnit(*s, u);
        setOsc1Wave(*s, static_cast<uint16_t>(u));
        setOsc2Wave(*s, static_cast<uint16_t>((u + 2) % 5));
        setFilterMode(*s, static_cast<uint16_t>(u));
        setCutoff(*s, static_cast<Position>(20 + 15 * u));
        setResonance(*s, static_cast<Position>(30 + 10 * u));
        setEnvAmount(*s, static_cast<Position>(60 - 10 * u));
        setOsc1Coarse(*s, static_cast<Position>(50 + 4 * u));
        setOsc2Fine(*s, static_cast<Position>(40 + 7 * u));
        setOscMix(*s, static_cast<Position>(25 * u));
        setPhase(*s, static_cast<Position>(10 * u));
        setRingMod(*s, static_cast<Position>(u == 2 ? 60 : 0));
        setFmAmount(*s, static_cast<Position>(u == 1 ? 45 : 0));
        setPulseWidth(*s, static_cast<Position>(u == 3 ? 90 : 0));
        setSync(*s, u == 1 ? 1 : 0);
        setDelaySend(*s, static_cast<Position>(20 * u));
        setVolume(*s, static_cast<Position>(128 - 20 * u));
        setDistMode(*s, static_cast<uint16_t>(1 + u % 2));
        setDistWet(*s, static_cast<Position>(u == 0 ? 0 : 30 * u));
        setThreshold(*s, static_cast<Position>(25 * u));
        setAttack(*s, static_cast<Position>(10 + 20 * u));
        setDecay(*s, static_cast<Position>(40 + 15 * u));
        setSustain(*s, static_cast<Position>(5 * u));
        setSustainLevel(*s, static_cast<Position>(20 * u));
        setRelease(*s, static_cast<Position>(30 + 10 * u));
        setStepGate(*s, static_cast<Position>(60 + 10 * u));
        setLfoSpeed(*s, static_cast<Position>(30 + 12 * u));
        setLfoAmount(*s, static_cast<Position>(u == 0 ? 0 : 40));
        setLfoWave(*s, static_cast<uint16_t>(u % 2));
        setLfoTarget(*s, static_cast<uint16_t>(u));
        for (int p = 0; p < 3; ++p)
            for (int i = 0; i < kStepsPerPattern; ++i) {
                const int at = stepIndex(u, p, i);
                s->store.stepPitch[at] = static_cast<int8_t>(rng.range(-12, 36));
                s->store.stepNoteOn[at] = static_cast<uint8_t>(rng.range(0, 3) != 0);
                s->store.stepSlide[at] = static_cast<uint8_t>(rng.range(0, 4) == 0);
            }
    }
    selectUnit(*s, 0);
    for (int i = 0; i < kWaveLength; ++i) {
        // A bent triangle as the user wave.
        const int x = i < 512 ? i : 1023 - i;
        s->tables.userTable[i] = static_cast<int16_t>(x * 128 - 32768 + (i % 7) * 300);
    }
    setTempo(*s, 132);
    setMasterVolume(*s, 60);
    setFeedback(*s, 50);
    setDelaySteps(*s, 2);
    setPan(*s, 20);
    s->store.unitLinks[0][2] = 1;
    s->store.settings.patternCount = 3;
    s->store.settings.songLength = 5;
    for (int i = 0; i < 5; ++i) s->store.settings.songSequence[i] = static_cast<uint8_t>(i % 3);
    return s;
}

// Eight units with values no control can give.
std::unique_ptr<Synth> extremes() {
    auto s = testing::startedSynth();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    s->store.unitCount = 8;
    for (int u = 0; u < kUnitSlots; ++u) {
        UnitRecord& r = s->store.units[u];
        const bool odd = u % 2 != 0;
        r.osc1Wave = static_cast<uint16_t>(u + 3);
        r.osc2Wave = static_cast<uint16_t>(odd ? 4 : 65535);
        r.osc1Coarse = odd ? INT32_MIN : 300;
        r.osc2Coarse = odd ? -300 : INT32_MAX;
        r.osc1Fine = odd ? 5000000 : -5000000;
        r.osc2Fine = odd ? INT32_MAX : INT32_MIN;
        r.oscMix = odd ? -1000 : 1000;
        r.osc2Phase = odd ? INT32_MIN : 123456;
        r.delaySend[0] = odd ? 0xFFFFFFFFu : 0x80000000u;
        r.distMode = static_cast<uint16_t>(u);
        r.distWet = static_cast<uint16_t>(odd ? 65535 : 300);
        r.distThreshold = static_cast<uint16_t>(odd ? 65535 : 10);
        r.filterMode = static_cast<uint16_t>(u % 6 == 5 ? 777 : u % 5);
        r.cutoff = odd ? INT32_MAX : -100000;
        r.resonance = odd ? INT32_MIN : 40000;
        r.envAmount = odd ? -1000000000 : 1000000000;
        r.lfoAmount = odd ? INT32_MAX : -70000;
        r.lfoSpeed = odd ? nan : -1.0e300;
        r.lfoTarget = static_cast<uint16_t>(u % 4 + (u == 7 ? 10 : 0));
        r.lfoWave = static_cast<uint16_t>(u);
        r.ringMod = odd ? 100000 : -100000;
        r.fmAmount = odd ? INT32_MAX : 100000;
        r.oscSync = static_cast<uint32_t>(u);
        r.pulseWidth = odd ? INT32_MIN : INT32_MAX;
        r.attack = odd ? nan : -inf;
        r.decay = odd ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::quiet_NaN();
        r.sustainTime = odd ? INT32_MAX : -5;
        r.release = odd ? 1.5 : nan;
        r.sustainLevel = odd ? INT32_MIN : INT32_MAX;
        r.stepGate = odd ? std::numeric_limits<float>::quiet_NaN() : 1.0e30f;
        r.volume = odd ? INT32_MIN : INT32_MAX;
        for (int i = 0; i < kStepsPerPattern; ++i) {
            const int at = stepIndex(u, 0, i);
            s->store.stepPitch[at] = static_cast<int8_t>(i % 2 ? -128 : 127 - u);
            s->store.stepSlide[at] = static_cast<uint8_t>(i % 3 == 0 ? 255 : 0);
            s->store.stepNoteOn[at] = static_cast<uint8_t>(i * 37 + u);
        }
        for (int v = 0; v < kUnitSlots; ++v) s->store.unitLinks[u][v] = static_cast<uint8_t>((u + v) % 3);
    }
    EngineSettings& g = s->store.settings;
    g.tempoBpm = -7;
    g.masterVolume = -32768;
    g.delaySteps = 1 << 30;
    g.delayFeedback = INT32_MIN;
    g.delayPan = 1000;
    g.delaySendOut = INT32_MAX;
    for (int i = 0; i < kWaveLength; ++i) s->tables.userTable[i] = static_cast<int16_t>(i % 2 ? -32768 : 32767);
    return s;
}

// Every count at its limit, every byte from a generator.
std::unique_ptr<Synth> everyLimit() {
    auto s = testing::startedSynth();
    Lcg rng{99};
    s->store.unitCount = kUnitSlots;
    s->store.settings.patternCount = kPatternsPerUnit;
    s->store.settings.songLength = kSongEntries;
    for (int i = 0; i < kUnitSlots * kStepsPerSlot; ++i) {
        s->store.stepPitch[i] = static_cast<int8_t>(rng.range(-40, 60));
        s->store.stepNoteOn[i] = static_cast<uint8_t>(rng.next() >> 24);
        s->store.stepSlide[i] = static_cast<uint8_t>(rng.range(0, 5) == 0);
        s->store.stepSpare[i] = static_cast<uint8_t>(rng.next() >> 24);
    }
    for (auto& entry : s->store.settings.songSequence) entry = static_cast<uint8_t>(rng.range(0, 63));
    for (int u = 1; u < kUnitSlots; ++u) testing::applyStartupLikeSettings(*s, u);
    s->store.unitCount = kUnitSlots;
    for (int u = 0; u < kUnitSlots; ++u) {
        UnitRecord& r = s->store.units[u];
        r.osc1Wave = static_cast<uint16_t>(u % 5);
        r.filterMode = static_cast<uint16_t>(u % 5);
        r.spareA = rng.next();
        r.spareB = uint64_t{rng.next()} << 32 | rng.next();
        r.spareC = static_cast<uint16_t>(rng.next());
        r.spareD = static_cast<uint16_t>(rng.next());
        r.spareE = rng.next();
        for (int w = 1; w < 8; ++w) r.delaySend[w] = rng.next();
    }
    s->store.settings.tempoBpm = 180;
    return s;
}

// The older 212-byte layout, one unit at 120 BPM.
Bytes oldLayout() {
    Bytes b;
    const auto put = [&](uint64_t v, int width) {
        for (int i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(3, 2);                           // osc1Wave: the 303 saw
    put(1, 2);                           // osc2Wave: square
    put(0, 4);                           // osc1Coarse
    put(static_cast<uint32_t>(-12), 4);  // osc2Coarse
    put(5, 4);                           // osc1Fine
    put(static_cast<uint32_t>(-9), 4);   // osc2Fine
    put(81, 4);                          // delaySendOut
    put(static_cast<uint32_t>(-20), 4);  // delayPan
    put(90, 4);                          // delayFeedback
    put(2, 4);                           // delaySteps
    put(1, 2);                           // distMode
    put(40, 2);                          // distWet
    put(6, 2);                           // distThreshold
    put(1, 2);                           // filterMode: Lo24
    put(4000, 4);                        // cutoff
    put(9000, 4);                        // resonance
    put(20000, 4);                       // envAmount
    put(100, 4);                         // lfoAmount
    put(0xDEADBEEF, 4);                  // skipped
    put(2, 2);                           // lfoTarget: cutoff
    put(0, 2);                           // lfoWave
    put(0, 4);                           // spareA
    put(3, 4);                           // old LFO speed
    put(0, 2);                           // spareC
    put(0, 2);                           // spareD
    put(40, 4);                          // ringMod
    put(0, 4);                           // skipped
    uint64_t decay;
    const double d = 0.99985;
    std::memcpy(&decay, &d, 8);
    put(decay, 8);
    put(120, 4);  // tempo
    for (int i = 0; i < 16; ++i) put(0xABCD0000u | static_cast<uint32_t>((i * 7) % 24), 4);
    for (int i = 0; i < 16; ++i) put(i % 4 != 2, 1);
    for (int i = 0; i < 16; ++i) put(i % 5 == 0, 1);
    for (int i = 0; i < 16; ++i) put(0, 1);
    return b;
}

void writeAll() {
    const Bytes startup = saved(*testing::startedSynth());
    const Bytes four = saved(*fourUnits());
    writeFile("startup.pat", startup);
    writeFile("four-units.pat", four);
    writeFile("extremes.pat", saved(*extremes()));
    writeFile("every-limit.pat", saved(*everyLimit()));
    writeFile("old-layout.pat", oldLayout());

    // Damaged and hand-altered files.
    for (size_t length : {size_t{3}, size_t{29}, size_t{30}, size_t{31}, size_t{100}, size_t{2120}, size_t{2358}})
        writeFile("startup-cut-" + std::to_string(length) + ".pat", Bytes(startup.begin(), startup.begin() + length));
    writeFile("four-units-cut.pat", Bytes(four.begin(), four.end() - 200));
    const Bytes old = oldLayout();
    writeFile("old-layout-cut.pat", Bytes(old.begin(), old.begin() + 150));
    Bytes overlong = startup;
    for (int i = 0; i < 5000; ++i) overlong.push_back(static_cast<uint8_t>(i * 13));
    writeFile("overlong.pat", overlong);

    const struct {
        const char* name;
        size_t offset;
        int16_t value;
    } counts[] = {
        {"no-units.pat", 20, 0},          {"negative-units.pat", 20, -5},     {"30000-units.pat", 20, 30000},
        {"100-patterns.pat", 22, 100},    {"negative-patterns.pat", 22, -1},  {"song-9999.pat", 24, 9999},
        {"no-optional-blocks.pat", 16, 0}, {"only-volume-block.pat", 16, 2},
    };
    for (const auto& c : counts) {
        Bytes b = four;
        putLe(b, c.offset, static_cast<uint16_t>(c.value), 2);
        writeFile(c.name, b);
    }

    // The user wave's stored length W lies after the links and eight rows
    // of a one-unit file.
    constexpr size_t kWaveLengthAt = kPatternHeaderSize + 8 + 28;
    for (const int32_t w : {-1, INT32_MAX, 100}) {
        Bytes b = startup;
        putLe(b, kWaveLengthAt, static_cast<uint32_t>(w), 4);
        writeFile("wave-length-" + std::to_string(w) + ".pat", b);
    }
    Bytes longWave = startup;
    putLe(longWave, kWaveLengthAt, 5000, 4);
    longWave.insert(longWave.begin() + kWaveLengthAt + 4 + 2 * kWaveLength, 2 * (5000 - kWaveLength), 0x5A);
    writeFile("wave-length-5000.pat", longWave);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmor-sample-patterns DIR\n");
        return 2;
    }
    velmor::folder = argv[1];
    velmor::writeAll();
    return velmor::failures == 0 ? 0 : 1;
}
