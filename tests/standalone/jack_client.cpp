// velmor-jack-client: plays MIDI into the stand-alone program through JACK
// and records what it plays, as a musician's sequencer and recorder would.
//
//   velmor-jack-client EVENTS FRAMES OUT.raw
//
// EVENTS holds lines of a frame and hex bytes (the renderer's --events
// format). The client connects its MIDI output to the program's MIDI input
// and the program's two audio outputs to its own inputs, then sends each
// message at its frame, counted from a period's start, and records
// FRAMES frames from there on (and a few periods more, where the program's
// sound comes a period late), as 16-bit stereo. Exit status 0 when every
// sample recorded is a 16-bit value exactly; 1 otherwise, 2 on an error.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Message {
    uint64_t frame;
    std::vector<uint8_t> bytes;
};

jack_client_t* client = nullptr;
jack_port_t* midiOut = nullptr;
jack_port_t* audioIn[2] = {};
std::vector<Message> messages;
std::vector<float> recorded[2];
std::atomic<bool> armed{false};
std::atomic<uint64_t> done{0};  // frames since the first armed period
size_t nextMessage = 0;

int process(jack_nframes_t frames, void*) {
    void* out = jack_port_get_buffer(midiOut, frames);
    jack_midi_clear_buffer(out);
    if (!armed.load(std::memory_order_acquire)) return 0;
    const uint64_t base = done.load(std::memory_order_relaxed);
    for (; nextMessage < messages.size() && messages[nextMessage].frame < base + frames; ++nextMessage) {
        const Message& m = messages[nextMessage];
        jack_midi_event_write(out, static_cast<jack_nframes_t>(m.frame - base), m.bytes.data(), m.bytes.size());
    }
    for (int c = 0; c < 2; ++c) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(audioIn[c], frames));
        for (jack_nframes_t i = 0; i < frames && base + i < recorded[c].size(); ++i) recorded[c][base + i] = in[i];
    }
    done.store(base + frames, std::memory_order_release);
    return 0;
}

bool readEvents(const char* path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        Message m;
        if (!(words >> m.frame)) continue;
        std::string hex;
        while (words >> hex) m.bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        if (!m.bytes.empty()) messages.push_back(m);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmor-jack-client EVENTS FRAMES OUT.raw\n");
        return 2;
    }
    if (!readEvents(argv[1])) return std::fprintf(stderr, "cannot read %s\n", argv[1]), 2;
    const uint64_t frames = std::stoull(argv[2]);
    client = jack_client_open("velmor-test", JackNoStartServer, nullptr);
    if (!client) return std::fprintf(stderr, "no JACK server answers\n"), 2;
    const uint64_t total = frames + 8 * jack_get_buffer_size(client);
    recorded[0].assign(total, 0.0f);
    recorded[1].assign(total, 0.0f);
    midiOut = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    audioIn[0] = jack_port_register(client, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    audioIn[1] = jack_port_register(client, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, nullptr);
    if (!midiOut || !audioIn[0] || !audioIn[1] || jack_activate(client) != 0) return std::fprintf(stderr, "JACK refused the client\n"), 2;
    // The program's ports, once it has made them.
    const char** outs = nullptr;
    for (int tries = 0; tries < 200; ++tries) {
        outs = jack_get_ports(client, "^Velmor:", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (outs && outs[0] && outs[1]) break;
        jack_free(outs), outs = nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!outs) return std::fprintf(stderr, "the program's outputs did not appear\n"), 2;
    if (jack_connect(client, "velmor-test:keys", "Velmor:midi_in") != 0 || jack_connect(client, outs[0], "velmor-test:left") != 0 ||
        jack_connect(client, outs[1], "velmor-test:right") != 0)
        return std::fprintf(stderr, "cannot connect to the program\n"), 2;
    jack_free(outs);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    armed.store(true, std::memory_order_release);
    while (done.load(std::memory_order_acquire) < total) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    jack_deactivate(client);
    jack_client_close(client);

    std::vector<int16_t> samples(2 * total);
    uint64_t inexact = 0;
    for (uint64_t i = 0; i < total; ++i)
        for (int c = 0; c < 2; ++c) {
            const float v = recorded[c][i] * 32768.0f;
            if (v != std::nearbyint(v) || v < -32768 || v > 32767) ++inexact;
            samples[2 * i + c] = static_cast<int16_t>(std::lrint(std::fmax(-32768.0f, std::fmin(32767.0f, v))));
        }
    std::ofstream(argv[3], std::ios::binary).write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    std::printf("recorded %llu frames, %llu samples not 16-bit values\n", static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(inexact));
    return inexact == 0 ? 0 : 1;
}
