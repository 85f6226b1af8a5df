#include "plugin/standalone/alsa_midi.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <atomic>
#include <thread>
#include <vector>

namespace velmor {

struct AlsaMidi::Reader {
    snd_seq_t* seq = nullptr;
    snd_midi_event_t* decoder = nullptr;
    int port = -1;
    int sources = 0;
    MidiRing* ring = nullptr;
    std::atomic<bool> stopping{false};
    std::thread thread;

    ~Reader() {
        stopping = true;
        if (thread.joinable()) thread.join();
        if (decoder) snd_midi_event_free(decoder);
        if (seq) snd_seq_close(seq);
    }

    // Every other client's port that sends MIDI to whoever subscribes.
    void connectSources() {
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* info;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&info);
        const int self = snd_seq_client_id(seq);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == self || id == SND_SEQ_CLIENT_SYSTEM) continue;
            snd_seq_port_info_set_client(info, id);
            snd_seq_port_info_set_port(info, -1);
            while (snd_seq_query_next_port(seq, info) >= 0) {
                const unsigned caps = snd_seq_port_info_get_capability(info);
                const unsigned wanted = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                if ((caps & wanted) == wanted && !(caps & SND_SEQ_PORT_CAP_NO_EXPORT) &&
                    snd_seq_connect_from(seq, port, id, snd_seq_port_info_get_port(info)) == 0)
                    ++sources;
            }
        }
    }

    void run() {
        std::vector<pollfd> fds(static_cast<size_t>(snd_seq_poll_descriptors_count(seq, POLLIN)));
        snd_seq_poll_descriptors(seq, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
        while (!stopping.load(std::memory_order_relaxed)) {
            if (poll(fds.data(), fds.size(), 100) <= 0) continue;
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(seq, &event) >= 0 && event) {
                StampedMidi m;
                const long size = snd_midi_event_decode(decoder, m.bytes, sizeof m.bytes, event);
                if (size > 0 && size <= 3 && ring->fits(1)) {
                    m.size = static_cast<uint8_t>(size);
                    ring->stage(m);
                    ring->commit();
                }
                if (snd_seq_event_input_pending(seq, 0) <= 0) break;
            }
        }
    }
};

std::unique_ptr<AlsaMidi> AlsaMidi::open(MidiRing& ring, std::string& why) {
    auto r = std::make_unique<Reader>();
    if (snd_seq_open(&r->seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
        r->seq = nullptr;
        return why = "ALSA's sequencer does not answer", nullptr;
    }
    snd_seq_set_client_name(r->seq, "Velmor");
    r->port = snd_seq_create_simple_port(r->seq, "Velmor", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (r->port < 0 || snd_midi_event_new(16, &r->decoder) < 0) return why = "ALSA's sequencer refused a port", nullptr;
    snd_midi_event_no_status(r->decoder, 1);  // every message whole, with its status byte
    r->ring = &ring;
    r->connectSources();
    r->thread = std::thread([reader = r.get()] { reader->run(); });
    return std::unique_ptr<AlsaMidi>(new AlsaMidi(std::move(r)));
}

AlsaMidi::AlsaMidi(std::unique_ptr<Reader> reader) : reader_(std::move(reader)) {}
AlsaMidi::~AlsaMidi() = default;
int AlsaMidi::connected() const { return reader_->sources; }

}  // namespace velmor
