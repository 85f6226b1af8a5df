// Pattern files against the layout as this file describes it, row by row:
// the writer's bytes, round trips bit for bit, blocks marked absent, counts
// out of range, odd user-wave lengths, files cut short at every row, the
// older layout, and the file-name rules. A load is compared with the state
// expected over every stored field of all eight slots, so that a value
// landing in the wrong place, or a write where the file has no business,
// shows up.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>

#include "files/file_names.h"
#include "files/pattern_file.h"
#include "model/unit_fields.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// One row of the layout: `count` values of `width` bytes. `at` gives the
// field a value is read into, or null for a value that lands nowhere (it is
// then `constant` + its index).
struct Row {
    int width, count;
    std::function<void*(Synth&, int)> at;
    uint64_t constant = 0;
};

uint64_t get(Synth& s, const Row& row, int i) {
    uint64_t v = row.constant + static_cast<uint64_t>(i);
    if (void* p = row.at(s, i)) v = 0, std::memcpy(&v, p, static_cast<size_t>(row.width));
    return v;
}
void set(Synth& s, const Row& row, int i, uint64_t v) {
    if (void* p = row.at(s, i)) std::memcpy(p, &v, static_cast<size_t>(row.width));
}

#define UNIT(field, w)                                                             \
    Row {                                                                          \
        w, n, [](Synth& s, int u) -> void* { return &s.score.doc.units[u].field; } \
    }

// The body of the current layout for n units, P patterns, a song of L
// entries, the optional blocks of `present` and a user wave of W samples.
std::vector<Row> layout(int n, int patterns, int songLength, uint16_t present = kAllFieldsPresent, int32_t w = kWaveLength) {
    const auto plane = [=](auto Document::*member) {
        return Row{1, kStepsPerPattern * patterns * n, [=](Synth& s, int i) -> void* {
                       const int per = kStepsPerPattern * patterns;
                       return &(s.score.doc.*member)[stepIndex(i / per, 0, i % per)];
                   }};
    };
    // clang-format off
    std::vector<Row> rows = {
        {1, 8 * n, [](Synth& s, int i) -> void* { return &s.score.doc.unitLinks[i / 8][i % 8]; }},
        UNIT(osc1Wave, 2), UNIT(osc2Wave, 2), UNIT(osc1Coarse, 4), UNIT(osc2Coarse, 4), UNIT(osc1Fine, 4),
        UNIT(osc2Fine, 4), UNIT(oscMix, 4), UNIT(osc2Phase, 4),
        {4, 1, [](Synth&, int) -> void* { return nullptr; }, static_cast<uint32_t>(w)},
        {2, w < 0 ? 0 : w, [](Synth& s, int i) -> void* { return i < kWaveLength ? &s.score.doc.userWave[i] : nullptr; },
         0xBEE0},
        {4, 8, [](Synth& s, int i) -> void* {
             // Each block's first word is twice unit 0's send, read into nothing.
             static uint32_t sendOut;
             sendOut = 2 * s.score.doc.units[0].delaySend[0];
             EngineSettings& g = s.score.doc.settings;
             void* block[] = {&sendOut, &g.delayPan, &g.delayFeedback, &g.delaySteps};
             // clang-format on
             return block[i % 4];
         }},
        {4, 8 * n, [](Synth& s, int i) -> void* { return &s.score.doc.units[i / 8].delaySend[i % 8]; }},
        UNIT(distMode, 2),
        UNIT(distWet, 2),
        UNIT(distThreshold, 2),
        UNIT(filterMode, 2),
        UNIT(cutoff, 4),
        UNIT(resonance, 4),
        UNIT(envAmount, 4),
        UNIT(lfoAmount, 4),
        UNIT(lfoSpeed, 8),
        UNIT(lfoTarget, 2),
        UNIT(lfoWave, 2),
        UNIT(spareA, 4),
        UNIT(spareB, 8),
        UNIT(midiChannel, 2),
        UNIT(spareD, 2),
        UNIT(ringMod, 4)};
    if (present & kHasFmAmount) rows.push_back(UNIT(fmAmount, 4));
    if (present & kHasOscSync) rows.push_back(UNIT(oscSync, 4));
    if (present & kHasPulseWidth) rows.insert(rows.end(), {UNIT(pulseWidth, 4), UNIT(accentOffset, 4)});
    rows.insert(rows.end(), {UNIT(attack, 8), UNIT(decay, 4), UNIT(sustainTime, 4), UNIT(release, 8), UNIT(sustainLevel, 4), UNIT(stepGate, 4)});
    if (present & kHasVolume) rows.push_back(UNIT(volume, 4));
    rows.push_back({4, 1, [](Synth& s, int) -> void* { return &s.score.doc.settings.tempoBpm; }});
    rows.insert(rows.end(), {plane(&Document::stepPitch), plane(&Document::stepNoteOn), plane(&Document::stepSlide), plane(&Document::stepSpare)});
    rows.push_back({1, songLength, [](Synth& s, int i) -> void* { return &s.score.doc.settings.songSequence[i]; }});
    return rows;
}
#undef UNIT

