#include "fuzz/pattern_reader_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/song_clock.h"
#include "files/pattern_file.h"
#include "model/song.h"
#include "files/stream_to_disk.h"
#include "support/test_synth.h"

namespace velmor::fuzz {
namespace {

// The distortion curves take most of the start-up time and are the same for
// every instance: they are built once and copied into each fresh one.
const Tables& distortionCurves() {
    static const std::unique_ptr<Synth> built = [] {
        auto s = makeSynth();
        buildDistortionCurves(s->tables);
        return s;
    }();
    return built->tables;
}

// An instance in the state right after start-up (as testing::startedSynth).
std::unique_ptr<Synth> startedSynth() {
    auto s = makeSynth();
    const Tables& curves = distortionCurves();
    std::memcpy(s->tables.distCurvesA, curves.distCurvesA, sizeof curves.distCurvesA);
    std::memcpy(s->tables.distCurvesB, curves.distCurvesB, sizeof curves.distCurvesB);
    initialiseUnits(*s);
    resetEngine(*s);
    applyDefaults(*s);
    return s;
}

// The fields of a unit record as bit patterns; `optional` selects the
// fields of the optional blocks (which a load sets in all slots when the
// file lacks them), otherwise all others.
std::vector<uint64_t> unitValues(const UnitRecord& r, bool optional) {
    if (optional)
        return {static_cast<uint32_t>(r.fmAmount.load()), r.oscSync.load(),
                static_cast<uint32_t>(r.pulseWidth.load()), r.spareE, static_cast<uint32_t>(r.volume.load())};
    const auto bits = [](int32_t value) -> uint64_t { return static_cast<uint32_t>(value); };
    std::vector<uint64_t> v = {
        r.osc1Wave, r.osc2Wave, bits(r.osc1Coarse), bits(r.osc2Coarse), bits(r.osc1Fine), bits(r.osc2Fine),
        bits(r.oscMix), bits(r.osc2Phase), r.distMode, r.distWet, r.distThreshold, r.filterMode, bits(r.cutoff),
        bits(r.resonance), bits(r.envAmount), bits(r.lfoAmount), r.lfoSpeed.loadBits(), r.lfoTarget, r.lfoWave,
        r.spareA, r.spareB, r.spareC, r.spareD, bits(r.ringMod), r.attack.loadBits(), r.decay.loadBits(),
        bits(r.sustainTime), r.release.loadBits(), bits(r.sustainLevel), r.stepGate.loadBits(),
        reinterpret_cast<uintptr_t>(r.osc1Table.load()), reinterpret_cast<uintptr_t>(r.osc2Table.load()),
        bits(r.gateSamples)};
    for (const auto& word : r.delaySend) v.push_back(word);
    return v;
}

// The bytes the writer produces for these counts.
size_t savedSize(int units, int patterns, int songLength) {
    constexpr size_t kFixed = kPatternHeaderSize + 4 + 2 * kWaveLength + 2 * 16 + 4;
    constexpr size_t kPerUnit = 176;
    return kFixed + kPerUnit * units + 4 * kStepsPerPattern * units * patterns + songLength;
}

// A write-only stream that counts what it is given.
ssize_t countBytes(void* cookie, const char*, size_t n) {
    *static_cast<uint64_t*>(cookie) += n;
    return static_cast<ssize_t>(n);
}

struct Saved {
    std::vector<uint8_t> bytes;
    int result = 0;
};

Saved save(const Synth& s) {
    Saved out;
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* f = open_memstream(&buffer, &length);
    if (!f) std::abort();
    out.result = writePatternStream(s, f);
    std::fclose(f);
    out.bytes.assign(buffer, buffer + length);
    std::free(buffer);
    return out;
}

int load(Synth& s, const uint8_t* data, size_t size, PatternReadStatus* status) {
    // fmemopen wants a buffer of its own, and one even for no data.
    std::vector<uint8_t> copy(data, data + size);
    copy.push_back(0);
    std::FILE* f = fmemopen(copy.data(), size, "rb");
    if (!f) std::abort();
    const int result = readPatternStream(s, f, status);
    std::fclose(f);
    return result;
}

#define CHECK(condition, message) \
    do {                          \
        if (!(condition)) return message; \
    } while (false)

std::string checkLoad(const Synth& s, const Store& before, const std::vector<int16_t>& userBefore,
                      const std::vector<int16_t>& wavesBefore, bool refused) {
    const Store& st = s.store;
    const EngineSettings& g = st.settings;
    if (refused) {
        for (int u = 0; u < kUnitSlots; ++u) {
            CHECK(unitValues(st.units[u], false) == unitValues(before.units[u], false),
                  "a refused file changed a unit");
            CHECK(unitValues(st.units[u], true) == unitValues(before.units[u], true), "a refused file changed a unit");
        }
        for (int i = 0; i < kWaveLength; ++i)
            CHECK(s.tables.userTable[i] == userBefore[i], "a refused file changed the user wave");
        CHECK(st.unitCount == before.unitCount && g.tempoBpm == before.settings.tempoBpm &&
                  g.masterVolume == before.settings.masterVolume && g.delaySendOut == before.settings.delaySendOut,
              "a refused file changed the settings");
    }
    const int n = st.unitCount;
    const int patterns = g.patternCount;
    const int songLength = g.songLength;
    CHECK(n >= 1 && n <= kUnitSlots, "unitCount outside 1..8");
    CHECK(patterns >= 0 && patterns <= kPatternsPerUnit, "patternCount outside 0..64");
    CHECK(songLength >= 0 && songLength <= kSongEntries, "songLength outside 0..512");

    // Nothing beyond the units, patterns and song entries in use changes,
    // except the optional blocks' fixed values in every slot.
    for (int u = n; u < kUnitSlots; ++u) {
        CHECK(unitValues(st.units[u], false) == unitValues(before.units[u], false), "a slot beyond unitCount changed");
        const std::vector<uint64_t> optional = unitValues(st.units[u], true);
        const std::vector<uint64_t> old = unitValues(before.units[u], true);
        const std::vector<uint64_t> fixed = {0, 0, 0, 0, 128};
        for (size_t i = 0; i < optional.size(); ++i)
            CHECK(optional[i] == old[i] || optional[i] == fixed[i], "a slot beyond unitCount changed");
        for (int v = 0; v < kUnitSlots; ++v)
            CHECK(st.unitLinks[u][v] == before.unitLinks[u][v], "the links of a slot beyond unitCount changed");
    }
    for (int i = 0; i < kUnitSlots * kStepsPerSlot; ++i) {
        if (i / kStepsPerSlot < n && i % kStepsPerSlot < patterns * kStepsPerPattern) continue;
        CHECK(st.stepPitch[i] == before.stepPitch[i] && st.stepNoteOn[i] == before.stepNoteOn[i] &&
                  st.stepSlide[i] == before.stepSlide[i] && st.stepSpare[i] == before.stepSpare[i],
              "a step beyond the patterns in use changed");
    }
    for (int i = songLength; i < kSongEntries; ++i)
        CHECK(g.songSequence[i] == before.settings.songSequence[i], "a song entry beyond songLength changed");
    CHECK(g.samplesPerStep == before.settings.samplesPerStep && st.currentUnit == before.currentUnit &&
              st.settingsSource == before.settingsSource,
          "a field no file holds changed");
    CHECK(g.currentPattern == 0, "a loaded file does not start with its first pattern selected");
    CHECK(g.swing >= 0 && g.swing <= 100 && (g.songMode == 0 || g.songMode == 1), "swing or song mode out of range");

    // The tables beside the user wave stay as built.
    const Tables& t = s.tables;
    std::vector<int16_t> waves;
    for (const WaveTable* w : {&t.sawTable, &t.squareTable, &t.sineTable, &t.saw303Table})
        for (const WaveSample& v : *w) waves.push_back(v);
    CHECK(waves == wavesBefore, "a wave table other than the user wave changed");
    const Tables& curves = distortionCurves();
    CHECK(std::memcmp(t.distCurvesA, curves.distCurvesA, sizeof t.distCurvesA) == 0 &&
              std::memcmp(t.distCurvesB, curves.distCurvesB, sizeof t.distCurvesB) == 0,
          "a distortion curve changed");
    return "";
}

// One pass: a pattern, or in song mode every position once.
uint64_t expectedPassFrames(const Synth& s) {
    const uint64_t positions = s.store.settings.songMode != 0 ? static_cast<uint64_t>(playedSongLength(s.store.settings)) : 1;
    return positions * 16 * static_cast<uint64_t>(s.store.settings.samplesPerStep);
}

std::string checkPass(Synth& s) {
    uint64_t written = 0;
    std::FILE* sink = fopencookie(&written, "w", cookie_io_functions_t{nullptr, countBytes, nullptr, nullptr});
    if (!sink) std::abort();
    const int streamed = streamToDisk(s, sink);
    std::fclose(sink);
    CHECK(streamed == 1, "streamToDisk reported a failed write");
    CHECK(written == (expectedPassFrames(s) - 1) * 4, "the pass has the wrong length");
    const int32_t m = s.engine.passEndFrame;
    CHECK(m >= 0 && m < 512 && s.engine.currentStep == 0 && s.engine.stepTick == 511 - m,
          "the clock is not where the pass left it");
    return "";
}

std::string run(const uint8_t* data, size_t size, bool render) {
    auto s = startedSynth();
    const auto before = std::make_unique<Store>(s->store);
    std::vector<int16_t> userBefore, wavesBefore;
    for (const WaveSample& v : s->tables.userTable) userBefore.push_back(v);
    for (const WaveTable* w :
         {&s->tables.sawTable, &s->tables.squareTable, &s->tables.sineTable, &s->tables.saw303Table})
        for (const WaveSample& v : *w) wavesBefore.push_back(v);

    // The load.
    static constexpr char kVersion[6] = {'V', '1', '.', '0', 'A', '\0'};
    const bool versioned = size >= sizeof kVersion && std::memcmp(data, kVersion, sizeof kVersion) == 0;
    const bool refused = versioned && size < kPatternHeaderSize;
    PatternReadStatus status{};
    const int result = load(*s, data, size, &status);
    CHECK(result == (refused ? 0 : 1), "the reader's result does not fit the file");
    CHECK(status == (refused    ? PatternReadStatus::kShortHeader
                     : versioned ? PatternReadStatus::kCurrentLayout
                                 : PatternReadStatus::kOldLayout),
          "the reader's status does not fit the file");
    const std::string problem = checkLoad(*s, *before, userBefore, wavesBefore, refused);
    if (!problem.empty()) return problem;

    // One pass.
    refreshAfterLoad(*s);
    // A song of hundreds of positions lasts minutes: its pass is left to
    // the song tests.
    if (render && expectedPassFrames(*s) <= 4 * 1024 * 1024) {
        const std::string passProblem = checkPass(*s);
        if (!passProblem.empty()) return passProblem;
    }

    // Saved and loaded again, it saves to the same file.
    const Saved first = save(*s);
    CHECK(first.result == 1, "the writer reported a failure");
    CHECK(first.bytes.size() ==
              savedSize(s->store.unitCount, patternsToSave(s->store), s->store.settings.songLength),
          "the saved file has the wrong size");
    auto again = startedSynth();
    CHECK(load(*again, first.bytes.data(), first.bytes.size(), &status) == 1 &&
              status == PatternReadStatus::kCurrentLayout,
          "the saved file does not load");
    const Saved second = save(*again);
    CHECK(second.bytes == first.bytes, "the saved file loads to a different state");
    return "";
}

#undef CHECK

}  // namespace

std::string runPatternInput(const uint8_t* data, size_t size, bool render) { return run(data, size, render); }

}  // namespace velmor::fuzz
