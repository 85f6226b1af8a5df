// The refill logic against a simulated device: the prefill and one refill
// per half with the engine's frames in order, failed locks, the CPU figure,
// Stop, Play and shutdown against a refill on another thread; a device that
// asks for its frames itself; the device table. (The response conversions are checked end to end, through the
// dialog.)

#include <gtest/gtest.h>

#include <cstring>

#include "support/fake_device.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

class AudioOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_ = testing::startedSynth();
        testing::attach(out_, device_);
    }
    void tickAt(uint32_t position) { device_.position = position, audioTick(out_, s_->engine); }
    size_t locks() const { return device_.locks.size(); }
    std::unique_ptr<Synth> s_;
    testing::FakeDevice device_{32768};
    AudioOutput out_;
};

TEST_F(AudioOutputTest, PrefillThenOneRefillPerHalfWithTheFramesInOrder) {
    device_.position = 5000;
    startOutput(out_, s_->engine);
    ASSERT_EQ(locks(), 1u);
    EXPECT_TRUE(device_.locks[0].offset + device_.locks[0].bytes == 32768u && device_.position == 0u && device_.looping && out_.playing == 1u);
    const auto frames = testing::renderFrames(*testing::startedSynth(), 8192 + 4096 + 4096);
    EXPECT_EQ(std::memcmp(device_.memory.data(), frames.data(), 32768), 0) << "the prefill";

    for (uint32_t p : {0u, 8000u, 16383u}) tickAt(p);
    EXPECT_EQ(locks(), 1u) << "16383 still counts as the first half";
    tickAt(16384);
    ASSERT_EQ(locks(), 2u);
    EXPECT_EQ(std::pair(device_.locks[1].offset, device_.locks[1].bytes), std::pair(0u, 16384u));
    for (uint32_t p : {16384u, 20000u, 32767u}) tickAt(p);
    EXPECT_EQ(locks(), 2u);
    tickAt(10);
    ASSERT_EQ(locks(), 3u);
    EXPECT_EQ(device_.locks[2].offset, 16384u);
    tickAt(11);
    EXPECT_EQ(locks(), 3u);
    EXPECT_EQ(std::memcmp(device_.memory.data(), frames.data() + 2 * 8192, 16384), 0);
    EXPECT_EQ(std::memcmp(device_.memory.data() + 16384, frames.data() + 2 * (8192 + 4096), 16384), 0);
}

TEST_F(AudioOutputTest, FailedLocksCpuLoadAndStopRequests) {
    startOutput(out_, s_->engine);
    // A failed lock is retried on the next tick with the half unchanged.
    device_.failNextLocks = 1, tickAt(20000);
    EXPECT_TRUE(out_.pendingHalf == 0 && out_.renderBusy == 0u);
    tickAt(20001);
    EXPECT_TRUE(locks() == 2u && out_.pendingHalf == 1);
    // The CPU figure: elapsed ms 352800 / (bytes 10), for the first half's refill only.
    device_.renderMs = 10, tickAt(0);
    EXPECT_EQ(out_.cpuLoad, 0) << "the second half's refill is not timed";
    tickAt(20000);
    EXPECT_EQ(out_.cpuLoad, 10) << "3528000 / 327680";
    stopOutput(out_);
    EXPECT_TRUE(out_.cpuLoad == 10 && !device_.looping) << "stopped, the figure stays";
    // Once stop is requested nothing renders, even while playing.
    startOutput(out_, s_->engine);
    const size_t before = locks();
    out_.stopRequested = 1, tickAt(20000), tickAt(0);
    EXPECT_TRUE(locks() == before && out_.renderBusy == 0u);
}

TEST_F(AudioOutputTest, StartAndStopWithoutAStreamBufferChangeNothing) {
    out_.outputReady = 0;
    startOutput(out_, s_->engine);
    stopOutput(out_);
    audioTick(out_, s_->engine);
    EXPECT_TRUE(out_.playing == 0u && locks() == 0 && s_->engine.stepTick == 0);
}

