// Pattern files: the writer's bytes against the layout described here, round
// trips bit for bit, files from elsewhere (optional blocks missing, counts
// out of range, odd user-wave lengths, the older layout) and files cut off
// at every length. The state after a load is compared field by field with
// the state expected, over the whole store, so that a value landing in the
// wrong place, or a write where the file has no business, shows up.

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "files/file_names.h"
#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::startedSynth;

// ---------------------------------------------------------------------------
// Fields as bit patterns.

template <class T>
uint64_t bitsOf(const Relaxed<T>& v) {
    if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
        return v.loadBits();
    } else {
        return static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(v.load()));
    }
}
template <class T>
uint64_t bitsOf(const Relaxed<T*>& v) {
    return reinterpret_cast<uintptr_t>(v.load());
}
uint64_t bitsOf(uint64_t v) { return v; }

template <class T>
void setBits(Relaxed<T>& v, uint64_t b) {
    if constexpr (std::is_same_v<T, float>) {
        v.storeBits(static_cast<uint32_t>(b));
    } else if constexpr (std::is_same_v<T, double>) {
        v.storeBits(b);
    } else {
        v = static_cast<T>(b);
    }
}
template <class T>
void setBits(Relaxed<T*>& v, uint64_t b) {
    v = reinterpret_cast<T*>(static_cast<uintptr_t>(b));
}
template <class T>
    requires std::is_integral_v<T>
void setBits(T& v, uint64_t b) {
    v = static_cast<T>(b);
}

struct UnitField {
    const char* name;
    int width;  // bytes in the file
    uint64_t (*get)(const UnitRecord&);
    void (*set)(UnitRecord&, uint64_t);
};

#define FIELD(f, w)                                                             \
    UnitField {                                                                 \
        #f, w, [](const UnitRecord& r) { return bitsOf(r.f); },                 \
        [](UnitRecord& r, uint64_t b) { setBits(r.f, b); }                      \
    }

// The per-unit rows of the current layout, in file order.
const UnitField kOscillatorRows[] = {
    FIELD(osc1Wave, 2), FIELD(osc2Wave, 2), FIELD(osc1Coarse, 4), FIELD(osc2Coarse, 4),
    FIELD(osc1Fine, 4), FIELD(osc2Fine, 4), FIELD(oscMix, 4),     FIELD(osc2Phase, 4),
};
const UnitField kVoiceRows[] = {
    FIELD(distMode, 2),  FIELD(distWet, 2),   FIELD(distThreshold, 2), FIELD(filterMode, 2),
    FIELD(cutoff, 4),    FIELD(resonance, 4), FIELD(envAmount, 4),     FIELD(lfoAmount, 4),
    FIELD(lfoSpeed, 8),  FIELD(lfoTarget, 2), FIELD(lfoWave, 2),       FIELD(spareA, 4),
    FIELD(spareB, 8),    FIELD(spareC, 2),    FIELD(spareD, 2),        FIELD(ringMod, 4),
};
const UnitField kFmRow = FIELD(fmAmount, 4);
const UnitField kSyncRow = FIELD(oscSync, 4);
const UnitField kPulseWidthRows[] = {FIELD(pulseWidth, 4), FIELD(spareE, 4)};
const UnitField kEnvelopeRows[] = {
    FIELD(attack, 8),  FIELD(decay, 4),        FIELD(sustainTime, 4),
    FIELD(release, 8), FIELD(sustainLevel, 4), FIELD(stepGate, 4),
};
const UnitField kVolumeRow = FIELD(volume, 4);
// Not in the file: the setters and the refresh after a load keep them.
const UnitField kDerivedFields[] = {FIELD(osc1Table, 0), FIELD(osc2Table, 0), FIELD(gateSamples, 0)};

#undef FIELD

// Every stored field except the eight delaySend words.
std::vector<UnitField> storedFields() {
    std::vector<UnitField> all(std::begin(kOscillatorRows), std::end(kOscillatorRows));
    all.insert(all.end(), std::begin(kVoiceRows), std::end(kVoiceRows));
    all.push_back(kFmRow);
    all.push_back(kSyncRow);
    all.insert(all.end(), std::begin(kPulseWidthRows), std::end(kPulseWidthRows));
    all.insert(all.end(), std::begin(kEnvelopeRows), std::end(kEnvelopeRows));
    all.push_back(kVolumeRow);
    return all;
}

// ---------------------------------------------------------------------------
// The whole state as one list of values, for comparisons.

