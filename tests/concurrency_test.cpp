// The interface thread and the audio thread at full speed: one thread moves
// every control, toggles links, adds, deletes and pastes units and loads
// pattern files, while the other runs the 1 ms tick against a simulated
// device; then the output shuts down through its handshake. Built with
// ThreadSanitizer by the test command, where it must report nothing.
// VELMOR_STRESS_SECONDS sets how long it runs (default 1).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "files/pattern_file.h"
#include "app/controls.h"
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
    const SliderSpec* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i) {
        const SliderSpec& row = sliders[i];
        const int span = row.maximum - row.minimum + 1;
        onSliderScrolled(s, row.id, row.minimum + (round * 7 + i * 13) % span);
    }
    for (int id : {1030, 1031, 1032, 1033, 1034, 1041, 1042, 1043, 1044, 1045, 1202, 1203, 1204, 1205, 1206, 1036,
                   1038, 1040, 1046, 1047, 1200, 1201})
        if ((id + round) % 3 == 0) onChoiceClicked(s, id);
    onSyncClicked(s);
    setLinked(s, Param::kFeedback, static_cast<Position>(round % 101));
    setLinked(s, Param::kDelaySteps, static_cast<Position>(round % 5));
    setLinked(s, Param::kPan, static_cast<Position>(round % 129));
    onLinkClicked(s, kFirstLinkButton + round % 4);
    for (int i = 0; i < 16; ++i) s.score.doc.stepPitch[stepIndex(s.selection.currentUnit, 0, i)] = static_cast<int8_t>(3 + (round + i) % 49);
    // The pattern bank, the song and the groove.
    selectPattern(s, round % 5);
    toggleStepAccent(s, round % 16);
    setLinked(s, Param::kSwing, static_cast<Position>(round % 101));
    setLinked(s, Param::kAccent, static_cast<Position>(round % 101));
    if (round % 3 == 0) insertSongPosition(s, round % 7, round % 4);
    if (round % 3 == 1) setSongPattern(s, round % 5, (round / 3) % 4);
    if (round % 3 == 2 && round % 9 != 2) deleteSongPosition(s, round % 6);
    if (round % 11 == 0) setSongMode(s, !songModeOn(s));
    switch (round % 6) {
        case 0: addUnit(s); break;
        case 1: copySettings(s); break;
        case 2: selectUnit(s, round % 4); pasteSettings(s, s.score.doc.settingsSource); break;
        case 3: deleteCurrentUnit(s); break;
        case 4:
            readPatternFile(s, patternPath.c_str());
            refreshAfterLoad(s);
            break;
        case 5: selectUnit(s, (round / 6) % 4); break;
    }
    s.engine.levelLeft = 0;  // the status refresh clears the clip mark
}

TEST(Concurrency, InterfaceAndAudioThreadsMeetWithoutALock) {
    auto s = testing::startedSynth();
    // A pattern file with four busy units to load again and again.
    const std::string patternPath = VELMOR_FUZZ_DIR "/corpus/four-units.pat";
    testing::FakeDevice device(4608);
    AudioOutput out;
    testing::attach(out, device);
    startOutput(out, *s);

    std::atomic<bool> timerRunning{true};
    std::atomic<long> ticks{0};
    std::thread timer([&] {
        uint32_t position = 0;
        while (timerRunning) {
            // The device plays on: 1 ms of frames per tick, faster than real time.
            position = (position + 176) % 4608;
            device.position = position;
            audioTick(out, *s);
            ticks.fetch_add(1);
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
    int rounds = 0;
    while (std::chrono::steady_clock::now() < end) {
        interfaceRound(*s, rounds++, patternPath);
        if (rounds % 50 == 0) {
            stopAndReset(out, *s);
            startOutput(out, *s);
        }
    }

    // Shutdown: the tick keeps running while the output ends.
    shutdownStreaming(out);
    EXPECT_EQ(out.renderBusy, 0u);
    const size_t locksAtShutdown = device.locks.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    timerRunning = false;
    timer.join();
    EXPECT_EQ(device.locks.size(), locksAtShutdown) << "no render after the handshake";
    EXPECT_EQ(device.overlaps, 0);
    EXPECT_GT(ticks.load(), 100);
    EXPECT_GT(rounds, 10);
}

}  // namespace
}  // namespace velmor
