// MIDI into the engine: keys play units like steps (legato like a slide,
// velocity above 100 like an accent), last-note priority and the channels;
// the parser's hard cases; the steps following MIDI clock, whatever the
// block size and however the master drifts; the clock sent out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <functional>

#include "engine/midi_parser.h"
#include "engine/note_input.h"
#include "files/pattern_file.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::command, testing::renderFrames, testing::startedSynth;

TimedCommand note(int64_t frame, int key, int velocity) {
    return {frame, EngineCommand::midi(0x90, static_cast<uint8_t>(key), static_cast<uint8_t>(velocity))};
}
TimedCommand realTime(int64_t frame, uint8_t status) { return {frame, EngineCommand::midi(status, 0, 0, 1)}; }

// Renders `frames` frames in blocks of blockFrames with the events at their
// frames, as the renderer's --events does; `synced` follows the events'
// clock with the sequencer standing until they start it.
std::vector<int16_t> play(Synth& s, const std::vector<TimedCommand>& events, int frames, bool synced, int blockFrames = 512) {
    publishAndReset(s);
    std::vector<EngineEvent> at;
    if (synced) at.push_back({0, command(EngineCommand::kClockSync, 1)});
    at.push_back({0, command(EngineCommand::kSequencer, 0)});
    for (const TimedCommand& t : events) at.push_back({static_cast<int32_t>(t.frame), t.command});
    return testing::renderEvents(s.engine, at, frames, [=] { return blockFrames; });
}

TEST(NoteInput, AKeyPlaysLikeAStepAndLegatoLikeASlide) {
    // Pitch 27 is MIDI note 48, pitch 39 note 60. At 80 BPM step 0 lasts
    // 8268 frames and its gate closes after tick 7854.
    // clang-format off
    const struct { const char* what; std::function<void(Synth&)> step0; std::vector<TimedCommand> keys; } cases[] = {
        {"a key held to the gate", [](Synth&) {}, {note(0, 48, 100), note(7855, 48, 0)}},
        {"velocity 127, an accent", [](Synth& s) { toggleStepAccent(s, 0); }, {note(0, 48, 127), note(7855, 48, 0)}},
        {"a second key, legato", [](Synth& s) { toggleStepSlide(s, 0); }, {note(0, 48, 100), note(0, 60, 64)}}
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto pattern = startedSynth();
        setStepPitchFromSlider(*pattern, 0, 48 - 24), setStepPitchFromSlider(*pattern, 1, 48 - 36);
        c.step0(*pattern);
        publishAndReset(*pattern);
        const auto expected = renderFrames(*pattern, 8268, 512);
        auto keys = startedSynth();
        EXPECT_EQ(play(*keys, c.keys, 8268, false), expected);
    }
    // With the sequencer running and swing, keys pressed at the start of
    // the short step 1 glide over its length, as step 1's slide does, and
    // hold the target on into step 2.
    auto swungPattern = startedSynth(), swungKeys = startedSynth();
    for (Synth* s : {swungPattern.get(), swungKeys.get()}) {
        setLinked(*s, Param::kSwing, 60);
        setStepPitchFromSlider(*s, 2, 48 - 36);
    }
    setStepPitchFromSlider(*swungPattern, 1, 48 - 24), toggleStepSlide(*swungPattern, 1);
    publishAndReset(*swungPattern);
    const int step1 = 8268 + 8268 * 60 / 300, step2 = step1 + 8268 - 8268 * 60 / 300;
    const int heard = step2 + 7854 * (8268 + 8268 * 60 / 300) / 8268;  // to the swung step 2's gate
    const auto slid = renderFrames(*swungPattern, heard, 512);
    publishAndReset(*swungKeys);
    EXPECT_EQ(testing::renderEvents(swungKeys->engine, {{step1, EngineCommand::midi(0x90, 48, 100)}, {step1, EngineCommand::midi(0x90, 60, 64)}},
                                    heard, [=] { return heard; }),
              slid);

    // A plain key is not an accented one.
    auto plain = startedSynth(), accented = startedSynth();
    EXPECT_NE(play(*plain, {note(0, 48, 100)}, 4000, false), play(*accented, {note(0, 48, 101)}, 4000, false));
    // A pattern loaded while the sequencer stands re-arms no gate: silence.
    auto s = startedSynth();
    play(*s, {}, 100, false);
    ASSERT_EQ(loadPatternFile(*s, VELMOR_FUZZ_DIR "/corpus/four-units.pat"), 1);
    EXPECT_EQ(renderFrames(*s, 20000, 4096), std::vector<int16_t>(40000, 0));
}

