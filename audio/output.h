#pragma once
// Audio output streaming: one looping stream buffer of bufferBytes bytes is
// played as two halves. A 1 ms tick asks the device where it is playing and,
// once the play position has passed into the other half, renders the half
// that has just been played. Written against an abstract device so that it
// runs on any platform and against a simulated device in tests.

#include <atomic>
#include <cstdint>

#include "audio/frame_clock.h"
#include "base/relaxed.h"
#include "engine/engine.h"

namespace velmor {

class ClockSender;

// One locked region of the stream buffer, in up to two pieces.
struct LockedRegion {
    void* first = nullptr;
    uint32_t firstBytes = 0;
    void* second = nullptr;
    uint32_t secondBytes = 0;
};

// What the streaming needs of the sound platform: a cyclic buffer with a
// play-position query, lock and unlock of a region, looping play from
// position 0 and stop, and a millisecond clock. The periodic 1 ms tick that
// calls audioTick on a thread of its own is the platform's too.
class OutputDevice {
public:
    virtual ~OutputDevice() = default;
    // The byte offset now being played in the stream buffer.
    virtual uint32_t playPosition() = 0;
    // Writable memory for a region; 0 on success, else an error code.
    virtual long lock(uint32_t offset, uint32_t bytes, LockedRegion& region) = 0;
    virtual void unlock(const LockedRegion& region) = 0;
    virtual void rewind() = 0;       // play position to 0
    virtual void playLooping() = 0;  // loop over the whole buffer
    virtual void stopStream() = 0;
    virtual void stopPrimary() = 0;
    virtual uint32_t milliseconds() = 0;
    // A finer clock for the MIDI timing, in microseconds.
    virtual int64_t microseconds() { return int64_t{milliseconds()} * 1000; }
    // A device that asks for frames itself (an event-driven stream) calls
    // pullFrames whenever it wants some, and the tick leaves it alone. Its
    // play positions go round cycleBytes() bytes and its buffer runs at most
    // aheadFrames() frames ahead of the speaker; the prefill is that long.
    virtual bool pulls() const { return false; }
    virtual uint32_t cycleBytes() const { return 0; }   // 0: the stream buffer's size
    virtual int64_t aheadFrames() const { return -1; }  // -1: the stream buffer's frames
};

constexpr uint32_t kDefaultBufferBytes = 32768;
constexpr int kMaxDevices = 10;
constexpr int kDeviceNameSize = 100;

// Output devices as enumeration lists them; an all-zero identifier stands
// for the system's default device.
struct DeviceTable {
    uint32_t deviceCount = 0;
    char deviceNames[kMaxDevices][kDeviceNameSize] = {};
    uint8_t deviceIds[kMaxDevices][16] = {};
    uint32_t selectedDevice = 0;
};

// Adds one enumerated device: its description (cut to 99 characters) and,
// unless the identifier is null (the default device), its 16-byte
// identifier. Returns 1 to go on, 0 once 10 devices are listed.
int enumerateOutputDevice(DeviceTable& table, const uint8_t* guid, const char* description);

struct AudioOutput {
    OutputDevice* device = nullptr;  // the stream buffer's device; null when none
    uint32_t bufferBytes = kDefaultBufferBytes;
    uint32_t outputReady = 0;  // 1 once the stream buffer exists
    std::atomic<uint32_t> playing{0};
    uint16_t pendingHalf = 0;  // the half the next refill writes
    std::atomic<uint32_t> renderBusy{0};
    std::atomic<uint32_t> stopRequested{0};
    Relaxed<uint16_t> cpuLoad;  // percent of a half's play time the last timed refill took
    uint32_t audioTimerId = 0;
    uint32_t timerResolution = 0;
    DeviceTable devices;
    // For MIDI: the frame at the speaker, kept by the tick, and the clock
    // output that takes each rendered block's clock ticks (null when none).
    FrameClock clock;
    ClockSender* clockTicks = nullptr;
};

// Play: prefills the whole buffer and starts looping playback; from then on
// the audio thread takes the engine's input. Only with a stream buffer.
// Pressing Play while playing first stops the refills and waits for one in
// progress, so that two renders never overlap.
void startOutput(AudioOutput& out, Engine& e);

// Stop: clears playing and stops the stream and the primary buffer. Only
// with a stream buffer.
void stopOutput(AudioOutput& out);

// The Stop button: stopOutput, then wait until no refill is running, take
// the engine back (what is still queued applies), then the engine reset.
void stopAndReset(AudioOutput& out, Engine& e);

// The 1 ms tick: refills while playing.
void audioTick(AudioOutput& out, Engine& e);

// One refill decision; returns 0, or the failed lock's error code.
long refillHalf(AudioOutput& out, Engine& e);

// A device that asks for frames itself: `bytes` bytes rendered into the
// buffer it locks now, the frame clock brought up to its play position.
// Returns 0, or the failed lock's error code.
long pullFrames(AudioOutput& out, Engine& e, uint32_t bytes);

// Waits until no refill is running (reading the flag afresh every turn).
void waitForRefill(const AudioOutput& out);

// The end of the output, after the platform has stopped the tick: stop,
// forbid further refills, wait for one in progress, take the engine back
// (when there is one). The caller then releases the device objects.
void shutdownStreaming(AudioOutput& out, Engine* e);

}  // namespace velmor
