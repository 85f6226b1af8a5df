#pragma once
// "Low Latency (WASAPI)": the system's default output device through WASAPI,
// event-driven, with the smallest period the device grants, behind
// OutputDevice. The device asks for frames itself: at each of its events a
// thread of its own renders what its buffer has room for, up to two device
// periods (and at least 10 ms) in shared mode (pullFrames), so that a key is
// heard about that long after it arrives. Shared mode
// at 44100 Hz, 16-bit stereo (the system converts where the device plays
// another format); exclusive mode where the device allows it and it is
// asked for.
//
// Windows only: this header and wasapi_output.cpp are the only places that
// see WASAPI.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "audio/output.h"
#include "engine/engine.h"

struct IAudioClient;
struct IAudioRenderClient;
struct IAudioClock;

namespace velmor {

class WasapiDevice : public OutputDevice {
public:
    ~WasapiDevice() override;

    uint32_t playPosition() override;
    long lock(uint32_t offset, uint32_t bytes, LockedRegion& region) override;
    void unlock(const LockedRegion& region) override;
    void rewind() override;
    void playLooping() override;
    void stopStream() override;
    void stopPrimary() override {}
    uint32_t milliseconds() override;
    int64_t microseconds() override;
    bool pulls() const override { return true; }
    uint32_t cycleBytes() const override { return kCycleBytes; }
    int64_t aheadFrames() const override { return queuedFrames_; }

    // Opens the default output device; false with the reason when it
    // cannot. `out` and `engine` are what its thread renders with.
    bool open(AudioOutput& out, Engine& engine, bool exclusive, std::string& why);
    void close();
    bool isOpen() const { return client_ != nullptr; }
    bool exclusive() const { return exclusive_; }
    // The device's period and buffer, in frames.
    uint32_t periodFrames() const { return periodFrames_; }

private:
    static constexpr uint32_t kCycleBytes = 1u << 30;
    void feed();

    IAudioClient* client_ = nullptr;
    IAudioRenderClient* render_ = nullptr;
    IAudioClock* clock_ = nullptr;
    void* event_ = nullptr;
    uint64_t clockFrequency_ = 1;
    uint32_t bufferFrames_ = 0;
    uint32_t periodFrames_ = 0;
    uint32_t queuedFrames_ = 0;  // the most it keeps in the device's buffer
    bool exclusive_ = false;
    AudioOutput* out_ = nullptr;
    Engine* engine_ = nullptr;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace velmor