TEST(NoteInput, TheNewestKeySoundsOnItsUnitsChannel) {
    auto s = startedSynth();
    addUnit(*s);                                          // unit 1 listens on channel 2
    s->score.doc.units[0].midiChannel = 17, publish(*s);  // off
    Engine& e = s->engine;
    const auto send = [&](std::vector<uint8_t> bytes) { applyMidi(e, bytes.data(), static_cast<int>(bytes.size())); };
    send({0x90, 60, 100});
    send({0x94, 60, 100});  // no unit on channel 5
    EXPECT_EQ(e.keys[0].count + e.keys[1].count, 0);
    for (int key : {48, 50, 52}) send({0x91, static_cast<uint8_t>(key), 90});
    const UnitKeys& k = e.keys[1];
    EXPECT_TRUE(k.pitch == 31 && k.from == 29 && k.glide == 0);
    send({0x91, 48, 0});  // velocity 0 lets go; not the newest: the glide goes on
    send({0x81, 70, 0});  // never pressed
    EXPECT_TRUE(k.count == 2 && k.pitch == 31 && k.from == 29 && k.glide == 0);
    send({0x81, 52, 0});  // the newest let go: back to the one before
    EXPECT_TRUE(k.count == 1 && k.pitch == 29 && k.from == 31 && k.glide == 0 && !k.tail);
    send({0x81, 50, 0});
    EXPECT_TRUE(k.count == 0 && k.tail && e.voices[1].envStage == 3);
    // Every key at once, each held once, then All Notes Off.
    for (int key = 0; key < 128; ++key) send({0x91, static_cast<uint8_t>(key), 100});
    send({0x91, 5, 100});
    EXPECT_EQ(k.count, 128);
    EXPECT_EQ(k.pitch, pitchOfNote(5));
    send({0xB1, 123, 0});
    EXPECT_TRUE(k.count == 0 && k.tail);
    // Folded by octaves into notes 24..72; a unit set to channel 3.
    EXPECT_EQ(std::vector<int32_t>({pitchOfNote(0), pitchOfNote(23), pitchOfNote(73), pitchOfNote(127)}), std::vector<int32_t>({3, 14, 40, 46}));
    s->score.doc.units[0].midiChannel = 3, publish(*s);
    send({0x92, 60, 100});
    EXPECT_EQ(e.keys[0].count, 1);
}

TEST(MidiParser, RunningStatusRealTimeSysExAndCutMessages) {
    const uint8_t bytes[] = {0x45, 0x90, 0x3C, 0xF8, 0x64, 0x3E, 0x00, 0xF0, 0x01, 0x02, 0x90, 0xF7, 0x40,
                             0x90, 0x41, 0xB0, 0x7B, 0x00, 0xC0, 0x05, 0x06, 0xF2, 0x10, 0x02, 0x03, 0x04};
    MidiParser parser;
    std::vector<std::vector<int>> got;
    for (uint8_t b : bytes) {
        MidiMessage m;
        if (parser.feed(b, m)) got.push_back({m.status, m.data1, m.data2, m.size});
    }
    // The stray data byte, the SysEx, the byte after it, the note cut short
    // by a status and data after a System Common message are dropped.
    EXPECT_EQ(got, (std::vector<std::vector<int>>{{0xF8, 0, 0, 1},
                                                  {0x90, 0x3C, 0x64, 3},
                                                  {0x90, 0x3E, 0x00, 3},
                                                  {0xB0, 0x7B, 0x00, 3},
                                                  {0xC0, 0x05, 0, 2},
                                                  {0xC0, 0x06, 0, 2},
                                                  {0xF2, 0x10, 0x02, 3}}));
}