struct Header {
    uint16_t present;
    int16_t master, units, patterns, song;
};

// The file image of `s` in the given layout.
std::vector<uint8_t> image(Synth& s, const Header& h, const std::vector<Row>& rows) {
    std::vector<uint8_t> b = {'V', '1', '.', '0', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (const uint16_t v : {h.present, static_cast<uint16_t>(h.master), static_cast<uint16_t>(h.units), static_cast<uint16_t>(h.patterns),
                             static_cast<uint16_t>(h.song), uint16_t{0}, uint16_t{0}})
        b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    for (const Row& row : rows)
        for (int i = 0; i < row.count; ++i)
            for (int k = 0; k < row.width; ++k) b.push_back(static_cast<uint8_t>(get(s, row, i) >> (8 * k)));
    return b;
}

// Every stored value of all eight slots, the counts and the master volume.
std::vector<uint64_t> everything(Synth& s) {
    std::vector<uint64_t> all = {static_cast<uint64_t>(s.score.doc.unitCount), static_cast<uint64_t>(s.score.doc.settings.patternCount),
                                 static_cast<uint64_t>(s.score.doc.settings.songLength), static_cast<uint64_t>(s.score.doc.settings.masterVolume)};
    for (const Row& row : layout(kUnitSlots, kPatternsPerUnit, kSongEntries))
        for (int i = 0; i < row.count; ++i) all.push_back(get(s, row, i));
    return all;
}

// A state with a distinct value in every stored field (NaNs with payloads
// among the floating-point ones) and counts of its own.
std::unique_ptr<Synth> filled(uint64_t seed, int units = 3, int patterns = 5, int song = 9) {
    auto s = makeSynth();
    uint64_t x = seed * 0x9E3779B97F4A7C15ull;
    for (const Row& row : layout(kUnitSlots, kPatternsPerUnit, kSongEntries))
        for (int i = 0; i < row.count; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            set(*s, row, i, x);
        }
    s->score.doc.units[0].decay.storeBits(0x7F800001u + static_cast<uint32_t>(seed));  // signalling NaN
    s->score.doc.units[1].attack.storeBits(0xFFF8DEADBEEF0000ull + seed);
    s->score.doc.unitCount = units;
    s->score.doc.settings.patternCount = patterns, s->score.doc.settings.songLength = song;
    s->score.doc.settings.masterVolume = static_cast<int16_t>(seed * 977);
    // The song names only patterns that the count covers: a save raises the
    // count to cover the song.
    for (auto& entry : s->score.doc.settings.songSequence) entry = static_cast<uint8_t>(entry % std::max(patterns, 1));
    return s;
}

// What a load of the first `length` bytes of `src`'s image gives a state:
// the counts and master volume of the header, then every value whole within
// `length`, then the fixed values of the blocks the header marks absent.
void applyLoad(Synth& to, Synth& src, const Header& h, const std::vector<Row>& rows, size_t length) {
    to.score.doc.unitCount = std::clamp<int>(h.units, 1, kUnitSlots);
    to.score.doc.settings.patternCount = std::clamp<int>(h.patterns, 0, kPatternsPerUnit);
    to.score.doc.settings.songLength = std::clamp<int>(h.song, 0, kSongEntries);
    to.score.doc.settings.masterVolume = h.master;
    size_t end = kPatternHeaderSize;
    for (const Row& row : rows)
        for (int i = 0; i < row.count; ++i)
            if ((end += static_cast<size_t>(row.width)) <= length) set(to, row, i, get(src, row, i));
    for (UnitRecord& r : to.score.doc.units) {
        if (!(h.present & kHasFmAmount)) r.fmAmount = 0;
        if (!(h.present & kHasOscSync)) r.oscSync = 0;
        if (!(h.present & kHasPulseWidth)) r.pulseWidth = 0, r.accentOffset = 0;
        if (!(h.present & kHasVolume)) r.volume = 128;
    }
}

int readBytes(Synth& s, const std::vector<uint8_t>& bytes, size_t length, PatternReadStatus* status) {
    return testing::readBytes(bytes, length, [&](std::FILE* f) { return readPatternStream(f, s.score.doc, status); });
}

// The index of the first value that differs, or -1.
long firstDifference(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
    const auto d = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return d.first == a.end() && d.second == b.end() ? -1 : d.first - a.begin();
}

TEST(PatternFile, WriterFollowsTheLayoutAndRoundTripsKeepEveryField) {
    const std::string path = testing::tempPath("writer.pat");
    const struct {
        int units, patterns, song, written;
    } counts[] = {{1, 1, 1, 1}, {4, 3, 7, 4}, {8, 64, 512, 8}, {2, 0, 0, 2}, {0, 1, 1, 1}, {-3, 1, 1, 1}, {9, 1, 1, 8}};
    for (const auto& c : counts) {
        SCOPED_TRACE(::testing::Message() << c.units << " units, " << c.patterns << " patterns, song " << c.song);
        auto src = filled(c.units + 10, c.units, c.patterns, c.song);
        ASSERT_EQ(writePatternFile(src->score.doc, path.c_str()), 1);
        const Header h{kAllFieldsPresent, static_cast<int16_t>(src->score.doc.settings.masterVolume), static_cast<int16_t>(c.written),
                       static_cast<int16_t>(c.patterns), static_cast<int16_t>(c.song)};
        const std::vector<uint8_t> bytes = testing::fileBytes(path);
        ASSERT_EQ(bytes, image(*src, h, layout(c.written, c.patterns, c.song)));
        // Loaded into another state, every stored field comes back and the
        // slots, patterns and song entries beyond the counts stay; saved
        // again, it is the same file.
        auto loaded = filled(2), expected = filled(2);
        PatternReadStatus status{};
        EXPECT_TRUE(readBytes(*loaded, bytes, bytes.size(), &status) == 1 && status == PatternReadStatus::kCurrentLayout);
        applyLoad(*expected, *src, h, layout(c.written, c.patterns, c.song), SIZE_MAX);
        EXPECT_EQ(firstDifference(everything(*loaded), everything(*expected)), -1);
        ASSERT_EQ(writePatternFile(loaded->score.doc, path.c_str()), 1);
        EXPECT_EQ(testing::fileBytes(path), bytes);
    }
    std::remove(path.c_str());
}

TEST(PatternFile, ReaderTakesAbsentBlocksOddCountsAndUserWaveLengths) {
    auto src = filled(3);
    struct Case {
        Header h;
        int32_t w;
    };
    std::vector<Case> cases;
    for (uint16_t present = 0; present < 16; ++present) cases.push_back({{present, -5, 2, 2, 3}, kWaveLength});
    const Case odd[] = {{{15, 1, 0, 65, 513}, 0}, {{15, 1, -5, -3, -1}, 100}, {{15, 1, 9, 1, 1}, -1}, {{15, 1, 2, 1, 1}, 5000}};
    cases.insert(cases.end(), std::begin(odd), std::end(odd));
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "present " << c.h.present << ", " << c.h.units << " units, " << c.h.patterns << " patterns, song "
                                          << c.h.song << ", W " << c.w);
        const auto rows =
            layout(std::clamp<int>(c.h.units, 1, 8), std::clamp<int>(c.h.patterns, 0, 64), std::clamp<int>(c.h.song, 0, 512), c.h.present, c.w);
        const auto bytes = image(*src, c.h, rows);
        auto loaded = filled(4), expected = filled(4);
        PatternReadStatus status{};
        EXPECT_TRUE(readBytes(*loaded, bytes, bytes.size(), &status) == 1 && status == PatternReadStatus::kCurrentLayout);
        applyLoad(*expected, *src, c.h, rows, SIZE_MAX);
        ASSERT_EQ(firstDifference(everything(*loaded), everything(*expected)), -1);
    }
}