// Calls visit(name, bits) for every field of the store, the user wave and
// its neighbouring tables, and the engine's clock and voices, always in the
// same order. `name` is a callable that builds the field's name.
template <class Visit>
void visitState(const Synth& s, Visit&& visit) {
    const Store& st = s.store;
    static const std::vector<UnitField> fields = storedFields();
    for (int u = 0; u < kUnitSlots; ++u) {
        const UnitRecord& r = st.units[u];
        const auto unitName = [u](const char* f) { return "units[" + std::to_string(u) + "]." + f; };
        for (const UnitField& f : fields) visit([&] { return unitName(f.name); }, f.get(r));
        for (const UnitField& f : kDerivedFields) visit([&] { return unitName(f.name); }, f.get(r));
        for (int w = 0; w < 8; ++w)
            visit([&] { return unitName("delaySend") + "[" + std::to_string(w) + "]"; }, bitsOf(r.delaySend[w]));
    }
    const auto planeVisit = [&](const char* plane, auto* values) {
        for (int i = 0; i < kUnitSlots * kStepsPerSlot; ++i)
            visit(
                [&] {
                    return std::string(plane) + "[unit " + std::to_string(i / kStepsPerSlot) + ", pattern " +
                           std::to_string(i % kStepsPerSlot / kStepsPerPattern) + ", step " +
                           std::to_string(i % kStepsPerPattern) + "]";
                },
                bitsOf(values[i]));
    };
    planeVisit("stepPitch", st.stepPitch);
    planeVisit("stepNoteOn", st.stepNoteOn);
    planeVisit("stepSlide", st.stepSlide);
    planeVisit("stepSpare", st.stepSpare);
    for (int u = 0; u < kUnitSlots; ++u)
        for (int v = 0; v < kUnitSlots; ++v)
            visit([&] { return "unitLinks[" + std::to_string(u) + "][" + std::to_string(v) + "]"; },
                  st.unitLinks[u][v]);
    const EngineSettings& g = st.settings;
    visit([] { return std::string("tempoBpm"); }, bitsOf(g.tempoBpm));
    visit([] { return std::string("samplesPerStep"); }, bitsOf(g.samplesPerStep));
    visit([] { return std::string("masterVolume"); }, bitsOf(g.masterVolume));
    visit([] { return std::string("delaySteps"); }, bitsOf(g.delaySteps));
    visit([] { return std::string("delayFeedback"); }, bitsOf(g.delayFeedback));
    visit([] { return std::string("delayPan"); }, bitsOf(g.delayPan));
    visit([] { return std::string("delaySendOut"); }, bitsOf(g.delaySendOut));
    visit([] { return std::string("patternCount"); }, static_cast<uint32_t>(g.patternCount));
    visit([] { return std::string("currentPattern"); }, static_cast<uint32_t>(g.currentPattern));
    visit([] { return std::string("songLength"); }, static_cast<uint32_t>(g.songLength));
    for (int i = 0; i < kSongEntries; ++i)
        visit([&] { return "songSequence[" + std::to_string(i) + "]"; }, g.songSequence[i]);
    visit([] { return std::string("unitCount"); }, bitsOf(st.unitCount));
    visit([] { return std::string("currentUnit"); }, static_cast<uint32_t>(st.currentUnit));
    visit([] { return std::string("settingsSource"); }, static_cast<uint32_t>(st.settingsSource));
    for (int i = 0; i < kWaveLength; ++i) {
        visit([&] { return "saw303Table[" + std::to_string(i) + "]"; }, bitsOf(s.tables.saw303Table[i]));
        visit([&] { return "userTable[" + std::to_string(i) + "]"; }, bitsOf(s.tables.userTable[i]));
    }
    for (int i = 0; i < kNoteSteps; ++i)
        visit([&] { return "noteStepTable[" + std::to_string(i) + "]"; }, s.tables.noteStepTable[i]);
    const EngineState& e = s.engine;
    visit([] { return std::string("currentStep"); }, bitsOf(e.currentStep));
    visit([] { return std::string("stepTick"); }, bitsOf(e.stepTick));
    visit([] { return std::string("sequencerOn"); }, bitsOf(e.sequencerOn));
    for (int u = 0; u < kUnitSlots; ++u) {
        const UnitVoice& v = e.voices[u];
        for (const Relaxed<int32_t>* m : {&v.osc1Accum, &v.osc2Accum, &v.lfoAccum, &v.envLevel, &v.sustainCounter,
                                          &v.filterX1, &v.filterY1, &v.filterZ2})
            visit([&] { return "voices[" + std::to_string(u) + "]"; }, bitsOf(*m));
        visit([&] { return "voices[" + std::to_string(u) + "].envStage"; }, bitsOf(v.envStage));
    }
}

std::vector<uint64_t>& snapshotInto(const Synth& s, std::vector<uint64_t>& out) {
    static const size_t count = [] {
        size_t n = 0;
        visitState(*makeSynth(), [&](auto&&, uint64_t) { ++n; });
        return n;
    }();
    out.resize(count);
    uint64_t* next = out.data();
    visitState(s, [&](auto&&, uint64_t bits) { *next++ = bits; });
    return out;
}

std::string fieldName(size_t index) {
    std::string found;
    size_t i = 0;
    auto s = makeSynth();
    visitState(*s, [&](auto&& name, uint64_t) {
        if (i++ == index) found = name();
    });
    return found;
}

::testing::AssertionResult sameValues(const std::vector<uint64_t>& actual, const std::vector<uint64_t>& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    int shown = 0;
    for (size_t i = 0; i < actual.size() && shown < 6; ++i) {
        if (actual[i] == expected[i]) continue;
        char values[64];
        std::snprintf(values, sizeof values, " is 0x%llx, expected 0x%llx; ",
                      static_cast<unsigned long long>(actual[i]), static_cast<unsigned long long>(expected[i]));
        failure << fieldName(i) << values;
        ++shown;
    }
    return failure;
}

::testing::AssertionResult sameState(const Synth& actual, const Synth& expected) {
    std::vector<uint64_t> a, e;
    return sameValues(snapshotInto(actual, a), snapshotInto(expected, e));
}

// Copies what a load can change, and what the comparison looks at, from one
// instance into another.
void copyState(Synth& to, const Synth& from) {
    to.store = from.store;
    for (int i = 0; i < kWaveLength; ++i) to.tables.userTable[i] = from.tables.userTable[i].load();
}

