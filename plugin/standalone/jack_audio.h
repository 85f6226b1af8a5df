#pragma once
// The program as a JACK client named "Velmor": a stereo output (left,
// right), a MIDI input (midi_in) whose messages play at their frames, a
// MIDI output (midi_out) with the notes the sequencer plays, and JACK's
// transport as the host's. The plugin core runs at the server's rate.

#include <memory>
#include <string>

#include "plugin/standalone/performer.h"

namespace velmor {

class JackAudio {
public:
    // Null, and why, where no JACK server runs (none is started).
    static std::unique_ptr<JackAudio> open(PluginCore& core, AskedParameters& asked, std::string& why);
    ~JackAudio();
    JackAudio(const JackAudio&) = delete;
    JackAudio& operator=(const JackAudio&) = delete;
    double rate() const;

    struct Client;

private:
    explicit JackAudio(std::unique_ptr<Client> client);
    std::unique_ptr<Client> client_;
};

}  // namespace velmor
