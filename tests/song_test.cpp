// The pattern bank and the song: which pattern plays when, the switch at
// the end of step 15 whatever the block sizes, the song's edits while it
// plays, the song in pattern files, and one pass of a song on disk.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "engine/song_clock.h"
#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::renderFrames;
using testing::startedSynth;

constexpr int kPass80 = 16 * 8268;  // one pattern at the start-up tempo

// Pattern p of unit 0 plays its own melody, with rests and slides inside
// the pattern (none on step 15, so the retrigger at step 0 is the same
// whatever played before).
void writeBank(Synth& s, int patterns) {
    for (int p = 0; p < patterns; ++p)
        for (int i = 0; i < 16; ++i) {
            const int at = stepIndex(0, p, i);
            s.store.stepPitch[at] = static_cast<int8_t>(15 + (p * 7 + i * 5) % 24);
            s.store.stepNoteOn[at] = static_cast<uint8_t>((i + p) % 4 != 3);
            s.store.stepSlide[at] = static_cast<uint8_t>(i != 15 && (i + p) % 6 == 0);
        }
}

void makeSong(Synth& s, std::vector<int> patterns) {
    s.store.settings.songLength = static_cast<int32_t>(patterns.size());
    for (size_t i = 0; i < patterns.size(); ++i) s.store.settings.songSequence[i] = static_cast<uint8_t>(patterns[i]);
    setSongMode(s, true);
    resetEngine(s);
}

std::unique_ptr<Synth> songSynth(std::vector<int> song) {
    auto s = startedSynth();
    writeBank(*s, 4);
    makeSong(*s, song);
    return s;
}

TEST(PatternMode, PlaysTheSelectedPatternAndTakesAChoiceAtThePatternsEnd) {
    auto s = startedSynth();
    writeBank(*s, 3);
    selectPattern(*s, 2);
    resetEngine(*s);
    EXPECT_EQ(s->engine.song.pattern, 2) << "Stop and Play start with the selected pattern";

    renderFrames(*s, 1000);
    selectPattern(*s, 1);
    renderFrames(*s, kPass80 - 1001, 777);
    EXPECT_EQ(s->engine.song.pattern, 2) << "the groove never breaks mid-pattern";
    s->engine.passEndFrame = 9999;
    renderFrames(*s, 1);
    EXPECT_EQ(s->engine.song.pattern, 1) << "the frame that ends step 15 switches";
    EXPECT_EQ(s->engine.song.previousPattern, 2);
    EXPECT_EQ(s->engine.passEndFrame, 0) << "in pattern mode every pattern is a pass";
    EXPECT_EQ(playingPlace(*s).position, 0);
    EXPECT_EQ(playingPlace(*s).pattern, 2);
}

TEST(SongMode, PlaysEveryPositionOnceInOrderThenStartsAgain) {
    auto s = songSynth({0, 1, 0, 2});
    const int expected[] = {0, 1, 0, 2, 0, 1};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(s->engine.song.position, k % 4);
        EXPECT_EQ(s->engine.song.pattern, expected[k]);
        EXPECT_EQ(playingPlace(*s).position, k % 4 + 1);
        s->engine.passEndFrame = 9999;
        renderFrames(*s, kPass80, 5000);
        EXPECT_EQ(s->engine.passEndFrame == 9999, k % 4 != 3) << "only the last position ends a pass";
    }
}

TEST(SongMode, SoundsLikeThePatternsChosenOneAfterAnotherInPatternMode) {
    // The same bank played twice through the song 1-2-1-3, and in pattern
    // mode with each next pattern chosen before the block that ends the
    // playing one: the two paths give the same frames.
    const std::vector<int> song = {0, 1, 0, 2};
    auto a = songSynth(song);
    auto b = startedSynth();
    writeBank(*b, 4);
    std::vector<int16_t> fromSong, fromChoices;
    for (int k = 0; k < 8; ++k) {
        const std::vector<int16_t> x = renderFrames(*a, kPass80, 4096);
        fromSong.insert(fromSong.end(), x.begin(), x.end());
        if (k == 0) {
            selectPattern(*b, song[0]);
            resetEngine(*b);
        }
        selectPattern(*b, song[(k + 1) % 4]);
        const std::vector<int16_t> y = renderFrames(*b, kPass80, kPass80);
        fromChoices.insert(fromChoices.end(), y.begin(), y.end());
    }
    EXPECT_TRUE(fromSong == fromChoices);
}

