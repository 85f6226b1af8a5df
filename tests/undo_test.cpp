// The undo history: every kind of edit taken back and brought again to the
// bytes a save writes, a long random run against saved images, joined
// drags, the history's bounds and the unsaved mark.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "files/user_wave.h"
#include "model/pattern_clipboard.h"
#include "model/song.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using Bytes = std::vector<char>;

Bytes saved(const Synth& s) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    writePatternStream(s.score.doc, f);
    std::fclose(f);
    Bytes b(data, data + size);
    std::free(data);
    return b;
}

// Whether the engine plays what the interface holds.
bool engineAgrees(const Synth& s) { return std::memcmp(&s.engine.score, &s.score, sizeof(Score)) == 0; }

struct Clock {
    static inline int64_t ms = 0;
    static int64_t read() { return ms; }
};

std::unique_ptr<Synth> undoSynth() {
    auto s = testing::startedSynth();
    s->undo.clock = Clock::read;
    Clock::ms = 0;
    return s;
}

struct Kind {
    const char* name;
    std::function<void(Synth&)> edit;
};

const std::vector<Kind>& kinds() {
    static const std::string wave = ::testing::TempDir() + "undo-wave.raw";
    static const std::vector<Kind> all = {
        {"Cutoff", [](Synth& s) { setLinked(s, Param::kCutoff, 90); }},
        {"Filter", [](Synth& s) { setLinked(s, Param::kFilterMode, 3); }},
        {"Osc 2 Wave", [](Synth& s) { setParameter(s, 1, Param::kOsc2Wave, 2); }},
        {"Tempo", [](Synth& s) { setLinked(s, Param::kTempo, 150); }},
        {"Master Volume", [](Synth& s) { setLinked(s, Param::kMasterVolume, 10); }},
        {"Swing", [](Synth& s) { setLinked(s, Param::kSwing, 40); }},
        {"Delay Steps", [](Synth& s) { setLinked(s, Param::kDelaySteps, 4); }},
        {"Accent", [](Synth& s) { setLinked(s, Param::kAccent, 90); }},
        {"Step Pitch", [](Synth& s) { setStepPitchFromSlider(s, 3, 7); }},
        {"Note On/Off", [](Synth& s) { toggleStepNoteOn(s, 2); }},
        {"Slide On/Off", [](Synth& s) { toggleStepSlide(s, 2); }},
        {"Accent On/Off", [](Synth& s) { toggleStepAccent(s, 2); }},
        {"Generate Random", [](Synth& s) { generateRandomPattern(s, 99); }},
        {"Pitch", [](Synth& s) { transposePattern(s, -1); }},
        {"Shift", [](Synth& s) { shiftPattern(s, 1); }},
        {"Paste", [](Synth& s) { s.patternClipboard.pitch[4] = 30; pastePattern(s); }},
        {"Paste Settings", [](Synth& s) { selectUnit(s, 1); pasteSettings(s, 0); }},
        {"Add Unit", [](Synth& s) { addUnit(s); }},
        {"Delete Unit", [](Synth& s) { selectUnit(s, 0); deleteCurrentUnit(s); }},
        {"Link", [](Synth& s) { toggleLink(s, 1); }},
        {"Song Pattern", [](Synth& s) { setSongPattern(s, 1, 7); }},
        {"Insert Position", [](Synth& s) { insertSongPosition(s, 1, 3); }},
        {"Delete Position", [](Synth& s) { deleteSongPosition(s, 0); }},
        {"Song Mode", [](Synth& s) { setSongMode(s, true); }},
        {"Load Wave", [](Synth& s) {
             std::FILE* f = std::fopen(wave.c_str(), "wb");
             std::fputs("a user wave", f);
             std::fclose(f);
             loadUserWave(s, wave.c_str());
         }},
    };
    return all;
}

TEST(Undo, EveryKindOfEditGoesBackAndComesAgain) {
    for (const Kind& k : kinds()) {
        auto s = undoSynth();
        // Two units, a song of three positions, and work of its own beforehand.
        addUnit(*s);
        insertSongPosition(*s, 1, 2);
        insertSongPosition(*s, 2, 4);
        setLinked(*s, Param::kResonance, 70);
        setStepPitchFromSlider(*s, 0, 20);
        clearHistory(*s);
        Clock::ms += 5000;
        const Bytes before = saved(*s);
        const Score beforeScore = s->score;
        k.edit(*s);
        const Bytes after = saved(*s);
        ASSERT_NE(before, after) << k.name;
        ASSERT_STREQ(undoName(*s), k.name);
        EXPECT_EQ(redoName(*s), nullptr);
        ASSERT_TRUE(undo(*s)) << k.name;
        EXPECT_EQ(saved(*s), before) << k.name;
        // What the setters derived goes back too; the selected pattern stays.
        EXPECT_EQ(std::memcmp(&s->score.derived.units, &beforeScore.derived.units, sizeof beforeScore.derived.units), 0);
        EXPECT_TRUE(engineAgrees(*s)) << k.name;
        EXPECT_EQ(undoName(*s), nullptr) << k.name;
        EXPECT_STREQ(redoName(*s), k.name);
        EXPECT_LT(s->selection.currentUnit, s->score.doc.unitCount) << k.name;
        ASSERT_TRUE(redo(*s)) << k.name;
        EXPECT_EQ(saved(*s), after) << k.name;
        EXPECT_TRUE(engineAgrees(*s)) << k.name;
        EXPECT_FALSE(redo(*s));
    }
}