// MIDI clock at 125 BPM: 882 frames a tick, 5292 a step, as the tempo gives.
std::vector<TimedCommand> clockAt125(int64_t from, int ticks) {
    std::vector<TimedCommand> clock;
    for (int i = 0; i < ticks; ++i) clock.push_back(realTime(from + 882 * int64_t{i}, 0xF8));
    return clock;
}

TEST(ClockIn, StartAndTicksPlayAsTheTempoWouldWhateverTheBlockSize) {
    const auto make = [] {
        auto s = startedSynth();
        setLinked(*s, Param::kTempo, 125), setLinked(*s, Param::kSwing, 30);
        generateRandomPattern(*s, 9);
        return s;
    };
    auto reference = make();
    publishAndReset(*reference);
    const auto expected = renderFrames(*reference, 60000, 4096);

    std::vector<TimedCommand> events = clockAt125(0, 70);
    events.insert(events.begin(), realTime(0, 0xFA));
    for (int block : {1, 37, 512, 65536}) {
        SCOPED_TRACE(block);
        auto s = make();
        EXPECT_EQ(play(*s, events, 60000, true, block), expected);
        EXPECT_EQ(s->engine.syncedTempo, 125);
    }
}

// Start, Continue and a Song Position Pointer from every state a user can
// be in play as the internal clock's Play, Stop, locate and Continue at the
// same frames: a song just loaded from its file (step 15 of its patterns
// slides into step 0, which Start must not silence), Start before the first
// tick, stopped after playing, after a Song Position Pointer, and after
// Continue. The master's clock runs on while it stands.
TEST(ClockIn, StartAndContinueFromEveryStatePlayAsTheInternalClock) {
    const std::string file = testing::tempPath("clock-states.pat");
    {
        auto s = startedSynth();
        setLinked(*s, Param::kTempo, 125), setLinked(*s, Param::kDelaySend, 60);
        for (int p = 0; p < 3; ++p) {
            selectPattern(*s, p), generateRandomPattern(*s, 11 + p);
            if (!s->score.doc.stepSlide[stepIndex(0, p, 15)]) toggleStepSlide(*s, 15);
        }
        insertSongPosition(*s, 1, 1), insertSongPosition(*s, 2, 2), setSongMode(*s, true);
        ASSERT_TRUE(writePatternFile(s->score.doc, file.c_str()));
    }
    using Kind = EngineCommand::Kind;
    const auto internal = [](int64_t frame, Kind kind, int32_t value = 0) { return TimedCommand{frame, command(kind, value)}; };
    constexpr int64_t kStop = 30000, kAgain = 40 * 882;
    struct Case {
        const char* name;
        std::vector<TimedCommand> clock, reference;
    };
    // clang-format off
    const Case cases[] = {
        {"just loaded", {realTime(0, 0xFA)}, {internal(0, EngineCommand::kSequencer, 1)}},
        {"Start before the first tick", {realTime(100, 0xFA)}, {internal(kAgain, EngineCommand::kSequencer, 1)}},
        {"stopped after playing", {realTime(0, 0xFA), realTime(kStop, 0xFC), realTime(kAgain, 0xFA)},
         {internal(0, EngineCommand::kSequencer, 1), internal(kStop, EngineCommand::kSequencer, 0), internal(kAgain, EngineCommand::kSequencer, 1)}},
        {"after a Song Position Pointer",
         {realTime(0, 0xFA), realTime(kStop, 0xFC), {kStop + 1, EngineCommand::midi(0xF2, 37, 0)}, realTime(kAgain, 0xFB)},
         {internal(0, EngineCommand::kSequencer, 1), internal(kStop, EngineCommand::kSequencer, 0), internal(kStop + 1, EngineCommand::kLocate, 37),
          internal(kAgain, EngineCommand::kSequencer, 2)}},
        // Stopped in step 5 of the first pattern: Continue begins that step again.
        {"after Continue", {realTime(0, 0xFA), realTime(kStop, 0xFC), realTime(kAgain, 0xFB)},
         {internal(0, EngineCommand::kSequencer, 1), internal(kStop, EngineCommand::kSequencer, 0), internal(kAgain, EngineCommand::kLocate, 5),
          internal(kAgain, EngineCommand::kSequencer, 2)}}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The clock's ticks from the first Start's frame on (the second case: from kAgain).
        std::vector<TimedCommand> clock = c.clock;
        for (const TimedCommand& t : clockAt125(c.clock.size() == 1 && c.clock[0].frame > 0 ? kAgain : 0, 200)) clock.push_back(t);
        std::stable_sort(clock.begin(), clock.end(), [](const TimedCommand& a, const TimedCommand& b) { return a.frame < b.frame; });
        auto followed = startedSynth(), played = startedSynth();
        ASSERT_TRUE(loadPatternFile(*followed, file.c_str()) && loadPatternFile(*played, file.c_str()));
        EXPECT_EQ(play(*followed, clock, 170000, true), play(*played, c.reference, 170000, false));
    }
    std::remove(file.c_str());
}