TEST(SongMode, FramesDoNotDependOnBlockSizesWithSwingAndAccents) {
    auto make = [] {
        auto s = songSynth({3, 1, 2});
        setSwing(*s, 61);
        setAccent(*s, 80);
        for (int i = 0; i < 4 * 16; i += 3) s->store.stepSpare[stepIndex(0, 0, 0) + i] = 1;
        return s;
    };
    auto whole = make();
    const std::vector<int16_t> reference = renderFrames(*whole, 5 * kPass80, 65536);
    auto pieces = make();
    std::mt19937 rng(7);
    std::vector<int16_t> out;
    while (out.size() < reference.size()) {
        const int left = static_cast<int>(reference.size() - out.size()) / 2;
        const int n = std::min(left, static_cast<int>(rng() % 3000) + 1);
        const std::vector<int16_t> x = renderFrames(*pieces, n, n);
        out.insert(out.end(), x.begin(), x.end());
    }
    EXPECT_TRUE(out == reference);
}

// The first frame at which two renders differ, or -1.
int firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<int>(i / 2);
    return -1;
}

TEST(SongMode, StepFifteenLinksToTheNeighbouringPatterns) {
    // A slide on step 15 glides toward step 0 of the pattern that plays
    // next: changing that note changes the sound from step 15 on, not before.
    auto a = songSynth({0, 1});
    auto b = songSynth({0, 1});
    for (Synth* s : {a.get(), b.get()}) s->store.stepSlide[stepIndex(0, 0, 15)] = 1;
    b->store.stepPitch[stepIndex(0, 1, 0)] = 40;
    const int at = firstDifference(renderFrames(*a, kPass80 + 100), renderFrames(*b, kPass80 + 100));
    EXPECT_GE(at, 15 * 8268);
    EXPECT_LT(at, kPass80);

    // After a slide on the last step of the pattern before, step 0 does not
    // retrigger: its note switch then makes no difference.
    for (const int slideBefore : {1, 0}) {
        SCOPED_TRACE(slideBefore);
        auto on = songSynth({0, 1});
        auto off = songSynth({0, 1});
        for (Synth* s : {on.get(), off.get()}) {
            s->store.stepSlide[stepIndex(0, 0, 15)] = static_cast<uint8_t>(slideBefore);
            s->store.stepSlide[stepIndex(0, 1, 15)] = 0;
            s->store.stepNoteOn[stepIndex(0, 1, 1)] = 0;  // step 1 does not retrigger either
        }
        on->store.stepNoteOn[stepIndex(0, 1, 0)] = 1;
        off->store.stepNoteOn[stepIndex(0, 1, 0)] = 0;
        const std::vector<int16_t> x = renderFrames(*on, kPass80 + 2 * 8268);
        const std::vector<int16_t> y = renderFrames(*off, kPass80 + 2 * 8268);
        if (slideBefore)
            EXPECT_EQ(firstDifference(x, y), -1);
        else
            EXPECT_EQ(firstDifference(x, y), kPass80 + 1) << "the attack shows from the frame after the retrigger";
    }
}

TEST(SongMode, StoredValuesOutsideTheBankPlaySafely) {
    auto s = startedSynth();
    s->store.settings.songLength = 0;  // plays as one position
    s->store.settings.songSequence[0] = 200;  // plays pattern 64
    setSongMode(*s, true);
    resetEngine(*s);
    EXPECT_EQ(s->engine.song.pattern, 63);
    EXPECT_EQ(passFrames(*s), kPass80);
    renderFrames(*s, kPass80);
    EXPECT_EQ(s->engine.song.position, 0);
    EXPECT_EQ(s->engine.song.pattern, 63);
}

TEST(SongEditing, KeepsTheSongWithinItsLimits) {
    auto s = startedSynth();
    EXPECT_EQ(deleteSongPosition(*s, 0), 0) << "the last position stays";
    s->store.settings.songLength = 0;  // edited as the one position it plays
    EXPECT_EQ(insertSongPosition(*s, 1, 70), 1);
    EXPECT_EQ(songPattern(*s, 1), 63);
    while (songPositions(*s) < kSongEntries) ASSERT_EQ(insertSongPosition(*s, 0, 1), 1);
    EXPECT_EQ(insertSongPosition(*s, 0, 1), 0) << "512 positions at most";
}

