// What the windows compute without the platform: the envelope outline, the
// status texts with the clip mark, the titles and tab labels, the "Accent"
// slider row, the field that shows what plays, the file name and kind of a
// stream, and the Song dialog's edits.

#include <gtest/gtest.h>

#include <cstring>

#include "app/song_editing.h"
#include "app/unsaved_work.h"
#include "app/window_logic.h"
#include "app/controls.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::renderFrames, testing::startedSynth;

TEST(AccentSlider, StrongestAtTheTopFollowingTheLinksAndRefreshed) {
    auto s = startedSynth();
    testing::applyStartupLikeSettings(*s, 1);
    const SliderControl* row = findSlider(kAccentSlider);
    ASSERT_NE(row, nullptr);
    const ParameterTraits& p = parameterTraits(row->param);
    EXPECT_TRUE(row->vertical && row->inverted && p.minimum == 0 && p.maximum == 100);
    EXPECT_EQ(sliderRefreshPosition(*s, kAccentSlider), 50) << "a fresh unit (stored 0) has the middle strength";
    s->score.doc.unitLinks[0][1] = 1;
    EXPECT_FALSE(onSliderScrolled(*s, kAccentSlider, 0));  // no envelope redraw
    EXPECT_EQ(sliderRefreshPosition(*s, kAccentSlider), 0);
    s->selection.currentUnit = 1;
    EXPECT_EQ(getCurrent(*s, Param::kAccent), 100) << "the linked unit follows";
    onSliderScrolled(*s, kAccentSlider, 70);
    EXPECT_EQ(getCurrent(*s, Param::kAccent), 30);
    s->selection.currentUnit = 0;
    EXPECT_EQ(getCurrent(*s, Param::kAccent), 100) << "the link is one-way";
}

TEST(PlayingStatus, FollowsPatternAndSongModeAndChoicesMadeWhileStopped) {
    auto s = startedSynth();
    const int pass = 16 * s->score.derived.samplesPerStep;
    EXPECT_EQ(playingStatus(*s), "Pattern 1");
    auto reference = startedSynth();
    selectPattern(*reference, 2), publishAndReset(*reference);
    selectPattern(*s, 2);  // after the start-up: Play starts with it
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Pattern 3");
    EXPECT_EQ(renderFrames(*s, pass + 100), renderFrames(*reference, pass + 100));

    // Song mode switched on after a Stop: the first position, then the second.
    publishAndReset(*s);
    setSongPattern(*s, 0, 4), insertSongPosition(*s, 1, 5), insertSongPosition(*s, 2, 63), setSongMode(*s, true);
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Song 1/3: Pattern 5");
    renderFrames(*s, 2 * pass + 10);
    EXPECT_EQ(playingStatus(*s), "Song 3/3: Pattern 64");
    // Past the start (where a stream to disk leaves the clock) nothing moves.
    setSongMode(*s, false);
    prepareToPlay(*s);
    EXPECT_EQ(playingStatus(*s), "Pattern 64");
}

TEST(StreamFileName, FilterAndNameChooseTheKindAndTheExtension) {
    const StreamKind raw = StreamKind::kRaw, wave = StreamKind::kWave, refused = StreamKind::kRefused;
    // clang-format off
    const struct { const char *name, *result; bool waveFilter; size_t capacity; StreamKind kind; } cases[] = {
        {"take", "take.raw", false, 128, raw},          {"take.raw", "take.raw", false, 128, raw},
        {"TAKE.RAW", "TAKE.RAW.raw", false, 128, raw},  // the save commands' rule
        {"take", "take.wav", true, 128, wave},          {"take.wav", "take.wav", true, 128, wave},
        {"take.raw", "take.raw.wav", true, 128, wave},  {"Z:\\music\\Take.WaV", "Z:\\music\\Take.WaV", false, 128, wave},
        {"take.wave", "take.wave.raw", false, 128, raw}, {".wav", ".wav", false, 128, wave}, {"wav", "wav.raw", false, 128, raw},
        {"abc", "abc.wav", true, 8, wave},  // the extension must fit with the terminator
        {"abcd", "abcd", true, 8, refused},             {"abcd", "abcd", false, 8, refused}
    };
    // clang-format on
    for (const auto& c : cases) {
        char buffer[128] = {};
        std::strcpy(buffer, c.name);
        EXPECT_EQ(streamFileName(buffer, c.capacity, c.waveFilter), c.kind) << c.name;
        EXPECT_STREQ(buffer, c.result);
    }
}