TEST(PatternFile, FileCutShortFillsFieldsAsFarAsTheDataReaches) {
    auto src = filled(5, 8, 64, 512);
    const Header h{kAllFieldsPresent, 77, 8, 64, 512};
    const auto rows = layout(8, 64, 512);
    const std::vector<uint8_t> bytes = image(*src, h, rows);
    // Cuts in the header: too short for the version text, the bytes are the
    // older layout's wave choices; with it but no counts, nothing changes.
    std::vector<size_t> cuts = {0, 3, 5, 6, 29};
    // In the body: at each row's start, inside its first value, inside its last.
    size_t start = kPatternHeaderSize;
    for (const Row& row : rows) {
        cuts.insert(cuts.end(), {start, start + 1, start + static_cast<size_t>(row.width * row.count) - 1});
        start += static_cast<size_t>(row.width * row.count);
    }
    for (const size_t length : cuts) {
        SCOPED_TRACE(::testing::Message() << "cut at " << length);
        auto loaded = filled(6), expected = filled(6);
        PatternReadStatus status{};
        const int result = readBytes(*loaded, bytes, length, &status);
        if (length >= kPatternHeaderSize) {
            EXPECT_EQ(status, PatternReadStatus::kCurrentLayout);
            applyLoad(*expected, *src, h, rows, length);
        } else if (length >= 6) {
            EXPECT_EQ(status, PatternReadStatus::kShortHeader);
        } else {
            EXPECT_EQ(status, PatternReadStatus::kOldLayout);
            if (length >= 2) expected->score.doc.units[0].osc1Wave = 'V' | '1' << 8;
            if (length >= 4) expected->score.doc.units[0].osc2Wave = '.' | '0' << 8;
        }
        EXPECT_EQ(result, status == PatternReadStatus::kShortHeader ? 0 : 1);
        ASSERT_EQ(firstDifference(everything(*loaded), everything(*expected)), -1);
    }
}

