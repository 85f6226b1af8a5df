#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "audio/response.h"
#include "support/fake_device.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::FakeDevice;

class AudioOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_ = testing::startedSynth();
        testing::attach(out_, device_);
    }
    void tickAt(uint32_t position) {
        device_.position = position;
        audioTick(out_, *s_);
    }
    std::unique_ptr<Synth> s_;
    FakeDevice device_{32768};
    AudioOutput out_;
};

TEST_F(AudioOutputTest, StartPrefillsTheWholeBufferAndLoops) {
    device_.position = 5000;
    startOutput(out_, *s_);
    ASSERT_EQ(device_.locks.size(), 1u);
    EXPECT_EQ(device_.locks[0].offset, 0u);
    EXPECT_EQ(device_.locks[0].bytes, 32768u);
    EXPECT_EQ(device_.position, 0u);
    EXPECT_TRUE(device_.looping);
    EXPECT_EQ(out_.playing, 1u);
    EXPECT_EQ(out_.pendingHalf, 0);
    // The prefill holds the first 8192 frames of the start-up state.
    auto reference = testing::startedSynth();
    const auto frames = testing::renderFrames(*reference, 8192);
    EXPECT_EQ(std::memcmp(device_.memory.data(), frames.data(), 32768), 0);
}

TEST_F(AudioOutputTest, OneRefillPerHalfAfterThePositionCrosses) {
    startOutput(out_, *s_);
    for (uint32_t p : {0u, 100u, 8000u, 16383u}) tickAt(p);
    EXPECT_EQ(device_.locks.size(), 1u) << "16383 still counts as the first half";
    tickAt(16384);
    ASSERT_EQ(device_.locks.size(), 2u);
    EXPECT_EQ(device_.locks[1].offset, 0u);
    EXPECT_EQ(device_.locks[1].bytes, 16384u);
    EXPECT_EQ(out_.pendingHalf, 1);
    for (uint32_t p : {16384u, 20000u, 32767u}) tickAt(p);
    EXPECT_EQ(device_.locks.size(), 2u);
    tickAt(10);
    ASSERT_EQ(device_.locks.size(), 3u);
    EXPECT_EQ(device_.locks[2].offset, 16384u);
    EXPECT_EQ(out_.pendingHalf, 0);
    tickAt(11);
    EXPECT_EQ(device_.locks.size(), 3u);

    // Played continuously, the halves carry the engine's frames in order.
    auto reference = testing::startedSynth();
    const auto frames = testing::renderFrames(*reference, 8192 + 4096 + 4096);
    EXPECT_EQ(std::memcmp(device_.memory.data(), frames.data() + 2 * 8192, 16384), 0);
    EXPECT_EQ(std::memcmp(device_.memory.data() + 16384, frames.data() + 2 * (8192 + 4096), 16384), 0);
}

TEST_F(AudioOutputTest, FailedLockIsRetriedOnTheNextTick) {
    startOutput(out_, *s_);
    device_.failNextLocks = 1;
    tickAt(20000);
    EXPECT_EQ(out_.pendingHalf, 0);
    EXPECT_EQ(out_.renderBusy, 0u);
    EXPECT_EQ(device_.locks.size(), 1u);
    tickAt(20001);
    EXPECT_EQ(device_.locks.size(), 2u);
    EXPECT_EQ(out_.pendingHalf, 1);
    device_.failNextLocks = 1;
    tickAt(3);
    EXPECT_EQ(out_.pendingHalf, 1);
    tickAt(4);
    EXPECT_EQ(out_.pendingHalf, 0);
    EXPECT_EQ(device_.locks.size(), 3u);
}

TEST_F(AudioOutputTest, CpuLoadOfTheFirstHalfRefill) {
    startOutput(out_, *s_);
    device_.renderMs = 0;
    tickAt(20000);
    EXPECT_EQ(out_.cpuLoad, 0);
    tickAt(0);
    device_.renderMs = 10;
    tickAt(20000);
    EXPECT_EQ(out_.cpuLoad, 10) << "3528000 / 327680";
    device_.renderMs = 50;
    tickAt(0);
    EXPECT_EQ(out_.cpuLoad, 10) << "the second half's refill is not timed";
    stopOutput(out_);
    EXPECT_EQ(out_.cpuLoad, 10) << "stopped, the figure stays";
}