TEST(SongDialog, InsertDeleteAndPlusMinusKeepTheSongAndTheBankLimits) {
    auto s = startedSynth();
    EXPECT_EQ(songPositionLabel(0, 0) + ", " + songPositionLabel(511, 63), "1: Pattern 1, 512: Pattern 64");
    // Insert after the selection naming its pattern, at the end without one.
    setSongPattern(*s, 0, 5);
    EXPECT_EQ(insertAfterSelected(*s, 0), 1);
    setSongPattern(*s, 1, 9);
    EXPECT_EQ((std::pair{insertAfterSelected(*s, 0), insertAfterSelected(*s, -1)}), std::pair(1, 3));  // in this order
    EXPECT_EQ((std::vector<int>{songPattern(*s, 0), songPattern(*s, 1), songPattern(*s, 2), songPattern(*s, 3)}), (std::vector<int>{5, 5, 9, 9}));
    // Delete: the next one takes the place; deleting the last selects the
    // new last; the last position stays.
    setSongPattern(*s, 0, 1);
    const int deleted[] = {deleteSelected(*s, 0), deleteSelected(*s, 2), deleteSelected(*s, 0), deleteSelected(*s, 0)};
    EXPECT_EQ(std::vector<int>(deleted, deleted + 4), (std::vector<int>{0, 1, 0, -1}));
    EXPECT_EQ(std::pair(songPositions(*s), songPattern(*s, 0)), std::pair(1, 9));
    // Plus and minus stop at the ends of the bank.
    for (const auto& [from, delta, to] : {std::tuple{0, -1, 0}, {0, 1, 1}, {62, 1, 63}, {63, 1, 63}, {63, -1, 62}}) {
        setSongPattern(*s, 0, from);
        EXPECT_EQ(stepSelectedPattern(*s, 0, delta), to);
        EXPECT_EQ(songPattern(*s, 0), to);
    }
    while (songPositions(*s) < kSongEntries) ASSERT_GE(insertAfterSelected(*s, 0), 0);
    EXPECT_EQ(insertAfterSelected(*s, 0), -1) << "512 positions at most";
    EXPECT_EQ(songPositions(*s), kSongEntries);
}

TEST(WindowLogic, EnvelopeOutlineStatusTitlesAndTabs) {
    // All four times at 100 end the release at the right edge when W is a
    // multiple of 4; the plateau stands at the sustain level.
    EnvelopeOutline o = envelopeOutline(200, 60, 100, 100, 100, 100, 50);
    EXPECT_EQ((std::vector<int>{o.p[2].x, o.p[3].x, o.p[4].x, o.p[5].x, o.p[6].x, o.p[3].y, o.p[7].y}),
              (std::vector<int>{50, 100, 150, 200, 199, 30, 0}));
    // Sus Lvl at the top (level 100): the plateau at y = 0; at the bottom, H.
    EXPECT_EQ(envelopeOutline(200, 60, 20, 70, 0, 10, 100).p[3].y, 0);
    EXPECT_EQ(envelopeOutline(200, 60, 20, 70, 0, 10, 0).p[4].y, 60);
    // Truncating divisions: 203 * 10 / 400 = 5.
    o = envelopeOutline(203, 61, 10, 10, 0, 10, 33);
    EXPECT_EQ((std::vector<int>{o.p[2].x, o.p[3].x, o.p[5].x, o.p[3].y}), (std::vector<int>{5, 10, 15, 61 - 33 * 61 / 100}));

    // The status line, the title after a load and the tab labels.
    AudioOutput out;
    Engine e;
    out.cpuLoad = 12, e.levelLeft = 50, e.levelRight = 7;
    StatusTexts t = refreshStatus(out, e);
    EXPECT_EQ(t.cpu + t.left + t.right, "CPU: 12%Vol-L: 50%Vol-R: 7%");
    e.levelLeft = e.levelRight = kLevelClipped;
    t = refreshStatus(out, e);
    EXPECT_EQ(t.left + t.right, "CLIPCLIP");
    EXPECT_EQ(e.levelLeft, 0) << "the shown mark is cleared";
    out.cpuLoad = 0xFFFF;
    EXPECT_EQ(refreshStatus(out, e).cpu, "CPU: -1%") << "taken as a signed 16-bit number";

    EXPECT_EQ(titleAfterLoad("D:\\songs\\acid\\line.pat") + titleAfterLoad("plain.pat") + unitTabLabel(0) + unitTabLabel(3),
              "Velmor V" VELMOR_VERSION_TEXT " - line.patVelmor V" VELMOR_VERSION_TEXT " - plain.patVelmor #1Velmor #4");
}

// The menu texts, titles and questions are read in the end-to-end tests;
// here the recovery copy of work never saved.
TEST(WindowLogic, RecoveryCopyOfUntitledWork) {
    EXPECT_EQ(recoveryPath("", "D:\\Docs"), "D:\\Docs\\Untitled (recovered).pat");
    EXPECT_EQ(recoveryPath("C:\\a\\song.PAT", "D:\\Docs\\"), "C:\\a\\song (recovered).pat");
}

}  // namespace
}  // namespace velmor
