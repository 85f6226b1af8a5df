// The undo history: every kind of edit taken back and brought again to the
// bytes a save writes and to the sound a fresh engine given the same values
// plays, a long random run against saved images, joined drags, the
// history's bounds and the unsaved mark.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "files/pattern_file.h"
#include "files/user_wave.h"
#include "model/pattern_clipboard.h"
#include "model/song.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr auto saved = testing::savedPattern;

// Whether the engine plays what the interface holds.
bool engineAgrees(const Synth& s) { return std::memcmp(s.engine.score.get(), &s.score, sizeof(Score)) == 0; }

int64_t g_ms = 0;

std::unique_ptr<Synth> undoSynth() {
    auto s = testing::startedSynth();
    s->undo.clock = [] { return g_ms; };
    return s;
}

struct Kind {
    const char* name;
    void (*edit)(Synth&);
};

void loadWave(Synth& s) {
    const std::string wave = testing::tempPath("undo-wave.raw");
    std::FILE* f = std::fopen(wave.c_str(), "wb");
    std::fclose((std::fputs("a user wave", f), f));
    loadUserWave(s, wave.c_str());
    std::remove(wave.c_str());
}

// "Add Unit" also selects the unit added: undone, it is gone.
// clang-format off
const Kind kKinds[] = {
    {"Cutoff", [](Synth& s) { setLinked(s, Param::kCutoff, 90); }}, {"Filter", [](Synth& s) { setLinked(s, Param::kFilterMode, 3); }},
    {"Osc 2 Wave", [](Synth& s) { setParameter(s, 1, Param::kOsc2Wave, 2); }}, {"Tempo", [](Synth& s) { setLinked(s, Param::kTempo, 150); }},
    {"Swing", [](Synth& s) { setLinked(s, Param::kSwing, 40); }}, {"Step Pitch", [](Synth& s) { setStepPitchFromSlider(s, 3, 7); }},
    {"Note On/Off", [](Synth& s) { toggleStepNoteOn(s, 2); }}, {"Slide On/Off", [](Synth& s) { toggleStepSlide(s, 2); }},
    {"Accent On/Off", [](Synth& s) { toggleStepAccent(s, 2); }}, {"Generate Random", [](Synth& s) { generateRandomPattern(s, 99); }},
    {"Pitch", [](Synth& s) { transposePattern(s, -1); }}, {"Shift", [](Synth& s) { shiftPattern(s, 1); }},
    {"Paste", [](Synth& s) { s.patternClipboard.pitch[4] = 30, pastePattern(s); }},
    {"Paste Settings", [](Synth& s) { selectUnit(s, 1), pasteSettings(s, 0); }}, {"Add Unit", [](Synth& s) { addUnit(s), selectUnit(s, 2); }},
    {"Delete Unit", [](Synth& s) { selectUnit(s, 0), deleteCurrentUnit(s); }}, {"Link", [](Synth& s) { toggleLink(s, 1); }},
    {"Song Pattern", [](Synth& s) { setSongPattern(s, 1, 7); }}, {"Insert Position", [](Synth& s) { insertSongPosition(s, 1, 3); }},
    {"Delete Position", [](Synth& s) { deleteSongPosition(s, 0); }}, {"Song Mode", [](Synth& s) { setSongMode(s, true); }},
    {"Load Wave", loadWave}
};
// clang-format on
constexpr int kKindCount = static_cast<int>(std::size(kKinds));

TEST(Undo, EveryKindOfEditGoesBackAndComesAgain) {
    for (const Kind& k : kKinds) {
        auto s = undoSynth();
        // Two units, a song of three positions, and work of its own beforehand.
        addUnit(*s), insertSongPosition(*s, 1, 2), insertSongPosition(*s, 2, 4), setStepPitchFromSlider(*s, 0, 20);
        clearHistory(*s);
        const Bytes before = saved(*s);
        const Derived derived = s->score.derived;
        k.edit(*s);
        const Bytes after = saved(*s);
        SCOPED_TRACE(k.name);
        ASSERT_NE(before, after);
        ASSERT_STREQ(undoName(*s), k.name);
        ASSERT_TRUE(undo(*s) && !undo(*s));
        EXPECT_EQ(saved(*s), before);
        // What the setters derived goes back too; the engine plays it, and a unit in use is selected.
        EXPECT_TRUE(std::memcmp(&s->score.derived.units, &derived.units, sizeof derived.units) == 0 && engineAgrees(*s) &&
                    s->selection.currentUnit < s->score.doc.unitCount);
        ASSERT_STREQ(redoName(*s), k.name);
        ASSERT_TRUE(redo(*s) && !redo(*s));
        EXPECT_EQ(saved(*s), after);
    }
}