// A busy machine's clock at 125 BPM: every tick up to 5 ms early or late,
// and a burst of ticks 60 ms late that arrive bunched (a byte apart). Once
// 48 ticks came,
// the tempo shown and the step length that gates, slides, swing and the
// delay use stay within 1 BPM of 125; every step still begins at the frame
// of its first tick.
TEST(ClockIn, AJitteredOrLateTickMovesTheTempoByLittle) {
    auto s = startedSynth();
    Engine& e = s->engine;
    resetEngine(e);
    applyCommand(e, command(EngineCommand::kClockSync, 1)), applyMidi(e, std::vector<uint8_t>{0xFA}.data(), 1);
    std::vector<int64_t> ticks;
    uint32_t seed = 5;
    for (int64_t i = 0; i < 600; ++i) {
        seed = seed * 1664525 + 1013904223;
        const int64_t jitter = static_cast<int64_t>(seed >> 8) % 441 - 220, late = i >= 300 && i < 306 ? 2646 : 0;
        ticks.push_back(std::max(1000 + 882 * i + jitter + late, ticks.empty() ? 0 : ticks.back() + 14));  // a byte takes 14 frames
    }
    std::vector<int16_t> out(2 * 65536);
    int64_t done = 0, stepStart = 0;
    int32_t lowest = 999, highest = 0, shortest = 99999, longest = 0;
    for (size_t k = 0; k < ticks.size(); ++k) {
        const EngineEvent tick{static_cast<int32_t>(ticks[k] - done), EngineCommand::midi(0xF8, 0, 0, 1)};
        renderBlock(e, out.data(), static_cast<uint32_t>(ticks[k] + 1 - done) * 4, {&tick, 1});
        done = ticks[k] + 1;
        if (k % 6 == 0) stepStart = ticks[k];
        ASSERT_TRUE(e.currentStep == static_cast<int32_t>(k / 6 % 16) && e.stepTick == ticks[k] + 1 - stepStart)
            << "tick " << k << " step " << e.currentStep << " tick " << e.stepTick << " at " << ticks[k];
        if (k < 48) continue;
        lowest = std::min<int32_t>(lowest, e.syncedTempo), highest = std::max<int32_t>(highest, e.syncedTempo);
        shortest = std::min(shortest, e.clockIn.samplesPerStep), longest = std::max(longest, e.clockIn.samplesPerStep);
    }
    EXPECT_TRUE(lowest >= 124 && highest <= 126) << lowest << ".." << highest << " BPM";
    EXPECT_TRUE(shortest >= 5292 - 42 && longest <= 5292 + 42) << shortest << ".." << longest << " frames a step";
}

