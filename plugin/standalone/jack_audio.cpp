#include "plugin/standalone/jack_audio.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>

#include <cstdio>

#include "plugin/standalone/audio_block.h"

namespace velmor {

struct JackAudio::Client {
    jack_client_t* jack = nullptr;
    jack_port_t* out[2] = {};
    jack_port_t* midiIn = nullptr;
    jack_port_t* midiOut = nullptr;
    std::unique_ptr<Performer> performer;
    std::unique_ptr<StampedMidi[]> midi{new StampedMidi[Performer::kMostEvents]};

    ~Client() {
        if (jack) jack_client_close(jack);
    }

    // JACK's transport as a host's: rolling, and where, in sixteenths
    // where a timebase leader gives bars and beats.
    HostTime hostTime() {
        jack_position_t pos{};
        HostTime h;
        h.playing = jack_transport_query(jack, &pos) == JackTransportRolling;
        h.valid = (pos.valid & JackPositionBBT) && pos.ticks_per_beat > 0 && pos.beat_type > 0;
        if (h.valid) {
            const double beats =
                (pos.bar - 1) * static_cast<double>(pos.beats_per_bar) + (pos.beat - 1) + pos.tick / pos.ticks_per_beat;
            h.sixteenths = beats * 16.0 / pos.beat_type;
            h.beatsPerMinute = pos.beats_per_minute * 4.0 / pos.beat_type;
        }
        h.frameValid = true;
        h.frame = pos.frame;
        return h;
    }

    static int process(jack_nframes_t frames, void* self) {
        const AudioBlockMark mark;
        auto& c = *static_cast<Client*>(self);
        void* in = jack_port_get_buffer(c.midiIn, frames);
        const uint32_t events = jack_midi_get_event_count(in);
        uint32_t count = 0;
        for (uint32_t i = 0; i < events && count < Performer::kMostEvents; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, in, i) != 0 || e.size < 1 || e.size > 3) continue;  // SysEx is not for us
            StampedMidi& m = c.midi[count++];
            m.frame = e.time;
            m.size = static_cast<uint8_t>(e.size);
            m.bytes[0] = e.buffer[0];
            m.bytes[1] = e.size > 1 ? e.buffer[1] : 0;
            m.bytes[2] = e.size > 2 ? e.buffer[2] : 0;
        }
        auto* left = static_cast<float*>(jack_port_get_buffer(c.out[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(c.out[1], frames));
        c.performer->play(left, right, frames, {c.midi.get(), count}, c.hostTime());
        void* out = jack_port_get_buffer(c.midiOut, frames);
        jack_midi_clear_buffer(out);
        for (const SentMessage& m : c.performer->notesOut())
            jack_midi_event_write(out, m.frame < frames ? m.frame : frames - 1, m.bytes, 3);
        return 0;
    }
};

std::unique_ptr<JackAudio> JackAudio::open(PluginCore& core, AskedParameters& asked, std::string& why) {
    auto c = std::make_unique<Client>();
    jack_status_t status{};
    // Looking for a server is no error to tell; later ones are.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    c->jack = jack_client_open("Velmor", JackNoStartServer, &status);
    jack_set_error_function([](const char* message) { std::fprintf(stderr, "Velmor: JACK: %s\n", message); });
    if (!c->jack) return why = "no JACK server runs", nullptr;
    c->out[0] = jack_port_register(c->jack, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    c->out[1] = jack_port_register(c->jack, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    c->midiIn = jack_port_register(c->jack, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | JackPortIsTerminal, 0);
    c->midiOut = jack_port_register(c->jack, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    if (!c->out[0] || !c->out[1] || !c->midiIn || !c->midiOut) return why = "JACK refused Velmor's ports", nullptr;
    core.setHostRate(jack_get_sample_rate(c->jack));
    c->performer = std::make_unique<Performer>(core, asked);
    if (jack_set_process_callback(c->jack, &Client::process, c.get()) != 0 || jack_activate(c->jack) != 0)
        return why = "JACK refused to run Velmor", nullptr;
    // Heard at once where the system's playback ports are.
    if (const char** playback = jack_get_ports(c->jack, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < 2 && playback[i]; ++i) jack_connect(c->jack, jack_port_name(c->out[i]), playback[i]);
        jack_free(playback);
    }
    return std::unique_ptr<JackAudio>(new JackAudio(std::move(c)));
}

JackAudio::JackAudio(std::unique_ptr<Client> client) : client_(std::move(client)) {}

JackAudio::~JackAudio() {
    if (client_->jack) jack_deactivate(client_->jack);
}

double JackAudio::rate() const { return jack_get_sample_rate(client_->jack); }

}  // namespace velmor