// Four units playing, each with every part of its voice audible (the delay,
// the LFO, distortion, ring modulation and FM, a little different in each
// unit), at 180 BPM, a song of six positions playing patterns 1 to 6, each
// a little different, in song mode (unless not), and step 3 at a known
// position.
std::unique_ptr<Synth> playingSynth(bool songMode = true) {
    auto s = undoSynth();
    for (int u = 1; u < 4; ++u) testing::applyStartupLikeSettings(*s, u);
    for (int u = 0; u < 4; ++u)
        for (Param p : {Param::kDelaySend, Param::kLfoAmount, Param::kDistWet, Param::kRingMod, Param::kFmAmount}) setParameter(*s, u, p, 40 + u);
    setParameter(*s, 0, Param::kTempo, 180);
    {
        velmor::Edit edit(*s);
        for (int p = 0; p < 6; ++p)
            for (int u = 0; u < 4; ++u) s->score.doc.stepPitch[stepIndex(u, p, 0)] = static_cast<int8_t>(5 + 4 * p);
    }
    for (int p = 1; p < 6; ++p) insertSongPosition(*s, p, p);
    setSongMode(*s, songMode), setStepPitchFromSlider(*s, 3, 20);
    clearHistory(*s);
    return s;
}

std::vector<int16_t> frames(Synth& s, int count = 2500) { return testing::renderFrames(s, count, 700); }

// A parameter set through the model (then undone and brought again) sounds
// exactly as the same values set on the engine's own score by the thread
// that renders it (a plugin's automation): every parameter of every unit.
TEST(Undo, EveryParameterSoundsAsTheEngineSetsItAfterSetUndoAndRedo) {
    for (int p = 0; p < kParamCount; ++p) {
        const Param id = static_cast<Param>(p);
        const ParameterTraits& traits = parameterTraits(id);
        auto model = playingSynth(), direct = playingSynth();
        for (int u = 0; u < (traits.global ? 1 : 4); ++u) {
            SCOPED_TRACE(::testing::Message() << traits.name << " of unit " << u + 1);
            const int32_t before = traits.minimum + (traits.maximum - traits.minimum) / 3, after = traits.maximum;
            setParameter(*model, u, id, before), clearHistory(*model);
            // The engine given the value directly plays what the model plays.
            const auto same = [&](int32_t value, const char* when) {
                applyParameter(direct->engine, u, id, value);
                ASSERT_EQ(frames(*model), frames(*direct)) << when;
            };
            same(before, "before");
            setParameter(*model, u, id, after), same(after, "set");
            ASSERT_TRUE(undo(*model));
            same(before, "undone");
            ASSERT_TRUE(redo(*model));
            same(after, "redone");
        }
    }
}

// Every kind of edit undone and brought again sounds as a fresh engine that
// is given the same values directly: by the edit that takes it back where
// there is one, else by the bytes themselves with the oscillator restarts
// the edit's setters made.
TEST(Undo, EveryKindOfEditSoundsAsTheSameValuesGivenDirectlyAfterUndoAndRedo) {
    using Edit = void (*)(Synth&);
    // clang-format off
    const std::pair<const char*, Edit> kBack[] = {
        {"Cutoff", [](Synth& s) { setLinked(s, Param::kCutoff, 50); }}, {"Filter", [](Synth& s) { setLinked(s, Param::kFilterMode, 0); }},
        {"Osc 2 Wave", [](Synth& s) { setParameter(s, 1, Param::kOsc2Wave, 0); }}, {"Tempo", [](Synth& s) { setLinked(s, Param::kTempo, 180); }},
        {"Swing", [](Synth& s) { setLinked(s, Param::kSwing, 0); }}, {"Step Pitch", [](Synth& s) { setStepPitchFromSlider(s, 3, 20); }},
        {"Note On/Off", [](Synth& s) { toggleStepNoteOn(s, 2); }}, {"Slide On/Off", [](Synth& s) { toggleStepSlide(s, 2); }},
        {"Accent On/Off", [](Synth& s) { toggleStepAccent(s, 2); }}, {"Shift", [](Synth& s) { shiftPattern(s, -1); }},
        {"Link", [](Synth& s) { toggleLink(s, 1); }}, {"Song Pattern", [](Synth& s) { setSongPattern(s, 1, 1); }},
        {"Insert Position", [](Synth& s) { deleteSongPosition(s, 1); }}, {"Delete Position", [](Synth& s) { insertSongPosition(s, 0, 0); }},
        {"Song Mode", [](Synth& s) { setSongMode(s, false); }}
    };
    // clang-format on
    constexpr int kPattern = 16 * 3675 + 1;  // past the next pattern's start, at 180 BPM
    for (const Kind& k : kKinds) {
        if (std::string(k.name) == "Add Unit" || std::string(k.name) == "Delete Unit") continue;  // three units would be four
        SCOPED_TRACE(k.name);
        const bool songMode = std::string(k.name) != "Song Mode";
        auto model = playingSynth(songMode), direct = playingSynth(songMode);
        const Edit* back = nullptr;
        for (const auto& [name, edit] : kBack)
            if (std::string(name) == k.name) back = &edit;
        // The song at its second position, which song edits at or before it move.
        ASSERT_EQ(testing::renderFrames(*model, 150000), testing::renderFrames(*direct, 150000));
        ASSERT_EQ(model->engine.song.position, songMode ? 1 : -1);
        const Score was = direct->score;
        k.edit(*model), k.edit(*direct);
        const Score now = direct->score;
        ASSERT_EQ(model->undo.steps.size(), 1u);
        // The restarts the edit made, to give again with its bytes.
        std::vector<EngineCommand> restarts;
        for (const EngineCommand& c : model->undo.steps.back().commands)
            if (c.kind == EngineCommand::kRestartOscillators) restarts.push_back(c);
        const auto give = [&](const Score& values) {
            {
                velmor::Edit edit(*direct);
                direct->score = values;
            }
            for (const EngineCommand& c : restarts) postToEngine(*direct, c);
        };
        ASSERT_EQ(frames(*model, kPattern), frames(*direct, kPattern)) << "set";
        ASSERT_TRUE(undo(*model));
        back ? (*back)(*direct) : give(was);
        ASSERT_EQ(frames(*model, kPattern), frames(*direct, kPattern)) << "undone";
        ASSERT_TRUE(redo(*model));
        back ? k.edit(*direct) : give(now);
        ASSERT_EQ(frames(*model, kPattern), frames(*direct, kPattern)) << "redone";
    }
}