TEST(ClockIn, StopLocateContinueAndHold) {
    auto s = startedSynth();
    setSongPattern(*s, 0, 3), insertSongPosition(*s, 1, 4), insertSongPosition(*s, 2, 5), setSongMode(*s, true);
    Engine& e = s->engine;
    // Started, then stopped after 13 ticks: step 2 stands, the units released.
    std::vector<TimedCommand> events = {realTime(0, 0xFA)};
    for (const TimedCommand& t : clockAt125(100, 13)) events.push_back(t);
    events.push_back(realTime(12000, 0xFC));
    play(*s, events, 13000, true);
    EXPECT_TRUE(!e.running && e.currentStep == 2 && e.keys[0].tail && e.voices[0].envStage == 3);
    // Song position 2, step 5 (37 sixteenths), then Continue: the first
    // tick begins step 5 of pattern 6 at its frame.
    const uint8_t locate[] = {0xF2, 37, 0};
    applyMidi(e, locate, 3);
    EXPECT_TRUE(e.song.position == 2 && e.song.pattern == 5 && e.currentStep == 5);
    applyMidi(e, std::vector<uint8_t>{0xFB}.data(), 1);
    EXPECT_TRUE(e.running && e.clockIn.waiting);
    renderFrames(*s, 500);
    EXPECT_EQ(e.stepTick, 0) << "nothing moves before the first tick";
    applyMidi(e, std::vector<uint8_t>{0xF8}.data(), 1), renderFrames(*s, 300);
    EXPECT_TRUE(e.currentStep == 5 && e.stepTick == 300 && !e.keys[0].tail);
    // Two seconds without a tick hold the units; the next tick goes on.
    renderFrames(*s, 88200);
    EXPECT_TRUE(e.clockIn.holding && e.keys[0].tail && e.stepTick == 88200);
    applyMidi(e, std::vector<uint8_t>{0xF8}.data(), 1);
    EXPECT_TRUE(!e.clockIn.holding && e.clockIn.ticks == 1);
}

TEST(ClockIn, ADriftingMasterNeitherLosesNorDoublesAStep) {
    // 60 001 ticks whose spacing wanders between 90 and 150 frames: the
    // first begins a step and every sixth after it the next, 10 000 in all.
    std::vector<TimedCommand> events = {realTime(0, 0xFA)};
    double t = 0;
    for (int i = 0; i <= 60000; ++i) {
        events.push_back(realTime(static_cast<int64_t>(t), 0xF8));
        t += 120 + 30 * std::sin(i * 0.001) + (i % 7) - 3;
    }
    auto s = startedSynth();
    publishAndReset(*s);
    std::vector<EngineEvent> at = {{0, command(EngineCommand::kClockSync, 1)}};
    for (const TimedCommand& e : events) at.push_back({static_cast<int32_t>(e.frame), e.command});
    // The step seen at each block's end.
    int64_t steps = 0;
    int32_t last = 0;
    const auto counted = [&] { steps += s->engine.currentStep != last, last = s->engine.currentStep; };
    testing::renderEvents(s->engine, at, at.back().frame + 1, [&] { return counted(), 256; });
    counted();
    EXPECT_EQ(steps, 10000);
}

TEST(ClockOut, TicksFallOnTheStraightGridWhateverTheBlockSize) {
    // 120 BPM, 50 % swing: tick j of a pattern at ceil(j x 5512 / 6), a step
    // being 6 ticks whichever way it is swung.
    std::vector<int64_t> expected;
    for (int64_t j = 0; j < 2 * 96; ++j) expected.push_back((j / 96) * 16 * 5512 + ((j % 96) * 5512 + 5) / 6);
    for (int block : {37, 4096}) {
        auto s = startedSynth();
        setLinked(*s, Param::kTempo, 120), setLinked(*s, Param::kSwing, 50);
        publishAndReset(*s);
        applyCommand(s->engine, command(EngineCommand::kClockOut, 1));
        std::vector<int64_t> ticks;
        for (int64_t done = 0, n = 0; done < 2 * 16 * 5512; done += n) {
            n = std::min<int64_t>(block, 2 * 16 * 5512 - done);
            renderFrames(*s, static_cast<int>(n), block);
            for (int i = 0; i < s->engine.clockOut.count; ++i) ticks.push_back(done + s->engine.clockOut.frames[i]);
        }
        EXPECT_EQ(ticks, expected) << block;
    }
}

}  // namespace
}  // namespace velmor
