#include "audio/midi_devices.h"

#include <mmsystem.h>

#include <algorithm>

namespace velmor {

namespace {

constexpr int64_t kSpinMicros = 1500;

std::string inputName(UINT id) {
    MIDIINCAPSA caps{};
    return midiInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname : "";
}

std::string outputName(UINT id) {
    MIDIOUTCAPSA caps{};
    return midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname : "";
}

std::string inputError(MMRESULT r) {
    char text[MAXERRORLENGTH] = {};
    midiInGetErrorTextA(r, text, sizeof text);
    return text;
}

std::string outputError(MMRESULT r) {
    char text[MAXERRORLENGTH] = {};
    midiOutGetErrorTextA(r, text, sizeof text);
    return text;
}

}  // namespace

std::vector<std::string> midiInputNames() {
    std::vector<std::string> names;
    for (UINT i = 0, n = midiInGetNumDevs(); i < n; ++i) names.push_back(inputName(i));
    return names;
}

std::vector<std::string> midiOutputNames() {
    std::vector<std::string> names;
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) names.push_back(outputName(i));
    return names;
}

HMIDIIN openMidiInput(const std::string& name, HWND window, std::string& problem) {
    for (UINT i = 0, n = midiInGetNumDevs(); i < n; ++i) {
        if (inputName(i) != name) continue;
        HMIDIIN in = nullptr;
        MMRESULT r = midiInOpen(&in, i, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW);
        if (r == MMSYSERR_NOERROR && (r = midiInStart(in)) == MMSYSERR_NOERROR) return in;
        if (in) midiInClose(in);
        problem = inputError(r);
        return nullptr;
    }
    problem = "There is no such device (any longer).";
    return nullptr;
}

HMIDIOUT openMidiOutput(const std::string& name, std::string& problem) {
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) {
        if (outputName(i) != name) continue;
        HMIDIOUT out = nullptr;
        const MMRESULT r = midiOutOpen(&out, i, 0, 0, CALLBACK_NULL);
        if (r == MMSYSERR_NOERROR) return out;
        problem = outputError(r);
        return nullptr;
    }
    problem = "There is no such device (any longer).";
    return nullptr;
}

void closeMidiInput(HMIDIIN in) {
    if (!in) return;
    midiInStop(in);
    midiInReset(in);
    midiInClose(in);
}

void closeMidiOutput(HMIDIOUT out) {
    if (!out) return;
    midiOutReset(out);
    midiOutClose(out);
}

int64_t SentLog::tickJitter(uint32_t ticks) const {
    // The ticks since the latest Start, less its first quarter note: the
    // play position of a stream just started says little yet.
    std::vector<int64_t> lateness;
    for (uint32_t i = count; i > 0 && count - i < kSize && lateness.size() < ticks + 24; --i) {
        const Entry& e = entries[(i - 1) % kSize];
        if (e.message == ClockSender::kStart) break;
        if (e.message == ClockSender::kTick) lateness.push_back(e.micros - e.frame * 1000000 / kFrameRate);
    }
    if (lateness.size() < 26) return -1;
    lateness.resize(lateness.size() - 24);
    return *std::max_element(lateness.begin(), lateness.end()) - *std::min_element(lateness.begin(), lateness.end());
}

void MidiThread::send(uint32_t message, int64_t frame) {
    if (output) midiOutShortMsg(output, message);
    sent.add(message, frame, systemMicroseconds());
}

void MidiThread::start(AudioOutput& out, MidiReceiver& receiver, ClockSender& clock, MidiGate& gate) {
    if (running()) return;
    out_ = &out;
    receiver_ = &receiver;
    clock_ = &clock;
    gate_ = &gate;
    run_.store(true);
    thread_ = std::thread([this] {
        // Sleeps of one millisecond, not the system's default tick.
        timeBeginPeriod(1);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        while (run_.load()) {
            int64_t wait = INT64_MAX;
            if (gate_->enter()) {
                wait = turn();
                gate_->leave();
            }
            // A message due within the next sleep is waited for to the
            // microsecond instead.
            if (wait >= kSpinMicros) {
                Sleep(1);
                continue;
            }
            for (const int64_t until = systemMicroseconds() + wait; systemMicroseconds() < until;) SwitchToThread();
        }
        timeEndPeriod(1);
    });
}

void MidiThread::stop() {
    if (!running()) return;
    run_.store(false);
    thread_.join();
}

int64_t MidiThread::turn() {
    AudioOutput& out = *out_;
    if (out.playing.load() != 1 || !out.device) return INT64_MAX;
    const uint32_t position = out.device->playPosition();
    const int64_t now = out.device->microseconds();
    // The latest key, once the play position has reached its frame.
    const int64_t key = receiver_->pendingNoteFrame.load();
    if (key >= 0 && out.clock.cursorFrame(position) >= key) {
        int64_t expected = key;
        const int64_t arrived = receiver_->pendingNoteMicros.load();
        if (receiver_->pendingNoteFrame.compare_exchange_strong(expected, -1)) keyLatencyMicros.store(now - arrived);
    }
    if (!sending) return INT64_MAX;
    const int64_t frame = out.clock.frameAt(position, now);
    uint32_t due[32];
    int64_t at[32];
    const int n = clock_->due(frame, out.clock.first(), due, 32, at);
    for (int i = 0; i < n; ++i) send(due[i], at[i]);
    const int64_t next = clock_->next();
    return next == INT64_MAX ? INT64_MAX : (next - frame) * 1000000 / kFrameRate;
}

}  // namespace velmor
