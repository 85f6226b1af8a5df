#include "audio/audio_timer.h"

#include <windows.h>

#include <mmsystem.h>

#include <chrono>
#include <type_traits>

#include "audio/dsound_output.h"

static_assert(std::is_same_v<HWND, HWND__*>);

namespace velmor {
namespace {

void CALLBACK onTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* context = reinterpret_cast<TickContext*>(user);
    audioTick(*context->out, *context->engine);
}

void fallbackTick(TickContext* context) {
    auto next = std::chrono::steady_clock::now();
    while (context->fallbackRunning.load()) {
        audioTick(*context->out, *context->engine);
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
    }
}

}  // namespace

int64_t systemMicroseconds() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

void startAudioTimer(AudioOutput& out, TickContext* context) {
    out.timerResolution = 0;
    timeBeginPeriod(out.timerResolution);
    out.audioTimerId = timeSetEvent(1, 0, onTimer, reinterpret_cast<DWORD_PTR>(context), TIME_PERIODIC);
    if (out.audioTimerId == 0 && !context->fallback.joinable()) {
        MessageBoxA(context->owner, "MM Timer couldn't be initialized.\nUsing Windows timer instead.", "", MB_ICONEXCLAMATION);
        context->fallbackRunning.store(true);
        context->fallback = std::thread(fallbackTick, context);
    }
}

void shutdownAudio(AudioOutput& out, DirectSoundDevice& ds, TickContext* context) {
    if (out.audioTimerId != 0) {
        timeKillEvent(out.audioTimerId);
        timeEndPeriod(out.timerResolution);
        out.audioTimerId = 0;
    }
    if (context && context->fallback.joinable()) {
        context->fallbackRunning.store(false);
        context->fallback.join();
    }
    shutdownStreaming(out, context ? context->engine : nullptr);
    releaseAudioOutput(out, ds);
}

}  // namespace velmor
