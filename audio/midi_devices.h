#pragma once
// The MIDI devices of winmm: the lists the MIDI dialog offers, the input
// opened with its messages posted to a window (MM_MIM_DATA on the thread
// that owns it), the clock output, and the MIDI thread that sends the
// clock's messages as their frames reach the speaker. Windows only: this
// file and midi_devices.cpp are the only places that see winmm's MIDI.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_timer.h"
#include "audio/midi_stream.h"
#include "audio/output.h"

namespace velmor {

std::vector<std::string> midiInputNames();
std::vector<std::string> midiOutputNames();

// Opens the input of that name, its messages posted to `window`; on failure
// returns null and says why in `problem`.
HMIDIIN openMidiInput(const std::string& name, HWND window, std::string& problem);
HMIDIOUT openMidiOutput(const std::string& name, std::string& problem);
void closeMidiInput(HMIDIIN in);
void closeMidiOutput(HMIDIOUT out);

// What the MIDI thread sent, for the figures the tests read: each message
// with the frame it was due at and when it went out.
struct SentLog {
    static constexpr uint32_t kSize = 4096;
    struct Entry {
        uint32_t message;
        int64_t frame;
        int64_t micros;
    };
    Entry entries[kSize] = {};
    uint32_t count = 0;
    void add(uint32_t message, int64_t frame, int64_t micros) { entries[count++ % kSize] = Entry{message, frame, micros}; }
    // How far the ticks' send times stray from their frames' times (the
    // largest minus the smallest difference) over the last `ticks` ticks
    // since the first quarter note after Start, in microseconds; -1 with
    // fewer than two.
    int64_t tickJitter(uint32_t ticks) const;
};

// The thread that sends what is due every millisecond while the output
// plays, and measures how long the latest key took to reach the speaker.
// Between its turns the interface thread may act in its place (MidiGate).
class MidiThread {
public:
    ~MidiThread() { stop(); }
    void start(AudioOutput& out, MidiReceiver& receiver, ClockSender& clock, MidiGate& gate);
    void stop();
    bool running() const { return thread_.joinable(); }

    // Sent to the output, or only logged while `output` is null.
    HMIDIOUT output = nullptr;
    bool sending = false;  // an output is open: what is queued goes out
    SentLog sent;
    std::atomic<int64_t> keyLatencyMicros{-1};

    // Sends a message now (the MIDI thread, or the interface thread with the gate closed).
    void send(uint32_t message, int64_t frame);

private:
    // Returns the microseconds until the next message is due.
    int64_t turn();
    std::thread thread_;
    std::atomic<bool> run_{false};
    AudioOutput* out_ = nullptr;
    MidiReceiver* receiver_ = nullptr;
    ClockSender* clock_ = nullptr;
    MidiGate* gate_ = nullptr;
};

}  // namespace velmor
