// The one way into the engine: the model's edits as transactions of patches
// and commands, the queue that carries them whole, and events at frames of
// a block, which give the same frames whatever the block size.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "files/pattern_file.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::startedSynth;

// What an edit sends to the engine, taken from the queue as the audio
// thread would take it.
std::vector<EngineCommand> sentBy(Synth& s, const std::function<void(Synth&)>& edit) {
    s.engine.input.audioTakes = true, edit(s);
    std::vector<EngineCommand> sent;
    while (const EngineCommand* c = s.engine.input.queue.front()) {
        sent.push_back(*c);
        s.engine.input.queue.pop();
    }
    s.engine.input.audioTakes = false;
    return sent;
}

// Four busy units from a pattern file (every filter mode, LFO target and
// waveform, FM, sync, pulse width, distortion, the delay), with swing,
// accents and slides: a state where every edit below is heard.
std::unique_ptr<Synth> busySynth() {
    auto s = startedSynth();
    EXPECT_EQ(loadPatternFile(*s, VELMOR_FUZZ_DIR "/corpus/four-units.pat"), 1);
    selectUnit(*s, 1);
    for (int step : {2, 5, 11, 15}) toggleStepSlide(*s, step);
    for (int step : {0, 3, 9}) toggleStepAccent(*s, step);
    selectUnit(*s, 0);
    setLinked(*s, Param::kSwing, 40);
    return s;
}

// Also without edits: the frames of any block sizes are those of one block,
// whatever the sound, the song, swing and accents.
TEST(EngineInput, EventsAtTheirFramesGiveTheSameFramesWhateverTheBlockSize) {
    // Edits as events at chosen frames, recorded from a third instance in
    // the same state (a tempo change, a filter switch that clears the
    // memories, a wave that restarts the oscillators, a song edit, ...).
    auto script = busySynth();
    // clang-format off
    const struct { int frame; std::function<void(Synth&)> edit; } edits[] = {
        {0, [](Synth& s) { setLinked(s, Param::kResonance, 90); }}, {777, [](Synth& s) { setLinked(s, Param::kTempo, 133); }},
        {20000, [](Synth& s) { setLinked(s, Param::kFilterMode, 1); }}, {20000, [](Synth& s) { setParameter(s, 1, Param::kOsc2Wave, 2); }},
        {65535, [](Synth& s) { setLinked(s, Param::kPhase, 50); }}, {65536, [](Synth& s) { transposePattern(s, -1); }},
        {70001, [](Synth& s) { setSongMode(s, true); insertSongPosition(s, 1, 2); }},
        {99999, [](Synth& s) { setParameter(s, 1, Param::kAccent, 100); setLinked(s, Param::kFeedback, 100); }},
        {140000, [](Synth& s) { deleteCurrentUnit(s); }}
    };
    // clang-format on
    std::vector<EngineEvent> events;
    for (const auto& t : edits)
        for (const EngineCommand& c : sentBy(*script, t.edit)) events.push_back({t.frame, c});

    constexpr int kFrames = 150000;
    auto whole = busySynth();
    const auto expected = testing::renderEvents(whole->engine, events, kFrames, [] { return kFrames; });
    // The edits were heard, and they are the script's score.
    EXPECT_EQ(std::memcmp(whole->engine.score.get(), &script->score, sizeof(Score)), 0);
    auto unedited = busySynth();
    EXPECT_NE(testing::renderFrames(*unedited, kFrames), expected);

    std::mt19937 rng(5);
    for (int round = 0; round < 6; ++round) {
        const int sizes[] = {1, 37, 512, 65536};
        EXPECT_EQ(testing::renderEvents(busySynth()->engine, events, kFrames,
                                        [&] { return round < 4 ? sizes[round] : static_cast<int>(rng() % 9000) + 1; }),
                  expected)
            << "round " << round;
    }
}

TEST(EngineInput, EditsTravelAsWholeTransactionsInTheirOrder) {
    auto s = startedSynth();
    // One setter on two linked units: the patches first, each restart after
    // the phase it reads.
    toggleLink(*s, 1);
    const auto phase = sentBy(*s, [](Synth& m) { setLinked(m, Param::kPhase, 100); });
    std::vector<int> kinds;
    for (const EngineCommand& c : phase) kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<int>{EngineCommand::kWrite, EngineCommand::kRestartOscillators, EngineCommand::kWrite,
                                       EngineCommand::kRestartOscillators}));
    EXPECT_EQ(s->engine.voices[1].osc2Accum, 0) << "nothing applies before the audio thread takes it";
    for (const EngineCommand& c : phase) applyCommand(s->engine, c);
    EXPECT_EQ(s->engine.voices[1].osc2Accum, 256 * 8192);

    // A queue shows nothing of a transaction until it is committed.
    SpscRing<int, 4> ring;
    EXPECT_TRUE(ring.fits(4));
    ring.stage(1), ring.stage(2);
    EXPECT_EQ(ring.front(), nullptr);
    EXPECT_FALSE(ring.fits(3));
    ring.commit();
    ASSERT_NE(ring.front(), nullptr);
    EXPECT_EQ(*ring.front(), 1);
    ring.pop();
    EXPECT_EQ(*ring.front(), 2);

    // An edit that changes too much for patches sends the whole score, then
    // the commands it posted; the copy is freed once the engine has taken it.
    const auto many = sentBy(*s, [](Synth& m) {
        Edit edit(m);
        for (uint8_t& on : m.score.doc.stepNoteOn) on = 0;
        loadPatternFile(m, VELMOR_FUZZ_DIR "/corpus/four-units.pat");
    });
    ASSERT_GT(many.size(), 1u);
    EXPECT_TRUE(many[0].kind == EngineCommand::kSwap && many[1].kind == EngineCommand::kRearmEnvelope && s->feed.swaps.size() == 1u);
    for (const EngineCommand& c : many) applyCommand(s->engine, c);
    EXPECT_EQ(std::memcmp(s->engine.score.get(), &s->score, sizeof(Score)), 0);
    setLinked(*s, Param::kCutoff, 10);
    EXPECT_TRUE(s->feed.swaps.empty());

    // Commands that name no part of the engine are no commands.
    const Score before = *s->engine.score;
    EngineCommand outside = EngineCommand::write(sizeof(Score) - 2, "abcd", 4);
    applyCommand(s->engine, outside);
    applyCommand(s->engine, EngineCommand::of(EngineCommand::kRestartOscillators, 8));
    applyCommand(s->engine, EngineCommand::of(EngineCommand::kClearFilter, -1));
    EXPECT_EQ(std::memcmp(s->engine.score.get(), &before, sizeof(Score)), 0);
}

}  // namespace
}  // namespace velmor
