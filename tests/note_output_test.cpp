// The sequencer driving other instruments: the notes it sends while it plays
// are the MIDI export's, note for note and frame for frame, and Stop ends
// them; a Program Change queues a unit's pattern for the next pattern start
// (pattern mode only); "Local Off" silences a unit and nothing else.

#include <gtest/gtest.h>

#include "engine/note_input.h"
#include "support/sequencer_notes.h"

namespace velmor {
namespace {

using testing::command, testing::renderFrames, testing::startedSynth, testing::Note;

// The song of the tests (support/sequencer_notes.h) at 131 BPM, its notes
// going out.
std::unique_ptr<Synth> slidingSong() {
    auto s = testing::slidingSong(131);
    resetEngine(s->engine);
    applyCommand(s->engine, command(EngineCommand::kNoteOut, 1));
    return s;
}

// The notes the engine reports over `frames` frames in blocks of `block`,
// at the ticks of the song's step length; what still sounds at the end goes
// with it.
std::vector<Note> playedNotes(Synth& s, int frames, int block) {
    std::vector<Note> notes;
    const int32_t sps = s.score.derived.samplesPerStep;
    for (int done = 0; done < frames; done += block) {
        renderFrames(s, std::min(block, frames - done), block);
        const NoteOut& out = s.engine.noteOut;
        for (int i = 0; i < out.count; ++i) testing::addSent(notes, done + out.messages[i].frame, out.messages[i].bytes, sps);
    }
    return testing::byChannel(notes);
}

TEST(NoteOutput, TheNotesSentAreTheExportsAndStopEndsThem) {
    auto s = slidingSong();
    const MidiFileOut file = midiFromScore(s->score);
    const std::vector<Note> exported = testing::exportedNotes(file);
    ASSERT_GT(exported.size(), 80u);
    // One pass, and the first step of the next: whatever the block size.
    const int pass = 3 * kStepsPerPattern * s->score.derived.samplesPerStep;
    for (int block : {61, 4096}) {
        auto song = slidingSong();
        EXPECT_EQ(testing::byChannel(playedNotes(*song, pass, block), file.endTick), exported) << block;
    }
    // Stop in the middle of a note: every note sounding ends there.
    renderFrames(*s, 7 * s->score.derived.samplesPerStep + 100);
    const EngineEvent stop{50, command(EngineCommand::kSequencer, 0)};
    std::vector<int16_t> frames(2 * 1000);
    renderBlock(s->engine, frames.data(), 1000 * 4, {&stop, 1});
    const NoteOut& out = s->engine.noteOut;
    ASSERT_GT(out.count, 0);
    for (int i = 0; i < out.count; ++i) EXPECT_TRUE((out.messages[i].bytes[0] & 0xF0) == 0x80 && out.messages[i].frame == 50);
    renderFrames(*s, 20000);
    EXPECT_EQ(s->engine.noteOut.count, 0);
}

// Unit 1's notes over two patterns, as the keys they start with.
std::vector<int> unitKeys(Synth& s, int frames, int channel) {
    std::vector<int> keys;
    for (const Note& n : playedNotes(s, frames, 512))
        if (std::get<0>(n) == channel) keys.push_back(std::get<1>(n));
    return keys;
}

TEST(NoteOutput, AProgramChangeQueuesAUnitsPatternForTheNextPatternStart) {
    const auto make = [](bool song) {
        auto s = startedSynth();
        testing::applyStartupLikeSettings(*s, 1);
        // Pattern p: every step at pitch 10 + p.
        {
            velmor::Edit edit(*s);
            for (int u = 0; u < 2; ++u)
                for (int p = 0; p < 8; ++p)
                    for (int i = 0; i < kStepsPerPattern; ++i) s->score.doc.stepPitch[stepIndex(u, p, i)] = static_cast<int8_t>(10 + p);
        }
        if (song) setSongMode(*s, true);
        resetEngine(s->engine);
        applyCommand(s->engine, command(EngineCommand::kNoteOut, 1));
        return s;
    };
    const int pattern = kStepsPerPattern * 8268;
    // Program Changes 4 then 6 on channel 1 in the middle of the first pattern:
    // unit 1 plays pattern 7 from the second on, unit 2 stays.
    auto s = make(false);
    renderFrames(*s, 30000);
    for (uint8_t program : {4, 6}) applyMidi(s->engine, std::vector<uint8_t>{0xC0, program}.data(), 2);
    const auto first = unitKeys(*s, pattern - 30000 + 100, 0);
    EXPECT_EQ(std::vector<int>(first.end() - 1, first.end()), std::vector<int>{10 + 6 + kKeyOfPitchZero});
    EXPECT_EQ(std::count(first.begin(), first.end(), 10 + kKeyOfPitchZero), static_cast<long>(first.size()) - 1);
    EXPECT_EQ(unitKeys(*s, pattern, 1), std::vector<int>(16, 10 + kKeyOfPitchZero));
    // Choosing a pattern in the window takes every unit there.
    selectPattern(*s, 2), publish(*s);
    const auto third = unitKeys(*s, pattern, 0);
    EXPECT_EQ(third.back(), 12 + kKeyOfPitchZero);
    // In song mode a Program Change changes nothing.
    auto song = make(true), plain = make(true);
    applyMidi(song->engine, std::vector<uint8_t>{0xC0, 5}.data(), 2);
    EXPECT_EQ(renderFrames(*song, 2 * pattern), renderFrames(*plain, 2 * pattern));
}

TEST(NoteOutput, LocalOffSilencesItsUnitAndNothingElse) {
    // Unit 2 not heard sounds as unit 2 at volume 0 without a delay send;
    // its notes still go out.
    const auto make = [] {
        auto s = startedSynth();
        for (int u = 1; u < 3; ++u) testing::applyStartupLikeSettings(*s, u);
        for (int u = 0; u < 3; ++u) setParameter(*s, u, Param::kDelaySend, 50);
        resetEngine(s->engine);
        return s;
    };
    auto off = make(), silent = make();
    applyCommand(off->engine, command(EngineCommand::kLocalOff, 2));
    applyCommand(off->engine, command(EngineCommand::kNoteOut, 1));
    setParameter(*silent, 1, Param::kVolume, 0), setParameter(*silent, 1, Param::kDelaySend, 0);
    EXPECT_EQ(renderFrames(*off, 60000), renderFrames(*silent, 60000));
    EXPECT_GT(unitKeys(*off, 60000, 1).size(), 5u);
}

}  // namespace
}  // namespace velmor
