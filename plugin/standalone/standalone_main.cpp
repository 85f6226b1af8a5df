// velmor-standalone: Velmor as a program of its own on Linux, the plugin's
// sound and editor without a host. It plays through JACK where a JACK
// server runs, otherwise straight through PulseAudio, or else ALSA, with
// MIDI from ALSA's sequencer; what it played comes back at the next start.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/editor/editor_settings.h"
#include "plugin/standalone/alsa_audio.h"
#include "plugin/standalone/alsa_midi.h"
#include "plugin/standalone/jack_audio.h"
#include "plugin/standalone/pulse_audio.h"
#include "plugin/standalone/session.h"
#include "plugin/standalone/standalone_window.h"
#include "velmor_version.h"

namespace {

const char kUsage[] =
    "usage: velmor-standalone [--help | --version]\n"
    "\n"
    "Velmor, the analog-style bass-line synthesizer, as a program of its own:\n"
    "the plugin's editor in a window, with Play and Stop.\n"
    "\n"
    "Sound: where a JACK server runs, Velmor is its client \"Velmor\" (outputs\n"
    "left and right, MIDI input midi_in, MIDI output midi_out with the notes the\n"
    "sequencer plays; JACK's transport is followed with \"Follow Host\").\n"
    "Otherwise it plays through PulseAudio at 44100 Hz, or where no PulseAudio\n"
    "server answers through ALSA's \"default\" device, and takes MIDI from every\n"
    "source of ALSA's sequencer (its port \"Velmor\").\n"
    "\n"
    "What you played is kept in ~/.local/share/velmor/session.pat when the window\n"
    "is closed (or the program is ended by a signal) and comes back at the next\n"
    "start.\n";

std::atomic<bool> quitting{false};

void quit(int) { quitting = true; }

}  // namespace

int main(int argc, char** argv) {
    using namespace velmor;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return std::fputs(kUsage, stdout), 0;
        if (!std::strcmp(argv[i], "--version")) return std::printf("velmor-standalone %s\n", VELMOR_VERSION_TEXT), 0;
        std::fprintf(stderr, "velmor-standalone: unknown option %s (see --help)\n", argv[i]);
        return 2;
    }
    std::signal(SIGINT, quit);
    std::signal(SIGTERM, quit);

    PluginCore core(PluginCore::kEngineRate);
    core.setOwnTransport(true);
    AskedParameters asked;
    std::string why;
    const std::string session = sessionFile(true);
    if (!session.empty() && !restoreSession(core, session, why)) std::fprintf(stderr, "Velmor: %s\n", why.c_str());

    MidiRing midi;
    std::unique_ptr<AlsaMidi> sequencer;
    std::unique_ptr<PulseAudio> pulse;
    std::unique_ptr<AlsaAudio> alsa;
    std::unique_ptr<JackAudio> jack = JackAudio::open(core, asked, why);
    if (jack) {
        std::fprintf(stderr, "Velmor: playing through JACK at %.0f Hz\n", jack->rate());
    } else {
        const std::string noJack = why;
        pulse = PulseAudio::open(core, asked, midi, why);
        if (pulse) {
            std::fprintf(stderr, "Velmor: %s: playing through PulseAudio at 44100 Hz\n", noJack.c_str());
        } else {
            const std::string noPulse = why;
            alsa = AlsaAudio::open(core, asked, midi, why);
            if (!alsa) {
                std::fprintf(stderr, "Velmor: no sound: %s, %s, and %s\n", noJack.c_str(), noPulse.c_str(), why.c_str());
                return 1;
            }
            std::fprintf(stderr, "Velmor: %s, and %s: playing through ALSA at 44100 Hz\n", noJack.c_str(), noPulse.c_str());
        }
        sequencer = AlsaMidi::open(midi, why);
        if (sequencer)
            std::fprintf(stderr, "Velmor: MIDI from ALSA's sequencer (%d sources connected)\n", sequencer->connected());
        else
            std::fprintf(stderr, "Velmor: no MIDI input: %s\n", why.c_str());
    }

    runWindow(core, asked, quitting);

    jack.reset();
    pulse.reset();
    alsa.reset();
    sequencer.reset();
    if (!keepSession(core, session, why)) {
        std::fprintf(stderr, "Velmor: %s\n", why.c_str());
        return 1;
    }
    return 0;
}