// ---------------------------------------------------------------------------
// Distinctive values.

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Gives every stored field of every slot, the links, the step planes of all
// patterns, the song, the user wave and the stored globals a value of its
// own, and floating-point fields NaN payloads among others. With `inverted`
// every bit is flipped: two states made from the same seed, one inverted,
// differ in every byte of every field.
void fillDistinct(Synth& s, uint64_t seed, bool inverted = false) {
    const uint64_t flip = inverted ? ~uint64_t{0} : 0;
    uint64_t k = seed * 1000003;
    const auto next = [&] { return mix(++k) ^ flip; };
    Store& st = s.store;
    static const std::vector<UnitField> fields = storedFields();
    for (int u = 0; u < kUnitSlots; ++u) {
        UnitRecord& r = st.units[u];
        for (const UnitField& f : fields) f.set(r, next());
        for (auto& word : r.delaySend) setBits(word, next());
        // NaNs with payloads, signalling and quiet, of both signs.
        r.decay.storeBits(static_cast<uint32_t>((0x7F800001u + 977u * u) ^ flip));
        r.stepGate.storeBits(static_cast<uint32_t>((0xFFC12345u + u) ^ flip));
        r.attack.storeBits((0x7FF0000000000001ull + 0x1000003ull * u) ^ flip);
        r.release.storeBits((0xFFF8DEADBEEF0000ull + u) ^ flip);
        r.lfoSpeed.storeBits((0x7FF4000000000000ull | (0x55AA55AAull * (u + 1))) ^ flip);
    }
    for (int i = 0; i < kUnitSlots * kStepsPerSlot; ++i) {
        const uint64_t b = next();
        st.stepPitch[i] = static_cast<int8_t>(b);
        st.stepNoteOn[i] = static_cast<uint8_t>(b >> 8);
        st.stepSlide[i] = static_cast<uint8_t>(b >> 16);
        st.stepSpare[i] = static_cast<uint8_t>(b >> 24);
    }
    for (auto& row : st.unitLinks)
        for (uint8_t& link : row) link = static_cast<uint8_t>(next());
    EngineSettings& g = st.settings;
    for (Relaxed<int32_t>* v : {&g.tempoBpm, &g.delaySteps, &g.delayFeedback, &g.delayPan, &g.delaySendOut})
        setBits(*v, next());
    // The header holds the master volume in 16 bits.
    g.masterVolume = static_cast<int16_t>(next());
    for (auto& entry : g.songSequence) entry = static_cast<uint8_t>(next());
    for (WaveSample& sample : s.tables.userTable) sample = static_cast<int16_t>(next());
}

struct Counts {
    int unitCount, patternCount, songLength;
};

void setCounts(Synth& s, Counts c) {
    s.store.unitCount = c.unitCount;
    s.store.settings.patternCount = c.patternCount;
    s.store.settings.songLength = c.songLength;
    // The song names only patterns that the count covers (a save raises the
    // count to cover the song).
    for (auto& entry : s.store.settings.songSequence)
        entry = static_cast<uint8_t>(c.patternCount > 0 ? entry % c.patternCount : 0);
}

// A state to save: distinct values throughout, with the given counts.
std::unique_ptr<Synth> sourceState(Counts c, uint64_t seed = 1) {
    auto s = startedSynth();
    fillDistinct(*s, seed);
    setCounts(*s, c);
    return s;
}

// A state to load into: every field differs from sourceState's with the
// same seed, and its counts differ too.
std::unique_ptr<Synth> targetState(uint64_t seed = 1) {
    auto s = startedSynth();
    fillDistinct(*s, seed, true);
    setCounts(*s, {3, 5, 9});
    s->store.currentUnit = 2;
    s->store.settingsSource = 1;
    return s;
}

// ---------------------------------------------------------------------------
// File images: bytes with the effect each value has when it is read.

struct Effect {
    size_t end;  // the value is read when the file reaches this length
    std::function<void(Synth&)> apply;
};

struct FileImage {
    std::vector<uint8_t> bytes;
    std::vector<Effect> effects;

    void put(uint64_t bits, int width, std::function<void(Synth&)> apply = nullptr) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        if (apply) effects.push_back({bytes.size(), std::move(apply)});
    }
    // The effect of reading the first `length` bytes of the image.
    void applyUpTo(Synth& s, size_t length) const {
        for (const Effect& e : effects)
            if (e.end <= length) e.apply(s);
    }
};

