#pragma once
// MIDI from ALSA's sequencer, where the program plays without JACK: a port
// "Velmor" that every keyboard and clock source of the system is connected
// to at the start (others connect to it with any patchbay), read on a
// thread of its own into a ring for the audio thread.

#include <memory>
#include <string>

#include "plugin/standalone/performer.h"

namespace velmor {

class AlsaMidi {
public:
    // Null, and why, where the sequencer does not answer.
    static std::unique_ptr<AlsaMidi> open(MidiRing& ring, std::string& why);
    ~AlsaMidi();
    AlsaMidi(const AlsaMidi&) = delete;
    AlsaMidi& operator=(const AlsaMidi&) = delete;
    // Sources connected at the start.
    int connected() const;

    struct Reader;

private:
    explicit AlsaMidi(std::unique_ptr<Reader> reader);
    std::unique_ptr<Reader> reader_;
};

}  // namespace velmor