TEST(Undo, ARandomRunFollowsTheSavedImages) {
    auto s = undoSynth();
    std::mt19937 rng(7);
    std::vector<Bytes> images{saved(*s)};  // images[pos] is what the document saves as now
    size_t pos = 0, oldest = 0;
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int i = 0; i < 5000; ++i) {
        g_ms += 1500;
        const int action = pick(10);
        if (action < 3) {
            const bool back = action < 2, done = back ? undo(*s) : redo(*s);
            ASSERT_EQ(done, back ? pos > oldest : pos + 1 < images.size()) << i;
            if (done) pos += back ? -1 : 1;
        } else {
            if (pick(3) == 0) selectUnit(*s, pick(4));
            if (pick(3) == 0) selectPattern(*s, pick(3));
            const Score was = s->score;
            const int k = pick(kKindCount + 5);
            if (k < kKindCount)
                kKinds[k].edit(*s);
            else
                setLinked(*s, static_cast<Param>(pick(kParamCount)), pick(101));
            if (std::memcmp(&was, &s->score, sizeof(Score)) == 0) continue;
            images.resize(++pos);
            images.push_back(saved(*s));
            oldest += pos - oldest > kMaxUndoSteps;
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
    for (int p = 51; p <= 80; ++p, g_ms += 300) setLinked(*s, Param::kCutoff, p);
    const Bytes dragged = saved(*s);
    g_ms += 200;
    setLinked(*s, Param::kResonance, 20);  // another control: a step of its own
    setLinked(*s, Param::kResonance, 30);
    g_ms += 1001;
    setLinked(*s, Param::kResonance, 40);  // a pause: a new step
    ASSERT_TRUE(undo(*s) && undo(*s));
    EXPECT_EQ(saved(*s), dragged);
    ASSERT_TRUE(undo(*s));
    EXPECT_EQ(saved(*s), start);
    EXPECT_FALSE(undo(*s));
    // A drag that ends where it began leaves no step.
    setLinked(*s, Param::kCutoff, 10), setLinked(*s, Param::kCutoff, 50);
    EXPECT_EQ(undoName(*s), nullptr);
}

TEST(Undo, TheHistoryIsBounded) {
    // The random run passes the number of steps kept; here edits that
    // rewrite every step of every pattern: the byte budget holds, and at
    // least kKeptUndoSteps steps stay.
    auto s = undoSynth();
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
    selectPattern(*s, 5);  // the selection is no change
    EXPECT_FALSE(documentChanged(*s) || undoName(*s));
    // Changed, undone, brought again and saved, undone after the save.
    std::vector<bool> changed;
    setLinked(*s, Param::kCutoff, 90), changed.push_back(documentChanged(*s));
    undo(*s), changed.push_back(documentChanged(*s));
    redo(*s), markSaved(*s), changed.push_back(documentChanged(*s));
    undo(*s), changed.push_back(documentChanged(*s));
    EXPECT_EQ(changed, (std::vector<bool>{true, false, false, true}));
    // A loaded file is what the document holds, with no history before it.
    const std::string path = testing::tempPath("undo-load.pat");
    ASSERT_TRUE(writePatternFile(s->score.doc, path.c_str()) && loadPatternFile(*s, path.c_str()));
    std::remove(path.c_str());
    EXPECT_FALSE(documentChanged(*s) || undoName(*s) || redoName(*s));
}

}  // namespace
}  // namespace velmor