int clampCount(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

struct Layout {
    uint16_t present = kAllFieldsPresent;
    // The header's counts; the rows follow the counts brought into range.
    int16_t unitCount = 1, patternCount = 1, songLength = 1;
    int32_t waveLength = kWaveLength;  // W as stored
    int64_t waveSamples = kWaveLength;  // samples actually in the file; fewer than W ends it
    bool decoyFirstDelayBlock = false;
};

// The current layout as this file describes it, holding the values of `src`.
FileImage currentLayoutImage(const Synth& src, const Layout& o) {
    const Store& st = src.store;
    const EngineSettings& g = st.settings;
    const int n = clampCount(o.unitCount, 1, kUnitSlots);
    const int patterns = clampCount(o.patternCount, 0, kPatternsPerUnit);
    const int songLength = clampCount(o.songLength, 0, kSongEntries);
    FileImage f;
    const char version[16] = "V1.0A";
    for (char c : version) f.put(static_cast<uint8_t>(c), 1);
    const int16_t master = static_cast<int16_t>(g.masterVolume.load());
    const uint16_t present = o.present;
    f.put(present, 2);
    f.put(static_cast<uint16_t>(master), 2);
    f.put(static_cast<uint16_t>(o.unitCount), 2);
    f.put(static_cast<uint16_t>(o.patternCount), 2);
    f.put(static_cast<uint16_t>(o.songLength), 2);
    f.put(0, 2);
    f.put(0, 2, [=](Synth& s) {
        s.store.settings.masterVolume = master;
        s.store.unitCount = n;
        s.store.settings.patternCount = patterns;
        s.store.settings.songLength = songLength;
        // Blocks the file does not hold take fixed values in all slots.
        for (UnitRecord& r : s.store.units) {
            if (!(present & kHasFmAmount)) r.fmAmount = 0;
            if (!(present & kHasOscSync)) r.oscSync = 0;
            if (!(present & kHasPulseWidth)) {
                r.pulseWidth = 0;
                r.spareE = 0;
            }
            if (!(present & kHasVolume)) r.volume = 128;
        }
    });
    EXPECT_EQ(f.bytes.size(), size_t{kPatternHeaderSize});

    const auto row = [&](const UnitField& field) {
        for (int u = 0; u < n; ++u) {
            const uint64_t bits = field.get(st.units[u]);
            f.put(bits, field.width, [=](Synth& s) { field.set(s.store.units[u], bits); });
        }
    };
    for (int u = 0; u < n; ++u)
        for (int v = 0; v < kUnitSlots; ++v) {
            const uint8_t link = st.unitLinks[u][v];
            f.put(link, 1, [=](Synth& s) { s.store.unitLinks[u][v] = link; });
        }
    for (const UnitField& field : kOscillatorRows) row(field);

    f.put(static_cast<uint32_t>(o.waveLength), 4);
    const int64_t taken = std::min<int64_t>(std::max<int32_t>(o.waveLength, 0), kWaveLength);
    for (int64_t i = 0; i < o.waveSamples; ++i) {
        const uint16_t sample = i < kWaveLength ? static_cast<uint16_t>(src.tables.userTable[i].load())
                                                : static_cast<uint16_t>(0xBEEF ^ i);
        if (i < taken)
            f.put(sample, 2, [=](Synth& s) { s.tables.userTable[i] = static_cast<int16_t>(sample); });
        else
            f.put(sample, 2);
    }
    if (o.waveSamples < o.waveLength) return f;  // the skip runs into the end of the file

    const auto delayBlock = [&](int32_t sendOut, int32_t pan, int32_t feedback, int32_t steps) {
        f.put(static_cast<uint32_t>(sendOut), 4, [=](Synth& s) { s.store.settings.delaySendOut = sendOut; });
        f.put(static_cast<uint32_t>(pan), 4, [=](Synth& s) { s.store.settings.delayPan = pan; });
        f.put(static_cast<uint32_t>(feedback), 4, [=](Synth& s) { s.store.settings.delayFeedback = feedback; });
        f.put(static_cast<uint32_t>(steps), 4, [=](Synth& s) { s.store.settings.delaySteps = steps; });
    };
    if (o.decoyFirstDelayBlock)
        delayBlock(~g.delaySendOut, ~g.delayPan, ~g.delayFeedback, ~g.delaySteps);
    else
        delayBlock(g.delaySendOut, g.delayPan, g.delayFeedback, g.delaySteps);
    delayBlock(g.delaySendOut, g.delayPan, g.delayFeedback, g.delaySteps);
    for (int u = 0; u < n; ++u)
        for (int w = 0; w < 8; ++w) {
            const uint32_t word = st.units[u].delaySend[w];
            f.put(word, 4, [=](Synth& s) { s.store.units[u].delaySend[w] = word; });
        }
    for (const UnitField& field : kVoiceRows) row(field);
    if (present & kHasFmAmount) row(kFmRow);
    if (present & kHasOscSync) row(kSyncRow);
    if (present & kHasPulseWidth)
        for (const UnitField& field : kPulseWidthRows) row(field);
    for (const UnitField& field : kEnvelopeRows) row(field);
    if (present & kHasVolume) row(kVolumeRow);
    const int32_t tempo = g.tempoBpm;
    f.put(static_cast<uint32_t>(tempo), 4, [=](Synth& s) { s.store.settings.tempoBpm = tempo; });

    const auto plane = [&](auto member) {
        for (int u = 0; u < n; ++u)
            for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
                const int at = stepIndex(u, 0, i);
                const uint8_t b = static_cast<uint8_t>((st.*member)[at].load());
                f.put(b, 1, [=](Synth& s) {
                    (s.store.*member)[at] = static_cast<decltype((s.store.*member)[at].load())>(b);
                });
            }
    };
    plane(&Store::stepPitch);
    plane(&Store::stepNoteOn);
    plane(&Store::stepSlide);
    plane(&Store::stepSpare);
    for (int i = 0; i < songLength; ++i) {
        const uint8_t entry = g.songSequence[i];
        f.put(entry, 1, [=](Synth& s) { s.store.settings.songSequence[i] = entry; });
    }
    return f;
}