TEST(PatternFile, OlderLayoutFillsUnitZeroTheDelayAndTheTempo) {
    std::vector<uint8_t> b(212);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
    const auto put = [&](size_t at, uint64_t v, int width) {
        for (int k = 0; k < width; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    const auto word = [&](size_t at) { return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24); };
    put(20, static_cast<uint32_t>(-12345), 4);                 // the send, halved toward zero
    put(72, 0x20000001, 4);                                    // the old LFO speed, times 4 in 32 bits
    put(88, std::bit_cast<uint64_t>(0.99987654321098765), 8);  // the decay as a double
    auto s = filled(7);
    PatternReadStatus status{};
    EXPECT_TRUE(readBytes(*s, b, b.size(), &status) == 1 && status == PatternReadStatus::kOldLayout);
    const UnitRecord& r = s->score.doc.units[0];
    const EngineSettings& g = s->score.doc.settings;
    const auto half = [&](size_t at) { return b[at] | b[at + 1] << 8; };
    // clang-format off
    const int64_t fields[][2] = {
        {r.osc1Wave, half(0)},        {r.osc2Fine, word(16)},   {r.delaySend[0], 0xFFFFE7E4},
        {g.delayPan, word(24)},       {g.delaySteps, word(32)}, {r.distMode, half(36)},   {r.lfoAmount, word(56)},
        {r.lfoTarget, half(64)},      {r.spareA, static_cast<uint32_t>(word(68))},        {r.spareD, half(78)},
        {r.ringMod, word(80)},        {g.tempoBpm, word(96)}};
    // clang-format on
    for (size_t i = 0; i < std::size(fields); ++i) EXPECT_EQ(fields[i][0], fields[i][1]) << "field " << i;
    EXPECT_EQ(r.lfoSpeed, -2147483644.0);
    EXPECT_EQ(r.decay, 0.99987654321098765f);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        EXPECT_EQ(s->score.doc.stepPitch[i], static_cast<int8_t>(b[100 + 4 * i])) << "the low byte of a 32-bit pitch";
        EXPECT_EQ(std::pair(s->score.doc.stepNoteOn[i], s->score.doc.stepSpare[i]), std::pair(b[164 + i], b[196 + i])) << i;
    }
    // What the layout does not hold keeps its value.
    auto before = filled(7);
    const auto kept = [](Synth& x) {
        return std::vector<int64_t>{x.score.doc.unitCount,
                                    x.score.doc.units[1].cutoff,
                                    x.score.doc.units[0].volume,
                                    x.score.doc.settings.masterVolume,
                                    x.score.doc.unitLinks[0][1],
                                    x.score.doc.userWave[5],
                                    x.score.doc.stepPitch[stepIndex(0, 1, 0)]};
    };
    EXPECT_EQ(kept(*s), kept(*before));
}

