// The pattern bank and the song: which pattern plays when, the switch at the end
// of step 15, edits while playing, the song in pattern files and on disk.

#include <gtest/gtest.h>

#include <tuple>

#include "engine/song_clock.h"
#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/song.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::renderFrames, testing::savedPattern, testing::startedSynth;

constexpr int kPass80 = 16 * 8268;  // one pattern at the start-up tempo

// Pattern p of unit 0 plays its own melody, with rests and slides inside
// the pattern (none on step 15, so the retrigger at step 0 is the same
// whatever played before).
void writeBank(Synth& s, int patterns) {
    for (int p = 0; p < patterns; ++p)
        for (int i = 0; i < 16; ++i) {
            const int at = stepIndex(0, p, i);
            s.score.doc.stepPitch[at] = static_cast<int8_t>(15 + (p * 7 + i * 5) % 24);
            s.score.doc.stepNoteOn[at] = static_cast<uint8_t>((i + p) % 4 != 3);
            s.score.doc.stepSlide[at] = static_cast<uint8_t>(i != 15 && (i + p) % 6 == 0);
        }
}

std::unique_ptr<Synth> songSynth(std::vector<int> song, int patterns = 4) {
    auto s = startedSynth();
    writeBank(*s, patterns);
    s->score.doc.settings.songLength = static_cast<int32_t>(song.size());
    for (size_t i = 0; i < song.size(); ++i) s->score.doc.settings.songSequence[i] = static_cast<uint8_t>(song[i]);
    setSongMode(*s, true);
    publishAndReset(*s);
    return s;
}

void expectPlaying(const Synth& s, int position, int pattern) {
    EXPECT_EQ(s.engine.song.position, position);
    EXPECT_EQ(s.engine.song.pattern, pattern);
}

// The first frame at which two renders differ, or -1.
int firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<int>(i / 2);
    return -1;
}

TEST(PatternMode, PlaysTheSelectedPatternAndTakesAChoiceAtThePatternsEnd) {
    auto s = startedSynth();
    writeBank(*s, 3), selectPattern(*s, 2), publishAndReset(*s);
    EXPECT_EQ(s->engine.song.pattern, 2) << "Stop and Play start with the selected pattern";
    renderFrames(*s, 1000);
    selectPattern(*s, 1);
    renderFrames(*s, kPass80 - 1001, 777);
    EXPECT_EQ(s->engine.song.pattern, 2) << "the groove never breaks mid-pattern";
    s->engine.passEndFrame = 9999;
    renderFrames(*s, 1);
    // The frame that ends step 15 switches; in pattern mode every pattern is a pass.
    EXPECT_EQ((std::vector<int32_t>{s->engine.song.pattern, s->engine.song.previousPattern, s->engine.passEndFrame, playingPlace(*s).position}),
              (std::vector<int32_t>{1, 2, 0, 0}));
    // Song mode switched on while a pattern loops: its first position next.
    s->score.doc.settings.songSequence[0] = 3;
    setSongMode(*s, true);
    renderFrames(*s, kPass80);
    expectPlaying(*s, 0, 3);
}

TEST(SongMode, PlaysEveryPositionOnceInOrderThenStartsAgainLikeChoicesInPatternMode) {
    // The song 1-2-1-3, and pattern mode with each next pattern chosen
    // before the block that ends the playing one, give the same frames.
    const std::vector<int> song = {0, 1, 0, 2};
    auto a = songSynth(song);
    auto b = startedSynth();
    writeBank(*b, 4), selectPattern(*b, 0), publishAndReset(*b);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        expectPlaying(*a, k % 4, song[k % 4]);
        EXPECT_EQ(playingPlace(*a).position, k % 4 + 1);
        a->engine.passEndFrame = 9999;
        const std::vector<int16_t> x = renderFrames(*a, kPass80, 5000);
        EXPECT_EQ(a->engine.passEndFrame == 9999, k % 4 != 3) << "only the last position ends a pass";
        selectPattern(*b, song[(k + 1) % 4]);
        EXPECT_TRUE(x == renderFrames(*b, kPass80, kPass80));
    }
}