TEST_F(AudioOutputTest, NothingRendersOnceStopIsRequested) {
    startOutput(out_, *s_);
    out_.stopRequested = 1;
    ASSERT_EQ(out_.playing, 1u);
    tickAt(20000);
    tickAt(0);
    EXPECT_EQ(device_.locks.size(), 1u);
    EXPECT_EQ(out_.renderBusy, 0u);
}

TEST(AudioOutput, StartAndStopWithoutAStreamBufferChangeNothing) {
    auto s = testing::startedSynth();
    FakeDevice device(32768);
    AudioOutput out;
    out.device = &device;
    startOutput(out, *s);
    EXPECT_EQ(out.playing, 0u);
    EXPECT_TRUE(device.locks.empty());
    EXPECT_FALSE(device.looping);
    stopOutput(out);
    audioTick(out, *s);
    EXPECT_TRUE(device.locks.empty());
    EXPECT_EQ(s->engine.stepTick, 0);
}

TEST_F(AudioOutputTest, StopDuringARefillWaitsBeforeTheReset) {
    startOutput(out_, *s_);
    device_.lockDelayMs = 50;
    device_.position = 20000;
    std::thread timer([&] { audioTick(out_, *s_); });
    while (!device_.inside) std::this_thread::yield();
    stopAndReset(out_, *s_);
    EXPECT_FALSE(device_.inside) << "the reset ran only after the refill";
    timer.join();
    EXPECT_EQ(s_->engine.currentStep, 0);
    EXPECT_EQ(s_->engine.stepTick, 0);
    EXPECT_FALSE(device_.looping);
}

TEST_F(AudioOutputTest, PlayWhilePlayingNeverOverlapsTwoRenders) {
    startOutput(out_, *s_);
    device_.lockDelayMs = 2;
    std::atomic<bool> done{false};
    std::thread timer([&] {
        uint32_t p = 0;
        while (!done) {
            device_.position = p;
            p = (p + 4000) % 32768;
            audioTick(out_, *s_);
        }
    });
    for (int i = 0; i < 20; ++i) startOutput(out_, *s_);
    done = true;
    timer.join();
    EXPECT_EQ(device_.overlaps, 0);
}

TEST(DeviceTable, AtMostTenDevicesWithNamesCutTo99) {
    DeviceTable table;
    const uint8_t guid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(enumerateOutputDevice(table, nullptr, "Primary Sound Driver"), 1);
    const std::string longName(150, 'x');
    int goOn = 1;
    for (int i = 1; i < 12 && goOn; ++i) goOn = enumerateOutputDevice(table, guid, longName.c_str());
    EXPECT_EQ(goOn, 0);
    EXPECT_EQ(table.deviceCount, 10u);
    EXPECT_STREQ(table.deviceNames[0], "Primary Sound Driver");
    for (uint8_t b : table.deviceIds[0]) EXPECT_EQ(b, 0) << "the default device keeps the all-zero identifier";
    EXPECT_EQ(std::strlen(table.deviceNames[1]), 99u);
    EXPECT_EQ(table.deviceIds[9][15], 16);
    EXPECT_EQ(enumerateOutputDevice(table, guid, "eleventh"), 0);
    EXPECT_EQ(table.deviceCount, 10u);
}

TEST(Response, PositionsBytesAndMilliseconds) {
    struct Row {
        uint32_t position, pending, shown, stored, shownAgain, positionAgain;
    };
    const Row rows[] = {
        {0, 4704, 20, 4608, 19, 0},
        {31, 32410, 137, 32256, 137, 30},
        {50, 49392, 210, 49152, 208, 49},
        {100, 94080, 400, 93952, 399, 99},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(responseBytesForPosition(r.position), r.pending);
        EXPECT_EQ(responseMilliseconds(r.pending), r.shown);
        EXPECT_EQ(storedBufferBytes(r.pending), r.stored);
        EXPECT_EQ(responseMilliseconds(r.stored), r.shownAgain);
        EXPECT_EQ(responsePositionForBytes(r.stored), r.positionAgain);
    }
    EXPECT_EQ(responsePositionForBytes(32768), 31u);
    EXPECT_EQ(responseMilliseconds(32768), 139u);
    EXPECT_EQ(responsePositionForBytes(4000), 0u);
}

}  // namespace
}  // namespace velmor