// Failed writes are tested with the safe writer (safe_file_test.cpp).
TEST(PatternFile, AFileThatCannotBeOpenedChangesNothing) {
    auto s = filled(8);
    PatternReadStatus status{};
    EXPECT_TRUE(loadPatternFile(*s, (::testing::TempDir() + "no-such-file.pat").c_str(), &status) == 0 && status == PatternReadStatus::kCannotOpen);
    EXPECT_EQ(firstDifference(everything(*s), everything(*filled(8))), -1);
}

// Adding an extension and the plain cases of stripping the folder are tested
// with the window logic; here the ends of the buffer and the odd separators.
TEST(FileNames, AppendExtensionAndStripDirectory) {
    const std::string longest(kFileNameSize - 1 - 4, 'a');  // with ".pat" it fills the buffer exactly
    const struct {
        std::string name, result;
        int returned;
    } names[] = {{"D:\\my.patterns\\song", "D:\\my.patterns\\song", 1}, {longest, longest + ".pat", 1}, {longest + "b", longest + "b", 0}};
    for (const auto& c : names) {
        char buffer[kFileNameSize + 8];
        std::memset(buffer, 'Z', sizeof buffer);
        std::memcpy(buffer, c.name.c_str(), c.name.size() + 1);
        EXPECT_EQ(appendExtension(buffer, kFileNameSize, ".pat"), c.returned) << c.name;
        EXPECT_EQ(std::string(buffer), c.result);
        EXPECT_EQ(buffer[kFileNameSize], 'Z') << "written past the buffer";
    }
    const std::pair<const char*, const char*> paths[] = {
        {"\\bass.pat", "\\bass.pat"}, {"D:\\music\\", ""}, {"D:/music/bass.pat", "D:/music/bass.pat"}};
    for (const auto& p : paths) {
        char buffer[kFileNameSize];
        std::strcpy(buffer, p.first);
        stripDirectory(buffer);
        EXPECT_STREQ(buffer, p.second) << p.first;
    }
}

}  // namespace
}  // namespace velmor
