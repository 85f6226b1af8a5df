// The interface thread and the audio thread at full speed: one thread moves
// every control, toggles links, adds, deletes and pastes units, edits the
// song, undoes and redoes, and loads pattern files, while the other runs the
// 1 ms tick against a simulated device, and a third receives MIDI into the
// engine and takes the clock output's ticks; then the output shuts down
// through its handshake. Every
// edit reaches the engine whole and in order, and none is lost. Built with
// ThreadSanitizer by the test command, where it must report nothing.
// VELMOR_STRESS_SECONDS sets how long it runs (default 1).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/controls.h"
#include "audio/midi_stream.h"
#include "files/pattern_file.h"
#include "model/song.h"
#include "support/fake_device.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

double stressSeconds() {
    const char* v = std::getenv("VELMOR_STRESS_SECONDS");
    return v ? std::atof(v) : 1.0;
}

// One round of everything the interface thread can do while the output plays.
void interfaceRound(Synth& s, int round, const std::string& patternPath) {
    int count = 0;
    const SliderControl* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i) {
        const ParameterTraits& p = parameterTraits(sliders[i].param);
        onSliderScrolled(s, sliders[i].id, p.minimum + (round * 7 + i * 13) % (p.maximum - p.minimum + 1));
    }
    for (int id :
         {1030, 1031, 1032, 1033, 1034, 1041, 1042, 1043, 1044, 1045, 1202, 1203, 1204, 1205, 1206, 1036, 1038, 1040, 1046, 1047, 1200, 1201})
        if ((id + round) % 3 == 0) onChoiceClicked(s, id);
    onSyncClicked(s);
    // The effects dialog, and the groove.
    for (const auto& [id, positions] :
         {std::pair{Param::kFeedback, 101}, {Param::kDelaySteps, 5}, {Param::kPan, 129}, {Param::kSwing, 101}, {Param::kAccent, 101}})
        setLinked(s, id, static_cast<Position>(round % positions));
    onLinkClicked(s, kFirstLinkButton + round % 4);
    for (int i = 0; i < 16; ++i) setStepPitchFromSlider(s, i, (round + i) % 49);
    // The pattern bank and the song.
    selectPattern(s, round % 5), toggleStepAccent(s, round % 16);
    if (round % 3 == 0) insertSongPosition(s, round % 7, round % 4);
    if (round % 3 == 1) setSongPattern(s, round % 5, (round / 3) % 4);
    if (round % 3 == 2 && round % 9 != 2) deleteSongPosition(s, round % 6);
    if (round % 11 == 0) setSongMode(s, !songModeOn(s));
    switch (round % 6) {
        case 0: addUnit(s); break;
        case 1: copySettings(s); break;
        case 2:
            selectUnit(s, round % 4);
            pasteSettings(s, s.selection.settingsSource);
            break;
        case 3: deleteCurrentUnit(s); break;
        case 4: loadPatternFile(s, patternPath.c_str()); break;
        case 5: selectUnit(s, (round / 6) % 4); break;
    }
    // Steps of this round taken back and brought again (whole units among them).
    for (int i = 0; i < 3; ++i) undo(s);
    for (int i = 0; i < 3; ++i) redo(s);
    s.engine.levelLeft = 0;  // the status refresh clears the clip mark
    // A marker in two reserved words of a slot no operation here reaches,
    // sent as one edit: the engine must see the pair whole and the rounds in
    // order.
    Edit marker(s);
    s.score.doc.units[7].spareA = static_cast<uint32_t>(round), s.score.doc.units[7].spareB = 3 * static_cast<uint64_t>(round);
}

// The device calls back after every render, on the thread that rendered,
// while it owns the engine: there the engine's copy of the marker is read.
class ObservedDevice : public testing::FakeDevice {
public:
    ObservedDevice(uint32_t bytes, const Engine& e) : FakeDevice(bytes), engine(e) {}
    void unlock(const LockedRegion& region) override {
        const UnitRecord& r = engine.score->doc.units[7];
        if (r.spareB != 3 * uint64_t{r.spareA}) ++torn;
        if (!seen.empty() && r.spareA < seen.back()) ++reordered;
        seen.push_back(r.spareA);
        FakeDevice::unlock(region);
    }
    const Engine& engine;
    std::vector<uint32_t> seen;
    int torn = 0, reordered = 0;
};