// The older 212-byte layout holding values of its own (the junk in the
// skipped words and in the pitch words' upper bytes must land nowhere).
FileImage oldLayoutImage(uint64_t seed) {
    FileImage f;
    uint64_t k = seed;
    const auto next = [&] { return mix(++k); };
    const auto unit0 = [](Synth& s) -> UnitRecord& { return s.store.units[0]; };
    const auto field = [&](const UnitField& field) {
        const uint64_t bits = next() & (field.width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * field.width)) - 1);
        f.put(bits, field.width, [=](Synth& s) { field.set(unit0(s), bits); });
    };
    const auto global = [&](Relaxed<int32_t> EngineSettings::*member) {
        const int32_t v = static_cast<int32_t>(next());
        f.put(static_cast<uint32_t>(v), 4, [=](Synth& s) { s.store.settings.*member = v; });
    };
    for (int i = 0; i < 6; ++i) field(kOscillatorRows[i]);  // waves, coarse and fine tunings
    // The send: -12345 halves toward zero to -6172.
    f.put(static_cast<uint32_t>(-12345), 4, [](Synth& s) {
        s.store.settings.delaySendOut = -12345;
        s.store.units[0].delaySend[0] = static_cast<uint32_t>(-6172);
    });
    global(&EngineSettings::delayPan);
    global(&EngineSettings::delayFeedback);
    global(&EngineSettings::delaySteps);
    for (int i = 0; i < 8; ++i) field(kVoiceRows[i]);  // distortion, filter mode, cutoff ... lfoAmount
    f.put(0xDEADBEEF, 4);
    field(kVoiceRows[9]);   // lfoTarget
    field(kVoiceRows[10]);  // lfoWave
    field(kVoiceRows[11]);  // spareA
    // The old speed times 4 in 32 bits: 0x20000001 * 4 wraps to -2147483644.
    f.put(0x20000001, 4, [](Synth& s) { s.store.units[0].lfoSpeed = -2147483644.0; });
    field(kVoiceRows[13]);  // spareC
    field(kVoiceRows[14]);  // spareD
    field(kVoiceRows[15]);  // ringMod
    f.put(0xFEEDFACE, 4);
    const double decay = 0.99987654321098765;
    f.put(std::bit_cast<uint64_t>(decay), 8, [=](Synth& s) { s.store.units[0].decay = static_cast<float>(decay); });
    global(&EngineSettings::tempoBpm);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        const uint32_t word = static_cast<uint32_t>(next());
        f.put(word, 4, [=](Synth& s) { s.store.stepPitch[stepIndex(0, 0, i)] = static_cast<int8_t>(word & 0xFF); });
    }
    using BytePlane = Relaxed<uint8_t>[kUnitSlots * kStepsPerSlot];
    for (BytePlane Store::*plane : {&Store::stepNoteOn, &Store::stepSlide, &Store::stepSpare})
        for (int i = 0; i < kStepsPerPattern; ++i) {
            const uint8_t b = static_cast<uint8_t>(next());
            f.put(b, 1, [=](Synth& s) { (s.store.*plane)[stepIndex(0, 0, i)] = b; });
        }
    EXPECT_EQ(f.bytes.size(), size_t{kOldLayoutSize});
    return f;
}

// ---------------------------------------------------------------------------
// Files.

class TempFile {
public:
    explicit TempFile(const std::string& tag) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = ::testing::TempDir() + "velmor_" + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(getpid()) + "_" + tag;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

    void write(const std::vector<uint8_t>& bytes, size_t length = SIZE_MAX) const {
        std::FILE* f = std::fopen(path(), "wb");
        ASSERT_NE(f, nullptr);
        const size_t n = std::min(length, bytes.size());
        ASSERT_EQ(std::fwrite(bytes.data(), 1, n, f), n);
        ASSERT_EQ(std::fclose(f), 0);
    }
    std::vector<uint8_t> read() const {
        std::vector<uint8_t> bytes;
        std::FILE* f = std::fopen(path(), "rb");
        if (!f) return bytes;
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
        return bytes;
    }

private:
    std::string path_;
};

::testing::AssertionResult sameBytes(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
    const size_t n = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < n; ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "first difference at byte " << i << ": " << int{actual[i]}
                                                 << " instead of " << int{expected[i]};
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size();
    return ::testing::AssertionSuccess();
}

// Loads `image` (cut to `length` bytes) into a copy of `before` and compares
// the result with the effects of the bytes it holds.
void expectLoad(const FileImage& image, const Synth& before, Synth& scratch, Synth& expected, const TempFile& file,
                size_t length, PatternReadStatus expectedStatus) {
    file.write(image.bytes, length);
    copyState(scratch, before);
    copyState(expected, before);
    image.applyUpTo(expected, length);
    PatternReadStatus status{};
    const int read = readPatternFile(scratch, file.path(), &status);
    EXPECT_EQ(status, expectedStatus);
    EXPECT_EQ(read, 1);
    EXPECT_TRUE(sameState(scratch, expected));
}

// ---------------------------------------------------------------------------
// The writer.

const Counts kSaveCounts[] = {{1, 1, 1}, {4, 3, 7}, {2, 0, 0}, {8, 64, 512}};

TEST(PatternFileWriter, WritesTheDocumentedLayout) {
    TempFile file("saved.pat");
    for (const Counts c : kSaveCounts) {
        SCOPED_TRACE(::testing::Message() << c.unitCount << " units, " << c.patternCount << " patterns, song of "
                                          << c.songLength);
        const auto src = sourceState(c);
        ASSERT_EQ(writePatternFile(*src, file.path()), 1);
        const Layout layout{kAllFieldsPresent, static_cast<int16_t>(c.unitCount), static_cast<int16_t>(c.patternCount),
                            static_cast<int16_t>(c.songLength)};
        EXPECT_TRUE(sameBytes(file.read(), currentLayoutImage(*src, layout).bytes));
    }
}

