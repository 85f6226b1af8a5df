// What the windows of the song and groove features compute without the
// platform: the "Accent" slider row, the field that shows what plays, the
// file name and kind of a stream, and the Song dialog's edits.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/song_editing.h"
#include "app/window_logic.h"
#include "engine/mixdown.h"
#include "model/controls.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(AccentSlider, StrongestAtTheTopFollowingTheLinksAndRefreshed) {
    auto s = testing::startedSynth();
    testing::applyStartupLikeSettings(*s, 1);
    const SliderSpec* row = findSlider(kAccentSlider);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->vertical);
    EXPECT_EQ(row->minimum, 0);
    EXPECT_EQ(row->maximum, 100);
    // A fresh unit (stored 0, as in every earlier file) has the middle strength.
    EXPECT_EQ(getAccent(*s), 50);
    EXPECT_EQ(sliderRefreshPosition(*s, kAccentSlider), 50);

    s->store.unitLinks[0][1] = 1;
    EXPECT_FALSE(onSliderScrolled(*s, kAccentSlider, 0));  // no envelope redraw
    EXPECT_EQ(getAccent(*s), 100);
    EXPECT_EQ(sliderRefreshPosition(*s, kAccentSlider), 0);
    s->store.currentUnit = 1;
    EXPECT_EQ(getAccent(*s), 100) << "the linked unit follows";
    onSliderScrolled(*s, kAccentSlider, 70);
    EXPECT_EQ(getAccent(*s), 30);
    s->store.currentUnit = 0;
    EXPECT_EQ(getAccent(*s), 100) << "the link is one-way";
}

TEST(PlayingStatus, PatternModeAndSongMode) {
    auto s = testing::startedSynth();
    EXPECT_EQ(playingStatus(*s), "Pattern 1");
    selectPattern(*s, 4);
    resetEngine(*s);
    EXPECT_EQ(playingStatus(*s), "Pattern 5");

    setSongPattern(*s, 0, 2);
    insertSongPosition(*s, 1, 7);
    insertSongPosition(*s, 2, 63);
    setSongMode(*s, true);
    resetEngine(*s);
    EXPECT_EQ(playingStatus(*s), "Song 1/3: Pattern 3");
    // After two pattern passes the third position plays.
    const int pass = 16 * s->store.settings.samplesPerStep;
    testing::renderFrames(*s, 2 * pass + 10);
    EXPECT_EQ(playingStatus(*s), "Song 3/3: Pattern 64");
}

TEST(PrepareToPlay, TheFirstPassFollowsChoicesMadeWhileStopped) {
    auto s = testing::startedSynth();
    const int pass = 16 * s->store.settings.samplesPerStep;
    auto reference = testing::startedSynth();
    selectPattern(*reference, 2);
    resetEngine(*reference);

    // Pattern 3 chosen after the start-up: Play starts with it.
    selectPattern(*s, 2);
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Pattern 3");
    EXPECT_EQ(testing::renderFrames(*s, pass + 100), testing::renderFrames(*reference, pass + 100));

    // Song mode switched on after a Stop: the song's first position, and
    // the second after it (not the first again).
    resetEngine(*s);
    setSongPattern(*s, 0, 4);
    insertSongPosition(*s, 1, 5);
    setSongMode(*s, true);
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Song 1/2: Pattern 5");
    testing::renderFrames(*s, pass + 10);
    EXPECT_EQ(playingStatus(*s), "Song 2/2: Pattern 6");

    // Past the start (where a stream to disk leaves the clock) nothing moves.
    testing::renderFrames(*s, 1000);
    setSongMode(*s, false);
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Pattern 6");
}

std::string streamed(const char* name, bool waveFilter, StreamKind* kind, size_t capacity = 128) {
    char buffer[128] = {};
    std::strcpy(buffer, name);
    *kind = streamFileName(buffer, capacity, waveFilter);
    return buffer;
}

