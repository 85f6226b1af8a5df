// velmor-playtest: plays the start-up state through DirectSound for a while,
// the way the program plays it after pressing Play, and exits. For listening
// tests and for recording what reaches the sound system.

#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/audio_timer.h"
#include "audio/dsound_output.h"
#include "engine/mixdown.h"
#include "engine/tables.h"
#include "model/units.h"

namespace velmor {
namespace {

const char kUsage[] =
    "usage: velmor-playtest [--bytes N] [--seconds S] [--list-devices]\n"
    "\n"
    "Plays the program's start-up state on the default DirectSound device with\n"
    "a stream buffer of N bytes (default 32768; a multiple of 8 from 64 to\n"
    "16777216) refilled half by half from the 1 ms multimedia timer, for S\n"
    "seconds (default 5), then stops and exits with status 0. On failure it\n"
    "prints one line and exits with status 1. --list-devices also prints the\n"
    "output devices that DirectSound lists.\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "velmor-playtest: %s\n", message.c_str());
    return 1;
}

struct Options {
    uint32_t bytes = kDefaultBufferBytes;
    double seconds = 5.0;
    bool help = false;
    bool listDevices = false;
};

std::string parseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--list-devices") {
            o.listDevices = true;
        } else if (a == "--bytes") {
            char* end = nullptr;
            errno = 0;
            const long long v = next ? std::strtoll(next, &end, 10) : -1;
            if (!next || errno != 0 || *end != '\0' || v < 64 || v > 16777216 || v % 8 != 0)
                return "--bytes needs a multiple of 8 from 64 to 16777216";
            o.bytes = static_cast<uint32_t>(v);
            ++i;
        } else if (a == "--seconds") {
            char* end = nullptr;
            const double v = next ? std::strtod(next, &end) : -1.0;
            if (!next || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > 86400.0)
                return "--seconds needs a number from 0 to 86400";
            o.seconds = v;
            ++i;
        } else {
            return "unknown argument " + a + " (see --help)";
        }
    }
    return "";
}

// Waits, handling the thread's window messages meanwhile.
void playFor(double seconds) {
    const DWORD start = GetTickCount();
    const DWORD total = static_cast<DWORD>(seconds * 1000.0 + 0.5);
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= total) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, total - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

int run(int argc, char** argv) {
    Options o;
    const std::string problem = parseArguments(argc, argv, o);
    if (!problem.empty()) return fail(problem);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    auto s = makeSynth();
    if (!startUpState(*s)) return fail("cannot obtain the engine buffers");

    // DirectSound wants a window for its cooperative level; a message-only
    // one does.
    HWND window = CreateWindowExA(0, "STATIC", "velmor-playtest", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) return fail("cannot create a window (error " + std::to_string(GetLastError()) + ")");

    AudioOutput out;
    out.bufferBytes = o.bytes;
    DirectSoundDevice ds;
    if (initAudioOutput(out, ds, window, nullptr) == 0) {
        DestroyWindow(window);
        return fail("DirectSound cannot open the default output device");
    }
    if (!out.outputReady) {
        releaseAudioOutput(out, ds);
        DestroyWindow(window);
        return fail("DirectSound cannot create a stream buffer of " + std::to_string(o.bytes) + " bytes");
    }

    if (o.listDevices) {
        for (uint32_t i = 0; i < out.devices.deviceCount; ++i)
            std::printf("output device %u: %s\n", static_cast<unsigned>(i), out.devices.deviceNames[i]);
    }

    TickContext tick;
    tick.out = &out;
    tick.synth = s.get();
    tick.owner = window;
    startAudioTimer(out, &tick);
    startOutput(out, *s);
    playFor(o.seconds);
    shutdownAudio(out, ds, &tick);
    DestroyWindow(window);

    std::printf("velmor-playtest: played %g s with a %u-byte stream buffer (%u output devices listed, "
                "last refill %u%% of a half's play time)\n",
                o.seconds, static_cast<unsigned>(o.bytes), static_cast<unsigned>(out.devices.deviceCount),
                static_cast<unsigned>(out.cpuLoad.load()));
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