TEST(Concurrency, InterfaceAndAudioThreadsMeetWithoutALock) {
    auto s = testing::startedSynth();
    // A pattern file with four busy units to load again and again.
    const std::string patternPath = VELMOR_FUZZ_DIR "/corpus/four-units.pat";
    ObservedDevice device(4608, s->engine);
    AudioOutput out;
    testing::attach(out, device);
    ClockSender clock;
    out.clockTicks = &clock;
    postToEngine(*s, testing::command(EngineCommand::kClockOut, 1));
    startOutput(out, s->engine);

    // The MIDI thread: keys, controllers, the clock's messages and SysEx as
    // they come, and the clock output's ticks as they fall due. It rests
    // while the interface thread stops and starts the stream.
    MidiGate gate;
    MidiReceiver receiver;
    std::atomic<bool> midiRunning{true};
    std::atomic<long> midiMessages{0}, clockTicks{0};
    std::thread midi([&] {
        const uint32_t messages[] = {0x643C90, 0x3C80, 0x784591, 0x7B00B1, 0xF8, 0x0442F2, 0xFA, 0xFC, 0x7E7DF0, 0xF7, 0x3E};
        for (uint32_t n = 0; midiRunning; ++n) {
            if (!gate.enter()) continue;
            if (out.playing.load() == 1) {
                const uint32_t position = device.position;
                const int64_t frame = out.clock.frameAt(position, device.microseconds());
                receiver.receive(s->engine, out.clock, messages[n % std::size(messages)], frame, 0);
                midiMessages.fetch_add(1);
                uint32_t due[16];
                clockTicks.fetch_add(clock.due(frame, out.clock.first(), due, 16));
            }
            gate.leave();
        }
    });

    std::atomic<bool> timerRunning{true};
    std::atomic<long> ticks{0};
    std::thread timer([&] {
        // The device plays on: 1 ms of frames per tick, faster than real time.
        for (uint32_t position = 176; timerRunning; position = (position + 176) % 4608, ticks.fetch_add(1)) {
            device.position = position;
            audioTick(out, s->engine);
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
    int rounds = 0;
    while (std::chrono::steady_clock::now() < end) {
        interfaceRound(*s, rounds++, patternPath);
        if (rounds % 50 == 0) {
            gate.close();
            stopAndReset(out, s->engine);
            clock.drop();
            startOutput(out, s->engine);
            gate.open();
        }
    }

    // Shutdown: the tick keeps running while the output ends.
    midiRunning = false, midi.join();
    shutdownStreaming(out, &s->engine);
    EXPECT_EQ(out.renderBusy, 0u);
    const size_t locksAtShutdown = device.locks.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    timerRunning = false, timer.join();
    EXPECT_EQ(device.locks.size(), locksAtShutdown) << "no render after the handshake";
    EXPECT_EQ(device.overlaps, 0);
    EXPECT_TRUE(ticks > 100 && rounds > 10 && midiMessages > 100 && clockTicks > 10)
        << ticks << " ticks, " << rounds << " rounds, " << midiMessages << " MIDI messages, " << clockTicks << " clock ticks";

    // Every edit arrived: the engine plays exactly the score the interface
    // holds, and saw the markers whole and in order.
    EXPECT_EQ(std::memcmp(s->engine.score.get(), &s->score, sizeof(Score)), 0);
    EXPECT_EQ(std::pair(device.torn, device.reordered), std::pair(0, 0));
    EXPECT_GT(device.seen.size(), 10u);
    EXPECT_EQ(s->engine.score->doc.units[7].spareA, static_cast<uint32_t>(rounds - 1));
}

}  // namespace
}  // namespace velmor