TEST(SongMode, StepFifteenLinksToTheNeighbouringPatterns) {
    // A slide on step 15 glides toward step 0 of the pattern that plays
    // next: changing that note changes the sound from step 15 on, not before.
    // After a slide on step 15 of the pattern before, step 0 does not
    // retrigger (step 1 does not either): its note switch then changes nothing.
    const int frames = kPass80 + 2 * 8268;
    for (const int slideBefore : {1, 0}) {
        SCOPED_TRACE(slideBefore);
        auto a = songSynth({0, 1}), b = songSynth({0, 1}), on = songSynth({0, 1}), off = songSynth({0, 1});
        for (Synth* s : {a.get(), b.get(), on.get(), off.get()}) {
            s->score.doc.stepSlide[stepIndex(0, 0, 15)] = static_cast<uint8_t>(slideBefore);
            s->score.doc.stepNoteOn[stepIndex(0, 1, 1)] = 0;
        }
        b->score.doc.stepPitch[stepIndex(0, 1, 0)] = 40;
        on->score.doc.stepNoteOn[stepIndex(0, 1, 0)] = 1;
        off->score.doc.stepNoteOn[stepIndex(0, 1, 0)] = 0;
        const int glide = firstDifference(renderFrames(*a, frames), renderFrames(*b, frames));
        const int retrigger = firstDifference(renderFrames(*on, frames), renderFrames(*off, frames));
        EXPECT_TRUE(slideBefore ? glide >= 15 * 8268 && glide < kPass80 : glide >= kPass80) << glide;
        EXPECT_EQ(retrigger, slideBefore ? -1 : kPass80 + 1) << "the attack shows from the frame after the retrigger";
    }
}

TEST(SongEditing, EditsWhilePlayingMoveOnSensibly) {
    auto s = songSynth({0, 1, 2, 3});
    renderFrames(*s, kPass80 + 10);           // playing position 2
    ASSERT_EQ(deleteSongPosition(*s, 1), 1);  // its pattern plays on, then the one after it
    renderFrames(*s, kPass80 - 10);
    expectPlaying(*s, 1, 2);
    ASSERT_EQ(insertSongPosition(*s, 1, 3), 1);  // at the playing position: 1-4-3-4, what follows stays
    renderFrames(*s, kPass80);
    expectPlaying(*s, 3, 3);
    ASSERT_EQ(deleteSongPosition(*s, 3), 1);  // the playing one and the one before: from the start
    ASSERT_EQ(deleteSongPosition(*s, 2), 1);
    renderFrames(*s, kPass80);
    expectPlaying(*s, 0, 0);
}

// The song's 512 positions at most are tested through the Song dialog (window_logic_test.cpp).
TEST(PatternBank, SongAndBankKeepTheirLimitsAndEditsGrowThePatternCount) {
    auto s = startedSynth();
    EXPECT_EQ(deleteSongPosition(*s, 0), 0) << "the last position stays";
    s->score.doc.settings.songLength = 0;         // plays, and is edited, as one position
    s->score.doc.settings.songSequence[0] = 200;  // plays pattern 64
    setSongMode(*s, true);
    publishAndReset(*s);
    EXPECT_EQ(passFrames(*s), kPass80);
    renderFrames(*s, kPass80);
    expectPlaying(*s, 0, 63);
    EXPECT_EQ((std::pair{insertSongPosition(*s, 1, 70), songPattern(*s, 1)}), std::pair(1, 63));
    EXPECT_EQ(patternsToSave(s->score.doc), 64) << "a save covers every pattern the song names";

    s = startedSynth();
    selectPattern(*s, 9);
    EXPECT_EQ(s->score.doc.settings.patternCount, 1);
    toggleStepSlide(*s, 3);
    EXPECT_EQ(s->score.doc.settings.patternCount, 10);
    EXPECT_EQ(std::pair(s->score.doc.stepSlide[stepIndex(0, 9, 3)], s->score.doc.stepSlide[stepIndex(0, 0, 3)]), (std::pair<uint8_t, uint8_t>(1, 0)))
        << "the selected pattern is edited";
    selectPattern(*s, 4);
    toggleStepNoteOn(*s, 1);
    EXPECT_EQ(s->score.doc.settings.patternCount, 10) << "it never shrinks";
    selectPattern(*s, 20);
    generateRandomPattern(*s, 1);
    EXPECT_EQ(s->score.doc.settings.patternCount, 21);
}