TEST(PatternFileWriter, StartUpStateTakes2359Bytes) {
    TempFile file("startup.pat");
    const auto s = startedSynth();
    ASSERT_EQ(writePatternFile(*s, file.path()), 1);
    const std::vector<uint8_t> bytes = file.read();
    ASSERT_EQ(bytes.size(), 2359u);
    const uint8_t header[kPatternHeaderSize] = {'V', '1', '.', '0', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                15,  0,   128, 0,   1,   0, 1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_TRUE(sameBytes({bytes.begin(), bytes.begin() + kPatternHeaderSize}, {std::begin(header), std::end(header)}));
}

TEST(PatternFileWriter, HeaderAndRowsAgreeForAnyUnitCount) {
    // A unit count outside 1..8 in the store is saved as the count the rows
    // are written for, so that the file reads back as it was meant.
    TempFile file("count.pat");
    for (const int count : {0, -3, 9, 1000}) {
        SCOPED_TRACE(count);
        const auto src = sourceState({count, 1, 1});
        ASSERT_EQ(writePatternFile(*src, file.path()), 1);
        const int n = clampCount(count, 1, kUnitSlots);
        const Layout layout{kAllFieldsPresent, static_cast<int16_t>(n), 1, 1};
        EXPECT_TRUE(sameBytes(file.read(), currentLayoutImage(*src, layout).bytes));
    }
}

TEST(PatternFileWriter, ReportsFilesThatCannotBeWritten) {
    const auto s = startedSynth();
    EXPECT_EQ(writePatternFile(*s, (::testing::TempDir() + "no-such-folder/x.pat").c_str()), 0);
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        std::fclose(full);
        EXPECT_EQ(writePatternFile(*s, "/dev/full"), 0) << "a write that fails only when the file is closed";
    }
}

// ---------------------------------------------------------------------------
// Round trips.

TEST(PatternFileRoundTrip, KeepsEveryStoredFieldBitForBitAndLeavesOtherSlotsAlone) {
    TempFile file("trip.pat");
    auto scratch = makeSynth();
    auto expected = makeSynth();
    for (const Counts c : kSaveCounts) {
        SCOPED_TRACE(::testing::Message() << c.unitCount << " units, " << c.patternCount << " patterns, song of "
                                          << c.songLength);
        const auto src = sourceState(c, 7);
        const auto before = targetState(7);
        ASSERT_EQ(writePatternFile(*src, file.path()), 1);
        const FileImage image = currentLayoutImage(
            *src, {kAllFieldsPresent, static_cast<int16_t>(c.unitCount), static_cast<int16_t>(c.patternCount),
                   static_cast<int16_t>(c.songLength)});
        expectLoad(image, *before, *scratch, *expected, file, SIZE_MAX, PatternReadStatus::kCurrentLayout);

        // Spelled out for the values most easily lost on the way.
        const UnitRecord& r = scratch->store.units[c.unitCount - 1];
        const UnitRecord& w = src->store.units[c.unitCount - 1];
        EXPECT_EQ(r.decay.loadBits(), w.decay.loadBits()) << "a signalling NaN with its payload";
        EXPECT_EQ(r.attack.loadBits(), w.attack.loadBits());
        EXPECT_EQ(r.release.loadBits(), w.release.loadBits());
        EXPECT_EQ(r.stepGate.loadBits(), w.stepGate.loadBits());
        EXPECT_EQ(r.spareB, w.spareB);
        if (c.unitCount < kUnitSlots) {
            EXPECT_EQ(scratch->store.units[c.unitCount].volume.load(), before->store.units[c.unitCount].volume.load())
                << "the slot after the last unit in use keeps its value";
        }

        // Saving what was loaded gives the same file again.
        const std::vector<uint8_t> first = file.read();
        ASSERT_EQ(writePatternFile(*scratch, file.path()), 1);
        EXPECT_TRUE(sameBytes(file.read(), first));
    }
}

