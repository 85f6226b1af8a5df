#pragma once
// A simulated sound device: a cyclic buffer whose play position the test
// moves, a manual millisecond clock, and locks that can be made to fail or to
// take time. It records the locks and notices overlapping ones.

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/output.h"

namespace velmor::testing {

class FakeDevice : public OutputDevice {
public:
    explicit FakeDevice(uint32_t bytes) : memory(bytes) {}

    struct Lock {
        uint32_t offset, bytes;
    };

    uint32_t playPosition() override { return position.load(); }
    long lock(uint32_t offset, uint32_t bytes, LockedRegion& region) override {
        if (failNextLocks.load() > 0) {
            failNextLocks.fetch_sub(1);
            return -2005401530;  // a lost buffer
        }
        if (inside.exchange(true)) overlaps.fetch_add(1);
        const uint32_t size = static_cast<uint32_t>(memory.size());
        region.first = memory.data() + offset;
        region.firstBytes = offset + bytes <= size ? bytes : size - offset;
        region.second = region.firstBytes < bytes ? memory.data() : nullptr;
        region.secondBytes = bytes - region.firstBytes;
        locks.push_back({offset, bytes});
        if (lockDelayMs.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(lockDelayMs.load()));
        return 0;
    }
    void unlock(const LockedRegion&) override {
        now.fetch_add(renderMs.load());
        inside.store(false);
    }
    void rewind() override { position.store(0); }
    void playLooping() override { looping.store(true); }
    void stopStream() override { looping.store(false); }
    void stopPrimary() override {}
    uint32_t milliseconds() override { return now.load(); }

    std::vector<uint8_t> memory;
    std::vector<Lock> locks;  // written on the thread that locks
    std::atomic<uint32_t> position{0};
    std::atomic<uint32_t> now{1000};
    std::atomic<uint32_t> renderMs{0};
    std::atomic<int> failNextLocks{0};
    std::atomic<int> lockDelayMs{0};
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    std::atomic<bool> looping{false};
};

// An output with a stream buffer on the fake device.
inline void attach(AudioOutput& out, FakeDevice& device) {
    out.device = &device;
    out.bufferBytes = static_cast<uint32_t>(device.memory.size());
    out.outputReady = 1;
}

}  // namespace velmor::testing