TEST_F(AudioOutputTest, StopAndPlayWaitForARefillOnTheTimerThread) {
    startOutput(out_, s_->engine);
    device_.lockDelayMs = 50, device_.position = 20000;
    std::thread timer([&] { audioTick(out_, s_->engine); });
    while (!device_.inside) std::this_thread::yield();
    stopAndReset(out_, s_->engine);
    EXPECT_FALSE(device_.inside) << "the reset ran only after the refill";
    timer.join();
    EXPECT_EQ(s_->engine.currentStep + s_->engine.stepTick, 0);

    // Play pressed again and again while the timer refills: never two renders at once.
    startOutput(out_, s_->engine);
    device_.lockDelayMs = 2;
    std::atomic<bool> done{false};
    std::thread ticking([&] {
        for (uint32_t p = 0; !done; p = (p + 4000) % 32768) tickAt(p);
    });
    for (int i = 0; i < 20; ++i) startOutput(out_, s_->engine);
    done = true;
    ticking.join();
    EXPECT_EQ(device_.overlaps, 0);
    // Shutting down waits for a refill in progress as well.
    device_.lockDelayMs = 50;
    device_.position = out_.pendingHalf == 0 ? 20000 : 100;  // into the half that is due
    std::thread last([&] { audioTick(out_, s_->engine); });
    while (!device_.inside) std::this_thread::yield();
    shutdownStreaming(out_, &s_->engine);
    EXPECT_FALSE(device_.inside) << "shut down only after the refill";
    last.join();
}

// A device woken by its events (WASAPI): the prefill is its queue, the tick
// leaves it alone, each pull renders what it has room for, in order, the
// output playing before the device may ask, and keys are stamped its queue
// ahead.
TEST(PullingDevice, ThePrefillIsItsQueueAndEachPullTheNextFrames) {
    struct Pulling : testing::FakeDevice {
        using FakeDevice::FakeDevice;
        bool pulls() const override { return true; }
        uint32_t cycleBytes() const override { return 1u << 20; }
        int64_t aheadFrames() const override { return 512; }
        void playLooping() override { playingAtStart = out->playing.load(), FakeDevice::playLooping(); }
        AudioOutput* out = nullptr;
        uint32_t playingAtStart = 0;
    };
    auto s = testing::startedSynth();
    Pulling device(4 * 4096);
    AudioOutput out;
    testing::attach(out, device);
    device.out = &out;
    startOutput(out, s->engine);
    EXPECT_TRUE(device.locks.size() == 1 && device.locks[0].bytes == 4 * 512 && device.playingAtStart == 1 && out.clock.aheadFrames() == 512);
    const auto frames = testing::renderFrames(*testing::startedSynth(), 512 + 1000);
    EXPECT_EQ(std::memcmp(device.memory.data(), frames.data(), 4 * 512), 0);
    device.position = 8000, audioTick(out, s->engine);
    EXPECT_EQ(device.locks.size(), 1u);
    EXPECT_EQ(pullFrames(out, s->engine, 4 * 1000), 0);
    EXPECT_EQ(std::memcmp(device.memory.data(), frames.data() + 2 * 512, 4 * 1000), 0);
}

TEST(DeviceTable, AtMostTenDevicesWithNamesCutTo99) {
    DeviceTable table;
    std::memset(table.deviceNames, 'x', sizeof table.deviceNames);  // names are terminated however long
    const uint8_t guid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(enumerateOutputDevice(table, nullptr, "Primary Sound Driver"), 1);
    const std::string longName(150, 'x');
    for (int i = 1; i < 10; ++i) EXPECT_EQ(enumerateOutputDevice(table, guid, longName.c_str()), i < 9 ? 1 : 0);
    EXPECT_EQ((std::pair{enumerateOutputDevice(table, guid, "eleventh"), table.deviceCount}), std::pair(0, 10u));
    EXPECT_STREQ(table.deviceNames[0], "Primary Sound Driver");
    EXPECT_EQ(std::vector<int>(table.deviceIds[0], table.deviceIds[0] + 16), std::vector<int>(16, 0)) << "the default device's identifier";
    EXPECT_EQ(std::pair(std::strlen(table.deviceNames[1]), int{table.deviceIds[9][15]}), std::pair(size_t{99}, 16));
}

}  // namespace
}  // namespace velmor