TEST(SongEditing, EditsWhilePlayingMoveOnSensibly) {
    // Playing position 2 of 1-2-3-4 (patterns 0..3).
    auto s = songSynth({0, 1, 2, 3});
    renderFrames(*s, kPass80 + 10);
    ASSERT_EQ(s->engine.song.position, 1);

    // Deleting the playing position: its pattern plays on, then the one
    // that followed it.
    ASSERT_EQ(deleteSongPosition(*s, 1), 1);
    renderFrames(*s, kPass80 - 10);
    EXPECT_EQ(s->engine.song.pattern, 2);
    EXPECT_EQ(s->engine.song.position, 1);

    // Inserting before the playing position keeps what plays next.
    ASSERT_EQ(insertSongPosition(*s, 0, 3), 1);  // 4-1-3-4, playing 3
    renderFrames(*s, kPass80);
    EXPECT_EQ(s->engine.song.pattern, 3);
    EXPECT_EQ(s->engine.song.position, 3);

    // Deleting the playing position and the one before it, the last two:
    // the song starts again.
    ASSERT_EQ(deleteSongPosition(*s, 3), 1);
    ASSERT_EQ(deleteSongPosition(*s, 2), 1);
    renderFrames(*s, kPass80);
    EXPECT_EQ(s->engine.song.position, 0);
    EXPECT_EQ(s->engine.song.pattern, 3);

    // Song mode switched on while a pattern loops: the song starts at its
    // first position at the pattern's end.
    auto p = startedSynth();
    writeBank(*p, 4);
    renderFrames(*p, 1000);
    p->store.settings.songLength = 2;
    p->store.settings.songSequence[0] = 3;
    setSongMode(*p, true);
    renderFrames(*p, kPass80 - 1000);
    EXPECT_EQ(p->engine.song.position, 0);
    EXPECT_EQ(p->engine.song.pattern, 3);
}

TEST(PatternBank, EditsGrowThePatternCountSelectionDoesNot) {
    auto s = startedSynth();
    selectPattern(*s, 9);
    EXPECT_EQ(s->store.settings.patternCount, 1);
    toggleStepSlide(*s, 3);
    EXPECT_EQ(s->store.settings.patternCount, 10);
    EXPECT_EQ(s->store.stepSlide[stepIndex(0, 9, 3)], 1) << "the selected pattern is edited";
    EXPECT_EQ(s->store.stepSlide[stepIndex(0, 0, 3)], 0);
    selectPattern(*s, 4);
    copyPattern(*s);
    s->store.currentUnit = 1;
    pastePattern(*s);
    EXPECT_EQ(s->store.settings.patternCount, 10) << "it never shrinks";
    selectPattern(*s, 20);
    generateRandomPattern(*s, 1);
    EXPECT_EQ(s->store.settings.patternCount, 21);
    selectPattern(*s, 99);
    EXPECT_EQ(s->store.settings.currentPattern, 63);

    // A save covers every pattern the song names.
    s->store.settings.songLength = 2;
    s->store.settings.songSequence[1] = 40;
    EXPECT_EQ(patternsToSave(s->store), 41);
}