std::unique_ptr<Synth> loaded(const std::vector<uint8_t>& bytes) {
    auto s = startedSynth();
    selectPattern(*s, 5);
    EXPECT_EQ(testing::loadPatternBytes(*s, bytes), 1);
    return s;
}

TEST(SongFiles, SwingAndSongModeAreTheReservedHeaderWords) {
    // Swing: signed 16 bits, outside 0..100 the nearest end. Song mode: bit
    // 0 of its word, the other bits ignored.
    auto song = songSynth({2, 0, 2, 1}, 3);
    selectPattern(*song, 2), setLinked(*song, Param::kSwing, 37);
    const std::vector<uint8_t> bytes = savedPattern(*song);
    EXPECT_EQ(std::pair(bytes[26] + 256 * bytes[27], bytes[28] + 256 * bytes[29]), std::pair(37, 1));
    EXPECT_TRUE(bytes[22] == 3 && bytes[24] == 4) << "patternCount covers the song of 4";
    for (const auto& [lo, hi, swing, mode] : {std::tuple{37, 0, 37, 1}, {0x2C, 0x01, 100, 0xFFFE}, {0xFB, 0xFF, 0, 3}}) {
        std::vector<uint8_t> patched = bytes;
        patched[26] = static_cast<uint8_t>(lo), patched[27] = static_cast<uint8_t>(hi);
        patched[28] = static_cast<uint8_t>(mode), patched[29] = static_cast<uint8_t>(mode >> 8);
        auto l = loaded(patched);
        // A loaded file selects pattern 1.
        EXPECT_EQ(
            (std::vector<int>{getCurrent(*l, Param::kSwing), songModeOn(*l), l->score.derived.currentPattern, songPositions(*l), songPattern(*l, 3)}),
            (std::vector<int>{swing, (mode & 1) != 0, 0, 4, 1}));
    }
    EXPECT_TRUE(savedPattern(*loaded(bytes)) == bytes);
}

std::vector<uint8_t> streamed(Synth& s, const StreamOptions& options = {}, int* result = nullptr) {
    return testing::writtenBytes([&](std::FILE* f) {
        const int r = streamToDisk(s, f, options);
        if (result) *result = r;
    });
}

// A song streamed: its length here, its frames and as a WAVE file with
// velmor-render's (velmor_render_test.sh), the frames of a pass from step 0
// in stream_to_disk_test.cpp.
TEST(SongStream, ReportsProgressAndCanBeCancelled) {
    auto s = songSynth({0, 1});
    int64_t seen[3] = {0, 0, int64_t{1} << 40};  // written, total, where to cancel
    StreamOptions options;
    options.context = seen;
    options.progress = [](void* c, int64_t written, int64_t total) {
        int64_t* x = static_cast<int64_t*>(c);
        EXPECT_GE(written, x[0]);
        x[0] = written, x[1] = total;
        return written < x[2];
    };
    int result = 0;
    EXPECT_EQ(streamed(*s, options, &result).size(), (2u * kPass80 - 1) * 4);
    EXPECT_TRUE(result == 1 && seen[1] == 2 * kPass80 - 1 && seen[0] == seen[1]);
    seen[0] = 0, seen[2] = 10000;
    EXPECT_TRUE(streamed(*s, options, &result).size() < 20000u * 4 && result == 0) << "a cancelled stream is not a written one";
}

}  // namespace
}  // namespace velmor