TEST(PatternFileRoundTrip, LoadedStateRendersLikeTheSavedOne) {
    TempFile file("render.pat");
    TempFile savedRaw("saved.raw");
    TempFile loadedRaw("loaded.raw");
    auto src = startedSynth();
    for (int u = 1; u < 3; ++u) testing::applyStartupLikeSettings(*src, u);
    UnitRecord& r = src->store.units[1];
    r.filterMode = 1;
    r.osc1Wave = 3;
    r.fmAmount = 90;
    r.pulseWidth = 40;
    r.oscSync = 1;
    r.volume = 100;
    src->store.units[2].osc2Wave = 4;
    src->store.units[2].osc2Phase = 128;
    for (int i = 0; i < 16; ++i) {
        src->store.stepPitch[stepIndex(1, 0, i)] = static_cast<int8_t>(3 * i - 20);
        src->store.stepSlide[stepIndex(2, 0, i)] = static_cast<uint8_t>(i % 3 == 0);
    }
    for (int i = 0; i < kWaveLength; ++i) src->tables.userTable[i] = static_cast<int16_t>(i * 61 - 30000);
    src->store.settings.tempoBpm = 150;
    refreshAfterLoad(*src);
    ASSERT_EQ(writePatternFile(*src, file.path()), 1);

    auto loaded = startedSynth();
    ASSERT_EQ(readPatternFile(*loaded, file.path()), 1);
    refreshAfterLoad(*loaded);
    for (auto [s, raw] : {std::pair{src.get(), &savedRaw}, std::pair{loaded.get(), &loadedRaw}}) {
        std::FILE* f = std::fopen(raw->path(), "wb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(streamToDisk(*s, f), 1);
        std::fclose(f);
    }
    const std::vector<uint8_t> saved = savedRaw.read();
    EXPECT_EQ(saved.size(), (16u * 4410 - 1) * 4);
    EXPECT_TRUE(sameBytes(loadedRaw.read(), saved));
}

// ---------------------------------------------------------------------------
// Files written elsewhere.

TEST(PatternFileReader, BlocksMarkedAbsentTakeFixedValuesInAllEightSlots) {
    TempFile file("present.pat");
    auto scratch = makeSynth();
    auto expected = makeSynth();
    const auto src = sourceState({2, 2, 3});
    const auto before = targetState();
    for (uint16_t present = 0; present < 16; ++present) {
        SCOPED_TRACE(::testing::Message() << "presentFields " << present);
        const FileImage image = currentLayoutImage(*src, {present, 2, 2, 3});
        expectLoad(image, *before, *scratch, *expected, file, SIZE_MAX, PatternReadStatus::kCurrentLayout);
        if (present == 0)
            for (const UnitRecord& r : scratch->store.units) {
                EXPECT_EQ(r.fmAmount, 0);
                EXPECT_EQ(r.volume, 128);
                EXPECT_EQ(r.pulseWidth, 0);
                EXPECT_EQ(r.spareE, 0u);
                EXPECT_EQ(r.oscSync, 0u);
            }
    }
}

struct HostileFile {
    const char* name;
    Layout layout;
};

const HostileFile kHostileFiles[] = {
    {"no units", {kAllFieldsPresent, 0, 1, 1}},
    {"negative unit count", {kAllFieldsPresent, -5, 2, 3}},
    {"30000 units", {kAllFieldsPresent, 30000, 1, 1}},
    {"eight units", {kAllFieldsPresent, 8, 2, 2}},
    {"100 patterns", {kAllFieldsPresent, 1, 100, 1}},
    {"negative pattern count", {kAllFieldsPresent, 2, -3, 4}},
    {"no patterns and no song", {kAllFieldsPresent, 1, 0, 0}},
    {"song of 9999", {kAllFieldsPresent, 1, 1, 9999}},
    {"negative song length", {kAllFieldsPresent, 1, 1, -1}},
    {"everything at its limit", {kAllFieldsPresent, 8, 64, 512}},
    {"two different delay blocks", {kAllFieldsPresent, 1, 1, 1, kWaveLength, kWaveLength, true}},
    {"no user samples", {kAllFieldsPresent, 1, 1, 1, 0, 0}},
    {"100 user samples", {kAllFieldsPresent, 1, 1, 1, 100, 100}},
    {"negative user wave length", {kAllFieldsPresent, 1, 1, 1, -1, 0}},
    {"most negative user wave length", {kAllFieldsPresent, 1, 1, 1, INT32_MIN, 0}},
    {"5000 user samples and data after them", {kAllFieldsPresent, 2, 1, 1, 5000, 5000}},
    {"user wave length 2^31-1 with 1500 samples", {kAllFieldsPresent, 1, 1, 1, INT32_MAX, 1500}},
};

TEST(PatternFileReader, KeepsCountsAndTheUserWaveInsideTheStore) {
    TempFile file("hostile.pat");
    TempFile raw("hostile.raw");
    auto scratch = makeSynth();
    auto expected = makeSynth();
    const auto src = sourceState({8, 64, kSongEntries});
    const auto before = targetState();
    for (const HostileFile& h : kHostileFiles) {
        SCOPED_TRACE(h.name);
        const FileImage image = currentLayoutImage(*src, h.layout);
        expectLoad(image, *before, *scratch, *expected, file, SIZE_MAX, PatternReadStatus::kCurrentLayout);

        // And the engine plays a pass of whatever the file brought.
        auto played = startedSynth();
        ASSERT_EQ(readPatternFile(*played, file.path()), 1);
        refreshAfterLoad(*played);
        std::FILE* f = std::fopen(raw.path(), "wb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(streamToDisk(*played, f), 1);
        EXPECT_EQ(std::ftell(f), (16L * played->store.settings.samplesPerStep - 1) * 4);
        std::fclose(f);
    }
}

TEST(PatternFileReader, OlderLayoutFillsUnitZeroDelayAndTempoOnly) {
    TempFile file("old.pat");
    auto scratch = makeSynth();
    auto expected = makeSynth();
    const auto before = targetState();
    const FileImage image = oldLayoutImage(5);
    expectLoad(image, *before, *scratch, *expected, file, SIZE_MAX, PatternReadStatus::kOldLayout);

    // The conversions, spelled out.
    const Store& st = scratch->store;
    EXPECT_EQ(st.units[0].delaySend[0], static_cast<uint32_t>(-6172));
    EXPECT_EQ(st.settings.delaySendOut, -12345);
    EXPECT_EQ(st.units[0].lfoSpeed, -2147483644.0);
    EXPECT_EQ(st.units[0].decay, 0.99987654321098765f);
    EXPECT_EQ(st.unitCount, 3);
    EXPECT_EQ(st.settings.patternCount, 5);
    EXPECT_EQ(st.settings.songLength, 9);
    EXPECT_EQ(st.settings.masterVolume, before->store.settings.masterVolume);
}

TEST(PatternFileReader, FilesCutShortFillFieldsAsFarAsTheDataReaches) {
    auto scratch = makeSynth();
    auto expected = makeSynth();
    const auto src = sourceState({4, 3, 7});
    const auto before = targetState();
    std::vector<uint64_t> loadedValues, expectedValues;

    struct Case {
        const char* name;
        FileImage image;
        bool current;
    };
    const Case cases[] = {
        {"start-up state", currentLayoutImage(*startedSynth(), {}), true},
        {"four units, three patterns", currentLayoutImage(*src, {kAllFieldsPresent, 4, 3, 7}), true},
        {"no optional blocks", currentLayoutImage(*src, {0, 2, 1, 2}), true},
        {"older layout", oldLayoutImage(9), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileImage& image = c.image;
        // The state expected grows with the length: the effects of the
        // values read so far (kept from one length to the next).
        size_t applied = SIZE_MAX;
        for (size_t length = 0; length <= image.bytes.size(); ++length) {
            copyState(*scratch, *before);
            PatternReadStatus status{};
            // The file functions are the same on any stream; a stream over
            // the image's first bytes saves writing thousands of files.
            std::FILE* f = fmemopen(const_cast<uint8_t*>(image.bytes.data()), length, "rb");
            ASSERT_NE(f, nullptr) << "at length " << length;
            const int read = readPatternStream(*scratch, f, &status);
            std::fclose(f);

            PatternReadStatus expectedStatus = PatternReadStatus::kOldLayout;
            if (c.current && length < kPatternHeaderSize) {
                copyState(*expected, *before);
                applied = SIZE_MAX;
                if (length < 6) {
                    // Too short for the version text: the bytes are the
                    // older layout's wave choices.
                    if (length >= 2) expected->store.units[0].osc1Wave = 'V' | '1' << 8;
                    if (length >= 4) expected->store.units[0].osc2Wave = '.' | '0' << 8;
                } else {
                    expectedStatus = PatternReadStatus::kShortHeader;
                }
                snapshotInto(*expected, expectedValues);
            } else {
                if (c.current) expectedStatus = PatternReadStatus::kCurrentLayout;
                bool changed = false;
                if (applied == SIZE_MAX) {
                    copyState(*expected, *before);
                    applied = 0;
                    changed = true;
                }
                for (; applied < image.effects.size() && image.effects[applied].end <= length; ++applied) {
                    image.effects[applied].apply(*expected);
                    changed = true;
                }
                if (changed) snapshotInto(*expected, expectedValues);
            }
            ASSERT_EQ(status, expectedStatus) << "at length " << length;
            ASSERT_EQ(read, expectedStatus == PatternReadStatus::kShortHeader ? 0 : 1) << "at length " << length;
            ASSERT_TRUE(sameValues(snapshotInto(*scratch, loadedValues), expectedValues)) << "at length " << length;
        }
    }
}

TEST(PatternFileReader, MissingFileChangesNothing) {
    const auto before = targetState();
    auto s = makeSynth();
    auto expected = makeSynth();
    copyState(*s, *before);
    copyState(*expected, *before);
    PatternReadStatus status{};
    EXPECT_EQ(readPatternFile(*s, (::testing::TempDir() + "no-such-file.pat").c_str(), &status), 0);
    EXPECT_EQ(status, PatternReadStatus::kCannotOpen);
    EXPECT_TRUE(sameState(*s, *expected));
}

// ---------------------------------------------------------------------------
// File names.

TEST(FileNames, AppendExtensionUnlessTheNameHoldsIt) {
    const std::string longest(kFileNameSize - 1 - 4, 'a');  // with ".pat" exactly fills the buffer
    const struct {
        std::string name, ext, result;
        int returned;
    } cases[] = {
        {"song", ".pat", "song.pat", 1},
        {"song.pat", ".pat", "song.pat", 1},
        {"SONG.PAT", ".pat", "SONG.PAT.pat", 1},
        {"D:\\my.patterns\\song", ".pat", "D:\\my.patterns\\song", 1},
        {"take.pat.bak", ".pat", "take.pat.bak", 1},
        {"", ".pat", ".pat", 1},
        {"bass", ".raw", "bass.raw", 1},
        {"bass.pat", ".raw", "bass.pat.raw", 1},
        {longest, ".pat", longest + ".pat", 1},
        {longest + "b", ".pat", longest + "b", 0},
        {longest + ".pat", ".pat", longest + ".pat", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[kFileNameSize + 8];
        std::memset(buffer, 'Z', sizeof buffer);
        std::memcpy(buffer, c.name.c_str(), c.name.size() + 1);
        EXPECT_EQ(appendExtension(buffer, kFileNameSize, c.ext.c_str()), c.returned);
        EXPECT_EQ(std::string(buffer), c.result);
        for (size_t i = kFileNameSize; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'Z') << "written past the buffer";
    }
}

TEST(FileNames, StripDirectoryKeepsTheLastComponent) {
    const struct {
        const char* path;
        const char* result;
    } cases[] = {
        {"D:\\music\\bass.pat", "bass.pat"},
        {"bass.pat", "bass.pat"},
        {"\\bass.pat", "\\bass.pat"},
        {"D:\\music\\", ""},
        {"a\\b", "b"},
        {"D:/music/bass.pat", "D:/music/bass.pat"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char buffer[kFileNameSize];
        std::strcpy(buffer, c.path);
        stripDirectory(buffer);
        EXPECT_STREQ(buffer, c.result) << c.path;
    }
}

}  // namespace
}  // namespace velmor