// A file as written, or with the header patched.
std::vector<uint8_t> savedBytes(const Synth& s) {
    std::FILE* f = std::tmpfile();
    writePatternStream(s, f);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

void load(Synth& s, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    EXPECT_EQ(readPatternStream(s, f), 1);
    std::fclose(f);
}

TEST(SongFiles, SwingAndSongModeAreTheReservedHeaderWords) {
    auto s = startedSynth();
    const std::vector<uint8_t> plain = savedBytes(*s);
    ASSERT_EQ(plain.size(), 2359u);
    EXPECT_EQ(plain[26] | plain[27] | plain[28] | plain[29], 0) << "straight, in pattern mode";

    // Swing: signed 16 bits, a value outside 0..100 taken as the nearest end.
    setSwing(*s, 37);
    std::vector<uint8_t> swung = savedBytes(*s);
    EXPECT_EQ(swung[26], 37);
    for (const auto& [lo, hi, swing] : {std::tuple{37, 0, 37}, {0x2C, 0x01, 100}, {0xFB, 0xFF, 0}}) {
        swung[26] = static_cast<uint8_t>(lo);
        swung[27] = static_cast<uint8_t>(hi);
        auto loaded = startedSynth();
        load(*loaded, swung);
        EXPECT_EQ(getSwing(*loaded), swing);
    }
    setSwing(*s, 0);

    writeBank(*s, 3);
    makeSong(*s, {2, 0, 2, 1});
    selectPattern(*s, 2);
    const std::vector<uint8_t> song = savedBytes(*s);
    EXPECT_EQ(song[28], 1);
    EXPECT_EQ(song[29], 0);
    EXPECT_EQ(song[22], 3) << "patternCount covers the song";
    EXPECT_EQ(song[24], 4);

    auto loaded = startedSynth();
    selectPattern(*loaded, 5);
    load(*loaded, song);
    EXPECT_TRUE(songModeOn(*loaded));
    EXPECT_EQ(loaded->store.settings.currentPattern, 0) << "a loaded file selects pattern 1";
    EXPECT_EQ(songPositions(*loaded), 4);
    EXPECT_EQ(songPattern(*loaded, 3), 1);
    EXPECT_TRUE(savedBytes(*loaded) == song);

    // Other bits of the word are ignored; a file without the bit plays
    // patterns.
    std::vector<uint8_t> patched = song;
    patched[28] = 0xFE;
    patched[29] = 0xFF;
    load(*loaded, patched);
    EXPECT_FALSE(songModeOn(*loaded));
    patched[28] = 3;
    load(*loaded, patched);
    EXPECT_TRUE(songModeOn(*loaded));
}

// Streams into a temporary file and hands back its bytes.
std::vector<uint8_t> streamed(Synth& s, const StreamOptions& options = {}, int* result = nullptr) {
    std::FILE* f = std::tmpfile();
    const int r = streamToDisk(s, f, options);
    if (result) *result = r;
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

TEST(SongStream, WritesEveryPositionOnceAsRawOrWave) {
    // Three instances in the same state: streamed raw, streamed as WAVE, played.
    std::unique_ptr<Synth> s[3];
    for (auto& x : s) {
        x = songSynth({0, 1, 0, 2});
        setTempo(*x, 150);  // 4410 frames a step
    }
    const std::vector<uint8_t> raw = streamed(*s[0]);
    ASSERT_EQ(raw.size(), (4u * 16 * 4410 - 1) * 4);
    EXPECT_EQ(s[0]->engine.song.position, 0) << "the pass ends where the song wraps";

    // The first F - 1 frames of playing the song from its start.
    resetEngine(*s[2]);
    const std::vector<int16_t> played = renderFrames(*s[2], 4 * 16 * 4410, 1234);
    EXPECT_EQ(std::memcmp(raw.data(), played.data(), raw.size()), 0);

    // The same frames behind a WAVE header.
    StreamOptions wave;
    wave.wave = true;
    const std::vector<uint8_t> wav = streamed(*s[1], wave);
    ASSERT_EQ(wav.size(), raw.size() + 44);
    // PCM, 2 channels, 44100 Hz, 176400 bytes a second, 4 bytes a frame of
    // 16-bit samples, then the data's size.
    const uint32_t data = static_cast<uint32_t>(raw.size());
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                          0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>((data + 36) >> (8 * i));
    for (int i = 0; i < 4; ++i) header[40 + i] = static_cast<uint8_t>(data >> (8 * i));
    EXPECT_EQ(std::memcmp(wav.data(), header, 44), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 44, raw.data(), raw.size()), 0);
}

TEST(SongStream, ReportsProgressAndCanBeCancelled) {
    auto s = songSynth({0, 1});
    struct Seen {
        int64_t last, total, stopAt;
    } seen{0, 0, int64_t{1} << 40};
    StreamOptions options;
    options.context = &seen;
    options.progress = [](void* c, int64_t written, int64_t total) {
        Seen& x = *static_cast<Seen*>(c);
        EXPECT_GE(written, x.last);
        x.last = written, x.total = total;
        return written < x.stopAt;
    };
    int result = 0;
    EXPECT_EQ(streamed(*s, options, &result).size(), (2u * kPass80 - 1) * 4);
    EXPECT_TRUE(result == 1 && seen.total == 2 * kPass80 - 1 && seen.last == seen.total);
    seen = Seen{0, 0, 10000};
    EXPECT_LT(streamed(*s, options, &result).size(), 20000u * 4);
    EXPECT_EQ(result, 0) << "a cancelled stream is not a written one";
}

}  // namespace
}  // namespace velmor
