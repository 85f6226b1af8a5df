// MIDI files: the exporter's bytes for a known pattern, swing and slides in
// ticks; the importer on format 0 and 1, several divisions, SMPTE time and
// tempo maps, its quantisation, collisions, ties and report; damaged files,
// which change nothing and say where they are damaged; and the round trip
// over the demo files and random songs.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "files/midi_export.h"
#include "files/midi_import.h"
#include "files/midi_timeline.h"
#include "files/pattern_file.h"
#include "model/song.h"
#include "support/played_steps.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using Bytes = std::vector<uint8_t>;

// A file of the given track bodies; `tracks` -1 announces as many as given.
Bytes smf(int format, uint16_t division, const std::vector<Bytes>& bodies, int tracks = -1) {
    if (tracks < 0) tracks = static_cast<int>(bodies.size());
    Bytes b = {'M',
               'T',
               'h',
               'd',
               0,
               0,
               0,
               6,
               0,
               static_cast<uint8_t>(format),
               0,
               static_cast<uint8_t>(tracks),
               static_cast<uint8_t>(division >> 8),
               static_cast<uint8_t>(division)};
    for (const Bytes& body : bodies) {
        const size_t n = body.size();
        b.insert(b.end(), {'M', 'T', 'r', 'k', 0, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        b.insert(b.end(), body.begin(), body.end());
    }
    return b;
}
const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using testing::played, testing::steps;

int importBytes(Synth& s, const Bytes& b, std::string& message) { return importMidiBytes(s, b.data(), b.size(), message); }

// Pattern 1 of unit 0 from tokens like those of `steps`.
void setSteps(Synth& s, const std::vector<std::string>& tokens) {
    Document& d = s.score.doc;
    for (int k = 0; k < kStepsPerPattern; ++k) {
        const std::string& t = tokens[static_cast<size_t>(k)];
        const int at = stepIndex(0, 0, k);
        d.stepNoteOn[at] = t != "-", d.stepPitch[at] = static_cast<int8_t>(t == "-" ? 15 : std::stoi(t));
        d.stepSlide[at] = t.find('s') != std::string::npos, d.stepSpare[at] = t.find('a') != std::string::npos;
    }
    publish(s);
}

// Legato into another key, a gate, a rest, a slide into the same key, a
// slide into a rest, a slide past the end of the pass.
const std::vector<std::string> kKnownSteps = {"3sa", "5", "-", "5s", "5", "10s", "-", "-", "-", "-", "-", "-", "-", "-", "-", "51s"};

TEST(MidiExport, WritesTheTempoTrackAndOneTrackPerUnitByteForByte) {
    auto s = testing::startedSynth();
    setParameter(*s, 0, Param::kTempo, 120), setSteps(*s, kKnownSteps);
    const Bytes tempoTrack = {0x00, 0xFF, 0x03, 6,    'V',  'e',  'l', 'm',  'o',  'r',  0x00, 0xFF, 0x58, 4,    4,
                              2,    24,   8,    0x00, 0xFF, 0x51, 3,   0x07, 0xA1, 0x20, 0x83, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes unitTrack = {0x00, 0xFF, 0x03, 9,    'V',  'e', 'l',  'm',  'o',  'r', ' ', '#',  '1',  0x00, 0xFF, 0x20, 1,    0,    0x00, 0x90,
                             24,   127,  // running status from here while the status repeats
                             24,   26,   100,  1,    0x80, 24,  64,   22,   26,   64,  25,  0x90, 26,   100,  48,   0x80, 26,   64,   0,    0x90,
                             31,   100,  34,   0x80, 31,   64,  0x81, 0x4E, 0x90, 72,  100, 34,   0x80, 72,   64,   0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(exportMidiBytes(s->score), smf(1, 96, {tempoTrack, unitTrack}));
}

TEST(MidiExport, SwungStepsStartAndEndAtTheNearestTick) {
    auto s = testing::startedSynth();
    setParameter(*s, 0, Param::kTempo, 120);  // 5512 frames a step, the gate 5236
    setParameter(*s, 0, Param::kSwing, 37);   // d = 679: steps of 6191 and 4833 frames
    setSteps(*s, {"3", "3", "3", "3", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"});
    const auto times = [&] {
        const MidiFileOut out = midiFromScore(s->score);
        std::vector<int64_t> all;
        for (const MidiNote& n : out.tracks.at(0).notes) all.insert(all.end(), {n.start, n.end});
        return all;
    };
    // Starts at frames 0, 6191, 11024, 17215; gates of 5881 and 4591 frames.
    EXPECT_EQ(times(), (std::vector<int64_t>{0, 26, 27, 47, 48, 74, 75, 95}));
    // A gate of 0 still sounds one tick; Step Gate 100 lasts to the next step.
    setParameter(*s, 0, Param::kStepGate, 0);
    EXPECT_EQ(times(), (std::vector<int64_t>{0, 1, 27, 28, 48, 49, 75, 76}));
    setParameter(*s, 0, Param::kStepGate, 100);
    EXPECT_EQ(times(), (std::vector<int64_t>{0, 27, 27, 48, 48, 75, 75, 96}));
}

TEST(MidiImport, ReadsBothFormatsAnyDivisionAndTheTempoMap) {
    std::string message;
    // Format 0 at 480 ticks a quarter: running status, note-ons of velocity
    // 0 as note-offs, a note held over two steps, a start half a step late.
    auto s = testing::startedSynth();
    ASSERT_EQ(
        importBytes(
            *s, smf(0, 480, {Bytes{0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0x90, 60, 110, 0x81, 0x70, 60, 0, 60, 62, 100, 100, 0x80, 62, 64} + kEnd}),
            message),
        1)
        << message;
    EXPECT_EQ(steps(*s, 0, 0), "39sa 39 - 41 - - - - - - - - - - - -");
    EXPECT_EQ(s->score.doc.settings.tempoBpm, 120);

    // Format 1 at 1000 ticks: the tempo doubles at the second position;
    // channel 2 goes to a second unit.
    const Bytes tempo = Bytes{0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0x9F, 0x20, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90} + kEnd;
    const Bytes notes =
        Bytes{0x9D, 0x26, 0x91, 48, 100, 0x81, 0x7A, 0x81, 48, 64, 0x7D, 0x91, 50, 100, 0x81, 0x7A, 52, 100, 5, 0x81, 50, 64, 120, 52, 64} + kEnd;
    ASSERT_EQ(importBytes(*s, smf(1, 1000, {tempo, notes}), message), 1) << message;
    EXPECT_EQ(steps(*s, 1, 0) + ", " + steps(*s, 1, 1) + ", " + steps(*s, 0, 1),
              "- - - - - - - - - - - - - - - 27, 29s 31 - - - - - - - - - - - - - -, - - - - - - - - - - - - - - - -");
    const EngineSettings& g = s->score.doc.settings;
    EXPECT_EQ((std::vector<int>{s->score.doc.unitCount, g.songLength, g.songMode}), (std::vector<int>{2, 2, 1}));
    EXPECT_EQ(s->score.doc.unitLinks[1][1], 1) << "the new unit is linked to itself, as a unit added by hand";

    // SMPTE time, 25 frames of 40 ticks: a step at the first tempo, 60 BPM,
    // is 250 ticks.
    auto t = testing::startedSynth();
    ASSERT_EQ(
        importBytes(*t, smf(0, 0xE728, {Bytes{0, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0x85, 0x6E, 0x90, 72, 100, 50, 0x80, 72, 64} + kEnd}), message), 1)
        << message;
    EXPECT_EQ(steps(*t, 0, 0), "- - - 51 - - - - - - - - - - - -");
    EXPECT_EQ(t->score.doc.settings.tempoBpm, 60);
    // A note never ended lasts to the end of its track.
    ASSERT_EQ(importBytes(*t, smf(0, 96, {Bytes{0, 0x90, 60, 100, 48, 0xFF, 0x2F, 0}}), message), 1) << message;
    EXPECT_EQ(steps(*t, 0, 0), "39s 39 - - - - - - - - - - - - - -");
}

TEST(MidiTimeline, TheTempoMapPlacesEveryEventAtTheNearestFrame) {
    // 96 ticks a quarter note: 120 BPM, then 150 BPM from tick 192 (one
    // second in); a note-off and a note-on of one frame go off first.
    MidiFileIn f;
    f.ticksPerQuarter = 96, f.endTick = 300;
    f.tempos = {{0, 500000}, {192, 400000}};
    f.notes = {{96, 144, 0, 45, 100}, {144, 241, 1, 50, 120}};
    const MidiTimeline t = timelineOf(f);
    std::vector<std::vector<int64_t>> got;
    for (const TimedCommand& m : t.messages) got.push_back({m.frame, m.command.bytes[0], m.command.bytes[1]});
    EXPECT_EQ(got, (std::vector<std::vector<int64_t>>{{22050, 0x90, 45}, {33075, 0x80, 45}, {33075, 0x91, 50}, {53104, 0x81, 50}}));
    ASSERT_EQ(t.tempos.size(), 2u);
    EXPECT_TRUE(t.tempos[0].beatsPerMinute == 120 && t.tempos[1].frame == 44100 && t.tempos[1].beatsPerMinute == 150);
    EXPECT_EQ(t.endFrame, 63945);
}

TEST(MidiImport, QuantisesMergesTiesAndReports) {
    auto s = testing::startedSynth();
    setParameter(*s, 0, Param::kCutoff, 33);
    const UnitRecord unit0 = s->score.doc.units[0];
    // At 96 ticks a quarter: two notes in step 0 (the later, lower one
    // wins), two starting together in step 2 (the higher wins), legato by
    // one tick, a note held to 10 ticks into step 10, a low key, a note on
    // channel 5 and a track naming channel 3.
    const Bytes body =
        Bytes{0,    0xFF, 0x20, 1,    2,    0,   0x90, 64, 100,  2,  60,   90, 8,    0x80, 64, 64,  10,   60,   64,  28, 0x90, 55, 100, 0,
              57,   127,  12,   0x80, 55,   64,  0,    57, 64,   36, 0x90, 40, 101,  24,   41, 100, 1,    0x80, 40,  64, 9,    41, 64,  38,
              0x90, 100,  100,  82,   0x80, 100, 64,   14, 0x90, 10, 100,  6,  0x80, 10,   64, 0,   0x94, 60,   100, 1,  0x84, 60, 64} +
        kEnd;
    std::string message;
    ASSERT_EQ(importBytes(*s, smf(0, 96, {body}), message), 1) << message;
    EXPECT_EQ(steps(*s, 0, 0), "39 - 36a - 19sa 20 - 43s 43s 43s - 13 - - - -");
    EXPECT_EQ(message,
              "1 song position (1 pattern) at 120 BPM in 3 units: 6 notes placed, 2 merged (a later or higher note "
              "of their channel starts in the same step), 1 dropped (1 on channels 5 to 16, which have no unit).");
    EXPECT_EQ(s->score.doc.units[0].cutoff, unit0.cutoff) << "a unit in use keeps its sound";
    EXPECT_EQ(s->score.doc.units[2].volume, unit0.volume) << "an added unit gets the start-up settings";
    EXPECT_EQ(steps(*s, 2, 0), "- - - - - - - - - - - - - - - -");

    // Positions alike share a pattern; the patterns are numbered by first
    // appearance. Notes past the 512th position are dropped; the song lasts
    // as long as the file, up to 512 positions.
    Bytes many = {0, 0x90, 60, 100, 1, 0x80, 60, 64};
    for (int position = 1; position < 4; ++position)
        for (const uint8_t key : {position == 2 ? 62 : 60}) many = many + Bytes{0x82, 0x7F, 0x90, key, 100, 1, 0x80, key, 64};
    many = many + Bytes{0x8C, 0x80, 0x00, 0x90, 60, 100, 1, 0x80, 60, 64};  // 512 positions later
    ASSERT_EQ(importBytes(*s, smf(0, 96, {many + kEnd}), message), 1) << message;
    const EngineSettings& g = s->score.doc.settings;
    EXPECT_EQ((std::vector<int>{g.songLength, g.patternCount, g.songSequence[0], g.songSequence[1], g.songSequence[2], g.songSequence[3],
                                g.songSequence[4], g.songSequence[5]}),
              (std::vector<int>{512, 3, 0, 0, 1, 0, 2, 2}));
    EXPECT_NE(message.find("1 after the 512th song position"), std::string::npos) << message;
}

TEST(MidiImport, ADamagedFileChangesNothingAndSaysWhere) {
    const Bytes note = {0, 0x90, 60, 100, 10, 0x80, 60, 64}, oneTrack = smf(0, 96, {kEnd});
    // clang-format off
    const struct { Bytes file; const char* says; } cases[] = {
        {{'R', 'I', 'F', 'F', 0, 0, 0, 0}, "byte 0: not a MIDI file"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "byte 4: the chunk claims 6 bytes, but 1 follow"},
        {smf(2, 96, {kEnd}), "byte 8: format 2"},
        {smf(1, 96, {kEnd}, 2), "byte 26: the file ends after 1 of the 2 tracks"},
        {smf(1, 96, {kEnd, kEnd}, 1), "byte 26 (track 2): a track beyond the 1"},
        {Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF},
         "byte 18 (track 1): the chunk claims 4294967295 bytes, but 0 follow"},
        {Bytes(oneTrack.begin(), oneTrack.end() - 1), "byte 18 (track 1): the chunk claims 4 bytes, but 3 follow"},
        {smf(0, 96, {note}), "byte 30 (track 1): the track ends without an end-of-track event"},
        {smf(0, 96, {kEnd + note}), "byte 26 (track 1): data after the end-of-track event"},
        {smf(0, 96, {Bytes{0, 60, 100} + kEnd}), "byte 23 (track 1): data byte 0x3C where an event should begin"},
        {smf(0, 96, {Bytes{0, 0x90, 60, 0x80} + kEnd}), "byte 25 (track 1): byte 0x80 inside a channel event"},
        {smf(0, 96, {Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x7F} + kEnd}), "byte 22 (track 1): a delta time longer than 4 bytes"},
        {smf(0, 96, {Bytes{0, 0xFF, 0x51, 2, 7, 0xA1} + kEnd}), "byte 26 (track 1): a tempo event of 2 bytes"},
        {smf(0, 96, {Bytes{0, 0xFF, 0x01, 0x7F, 'x'} + kEnd}), "byte 26 (track 1): a meta event of 127 bytes, but the track has 5 left"}
    };
    // clang-format on
    auto s = testing::startedSynth();
    setSteps(*s, kKnownSteps);
    const auto before = std::make_unique<Score>(s->score);
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(importBytes(*s, c.file, message), 0) << c.says;
        EXPECT_EQ(message.rfind(c.says, 0), 0u) << message;
        EXPECT_EQ(std::memcmp(&s->score, before.get(), sizeof(Score)), 0) << c.says;
    }
}

// The notes of a file as a reader finds them, without their ends.
std::vector<int64_t> starts(const Bytes& file) {
    MidiFileIn in;
    std::string error;
    std::vector<int64_t> all;
    EXPECT_TRUE(readMidiBytes(file.data(), file.size(), in, error)) << error;
    for (const MidiNote& n : in.notes) all.insert(all.end(), {n.channel, n.start, n.key, n.velocity});
    return all;
}

// Export, then import in the same program: the same notes at the same
// positions of the same units, and exported again, the same note starts.
void roundTrip(Synth& s, const std::string& what) {
    const std::string want = played(s, false);
    const Bytes file = exportMidiBytes(s.score);
    std::string message;
    ASSERT_EQ(importBytes(s, file, message), 1) << what << ": " << message;
    EXPECT_EQ(played(s, true), want) << what;
    EXPECT_EQ(starts(exportMidiBytes(s.score)), starts(file)) << what;
}

TEST(MidiRoundTrip, DemoFilesAndRandomSongsComeBackStepForStep) {
    for (const auto& entry : std::filesystem::directory_iterator(VELMOR_DEMO_DIR)) {
        auto s = testing::startedSynth();
        ASSERT_EQ(loadPatternFile(*s, entry.path().string().c_str()), 1);
        roundTrip(*s, entry.path().filename().string());
    }
    std::mt19937 rng(7);
    const auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto s = testing::startedSynth();
    for (int song = 0; song < 300; ++song) {
        const int units = 1 + below(4), patterns = 1 + below(6);
        s->score.doc.unitCount = units;
        for (int u = 0; u < units; ++u) setParameter(*s, u, Param::kStepGate, below(101));
        setParameter(*s, 0, Param::kSwing, below(2) ? 0 : below(101));
        setParameter(*s, 0, Param::kTempo, 60 + below(121));
        Document& d = s->score.doc;
        for (int u = 0; u < units; ++u)
            for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
                const int at = stepIndex(u, 0, i);
                d.stepPitch[at] = static_cast<int8_t>(i > 0 && below(4) == 0 ? d.stepPitch[at - 1] : 3 + below(49));
                d.stepNoteOn[at] = below(3) != 0, d.stepSlide[at] = below(3) == 0, d.stepSpare[at] = below(4) == 0;
            }
        d.settings.patternCount = patterns, d.settings.songMode = static_cast<uint8_t>(below(2)), d.settings.songLength = 1 + below(10);
        for (int i = 0; i < d.settings.songLength; ++i) d.settings.songSequence[i] = static_cast<uint8_t>(below(patterns));
        selectPattern(*s, below(patterns));
        roundTrip(*s, "random song " + std::to_string(song));
    }
}

}  // namespace
}  // namespace velmor