TEST(Undo, ARandomRunFollowsTheSavedImages) {
    auto s = undoSynth();
    std::mt19937 rng(7);
    std::vector<Bytes> images{saved(*s)};  // images[pos] is what the document saves as now
    size_t pos = 0, oldest = 0;
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int i = 0; i < 5000; ++i) {
        Clock::ms += 1500;
        const int action = pick(10);
        if (action < 2) {
            const bool done = undo(*s);
            ASSERT_EQ(done, pos > oldest) << i;
            if (done) --pos;
        } else if (action < 3) {
            const bool done = redo(*s);
            ASSERT_EQ(done, pos + 1 < images.size()) << i;
            if (done) ++pos;
        } else {
            if (pick(3) == 0) selectUnit(*s, pick(4));
            if (pick(3) == 0) selectPattern(*s, pick(3));
            const Score was = s->score;
            const size_t k = static_cast<size_t>(pick(static_cast<int>(kinds().size()) + 5));
            if (k < kinds().size()) kinds()[k].edit(*s);
            else setLinked(*s, static_cast<Param>(pick(kParamCount)), pick(101));
            const bool changed = std::memcmp(&was, &s->score, sizeof(Score)) != 0;
            if (!changed) continue;
            images.resize(pos + 1);
            images.push_back(saved(*s));
            ++pos;
            if (pos - oldest > kMaxUndoSteps) ++oldest;
            continue;
        }
        ASSERT_EQ(saved(*s), images[pos]) << i;
        ASSERT_TRUE(engineAgrees(*s)) << i;
    }
    EXPECT_GT(oldest, 0u);  // the run went past the history's length
}

TEST(Undo, EditsOfOneControlInQuickSuccessionJoin) {
    auto s = undoSynth();
    const Bytes start = saved(*s);
    // A drag: many positions, each within a second of the one before.
    for (int p = 51; p <= 80; ++p, Clock::ms += 300) setLinked(*s, Param::kCutoff, p);
    const Bytes dragged = saved(*s);
    Clock::ms += 200;
    setLinked(*s, Param::kResonance, 20);  // another control: a step of its own
    setLinked(*s, Param::kResonance, 30);
    Clock::ms += 1001;
    setLinked(*s, Param::kResonance, 40);  // a pause: a new step
    ASSERT_TRUE(undo(*s) && undo(*s));
    EXPECT_EQ(saved(*s), dragged);
    ASSERT_TRUE(undo(*s));
    EXPECT_EQ(saved(*s), start);
    EXPECT_FALSE(undo(*s));
    // The same control on another unit, or after Undo, starts a new step.
    addUnit(*s);
    setLinked(*s, Param::kCutoff, 10);
    selectUnit(*s, 1);
    setLinked(*s, Param::kCutoff, 11);
    EXPECT_EQ(s->undo.applied, 3u);
    // A drag that ends where it began leaves no step.
    Clock::ms += 5000;
    setLinked(*s, Param::kCutoff, 12);
    setLinked(*s, Param::kCutoff, 11);
    EXPECT_EQ(s->undo.applied, 3u);
}

TEST(Undo, TheHistoryIsBounded) {
    auto s = undoSynth();
    for (int i = 0; i < 1500; ++i, Clock::ms += 2000) setLinked(*s, Param::kCutoff, i % 2 ? 10 : 90);
    EXPECT_EQ(s->undo.steps.size(), kMaxUndoSteps);
    // Edits that rewrite every step of every pattern: the byte budget holds,
    // and at least kKeptUndoSteps steps stay.
    for (int i = 0; i < 400; ++i) {
        Edit edit(*s, "Everything");
        for (auto* plane : {s->score.doc.stepNoteOn, s->score.doc.stepSlide, s->score.doc.stepSpare})
            std::memset(plane, i & 1, sizeof s->score.doc.stepNoteOn);
    }
    EXPECT_GE(s->undo.steps.size(), kKeptUndoSteps);
    EXPECT_LE(historyFootprint(*s), kUndoBudgetBytes + (size_t{1} << 20));
}

TEST(Undo, UnsavedWorkIsKnown) {
    auto s = undoSynth();
    EXPECT_FALSE(documentChanged(*s));
    selectUnit(*s, 0);
    selectPattern(*s, 5);  // the selection is no change
    EXPECT_FALSE(documentChanged(*s));
    EXPECT_EQ(undoName(*s), nullptr);
    setLinked(*s, Param::kCutoff, 90);
    EXPECT_TRUE(documentChanged(*s));
    undo(*s);
    EXPECT_FALSE(documentChanged(*s));
    redo(*s);
    markSaved(*s);
    EXPECT_FALSE(documentChanged(*s));
    undo(*s);
    EXPECT_TRUE(documentChanged(*s));
    // A loaded file is what the document holds, with no history before it.
    const std::string path = ::testing::TempDir() + "undo-load.pat";
    ASSERT_TRUE(writePatternFile(s->score.doc, path.c_str()));
    redo(*s);
    ASSERT_TRUE(loadPatternFile(*s, path.c_str()));
    EXPECT_FALSE(documentChanged(*s));
    EXPECT_EQ(undoName(*s), nullptr);
    EXPECT_EQ(redoName(*s), nullptr);
    forgetSaved(*s);
    EXPECT_TRUE(documentChanged(*s));
}

}  // namespace
}  // namespace velmor