TEST(StreamFileName, FilterAndNameChooseTheKindAndTheExtension) {
    StreamKind kind;
    EXPECT_EQ(streamed("take", false, &kind), "take.raw");
    EXPECT_EQ(kind, StreamKind::kRaw);
    EXPECT_EQ(streamed("take.raw", false, &kind), "take.raw");
    EXPECT_EQ(streamed("TAKE.RAW", false, &kind), "TAKE.RAW.raw") << "raw names keep the save commands' rule";
    EXPECT_EQ(streamed("take", true, &kind), "take.wav");
    EXPECT_EQ(kind, StreamKind::kWave);
    EXPECT_EQ(streamed("take.wav", true, &kind), "take.wav");
    EXPECT_EQ(streamed("take.raw", true, &kind), "take.raw.wav");
    EXPECT_EQ(kind, StreamKind::kWave);
    // A name ending in .wav, in any case, is a WAVE file under the raw filter too.
    EXPECT_EQ(streamed("Z:\\music\\Take.WaV", false, &kind), "Z:\\music\\Take.WaV");
    EXPECT_EQ(kind, StreamKind::kWave);
    EXPECT_EQ(streamed("take.wave", false, &kind), "take.wave.raw");
    EXPECT_EQ(kind, StreamKind::kRaw);
    EXPECT_EQ(streamed(".wav", false, &kind), ".wav");
    EXPECT_EQ(kind, StreamKind::kWave);
    EXPECT_EQ(streamed("wav", false, &kind), "wav.raw");

    // The extension must fit with the terminator: 8 bytes hold "abc.wav".
    EXPECT_EQ(streamed("abc", true, &kind, 8), "abc.wav");
    EXPECT_EQ(kind, StreamKind::kWave);
    EXPECT_EQ(streamed("abcd", true, &kind, 8), "abcd");
    EXPECT_EQ(kind, StreamKind::kRefused);
    EXPECT_EQ(streamed("abcd", false, &kind, 8), "abcd");
    EXPECT_EQ(kind, StreamKind::kRefused);
}

TEST(SongDialog, InsertAfterTheSelectionNamingItsPattern) {
    auto s = testing::startedSynth();
    EXPECT_EQ(songPositionLabel(0, 0), "1: Pattern 1");
    EXPECT_EQ(songPositionLabel(511, 63), "512: Pattern 64");

    setSongPattern(*s, 0, 5);
    EXPECT_EQ(insertAfterSelected(*s, 0), 1);
    EXPECT_EQ(songPositions(*s), 2);
    EXPECT_EQ(songPattern(*s, 1), 5);
    setSongPattern(*s, 1, 9);
    EXPECT_EQ(insertAfterSelected(*s, 0), 1);  // between the two
    EXPECT_EQ(songPattern(*s, 0), 5);
    EXPECT_EQ(songPattern(*s, 1), 5);
    EXPECT_EQ(songPattern(*s, 2), 9);
    // Without a selection the new position goes at the end.
    EXPECT_EQ(insertAfterSelected(*s, -1), 3);
    EXPECT_EQ(songPattern(*s, 3), 9);

    while (songPositions(*s) < kSongEntries) ASSERT_GE(insertAfterSelected(*s, 0), 0);
    EXPECT_EQ(insertAfterSelected(*s, 0), -1) << "512 positions at most";
    EXPECT_EQ(songPositions(*s), kSongEntries);
}

TEST(SongDialog, DeleteKeepsASelectionAndTheLastPosition) {
    auto s = testing::startedSynth();
    setSongPattern(*s, 0, 1);
    insertAfterSelected(*s, 0);
    setSongPattern(*s, 1, 2);
    insertAfterSelected(*s, 1);
    setSongPattern(*s, 2, 3);  // patterns 2, 3, 4
    EXPECT_EQ(deleteSelected(*s, 0), 0);
    EXPECT_EQ(songPattern(*s, 0), 2) << "the next one takes the place";
    EXPECT_EQ(deleteSelected(*s, 1), 0) << "deleting the last selects the new last";
    EXPECT_EQ(songPositions(*s), 1);
    EXPECT_EQ(deleteSelected(*s, 0), -1);
    EXPECT_EQ(songPositions(*s), 1);
    EXPECT_EQ(songPattern(*s, 0), 2);
}

TEST(SongDialog, PlusAndMinusStopAtTheEndsOfTheBank) {
    auto s = testing::startedSynth();
    EXPECT_EQ(stepSelectedPattern(*s, 0, -1), 0);
    EXPECT_EQ(stepSelectedPattern(*s, 0, 1), 1);
    EXPECT_EQ(stepSelectedPattern(*s, 0, 1), 2);
    setSongPattern(*s, 0, 62);
    EXPECT_EQ(stepSelectedPattern(*s, 0, 1), 63);
    EXPECT_EQ(stepSelectedPattern(*s, 0, 1), 63);
    EXPECT_EQ(stepSelectedPattern(*s, 0, -1), 62);
    EXPECT_EQ(songPattern(*s, 0), 62);
}

}  // namespace
}  // namespace velmor
