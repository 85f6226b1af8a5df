#pragma once
// The program straight on PulseAudio (or PipeWire's PulseAudio service),
// where no JACK server runs: 32-bit float stereo at 44100 Hz, the engine's
// own rate, to the default output, blocks of 256 frames rendered on a
// thread of its own, about 23 ms ahead. MIDI comes through a ring (ALSA's
// sequencer) and plays at the next block's first frame.

#include <memory>
#include <string>

#include "plugin/standalone/performer.h"

namespace velmor {

class PulseAudio {
public:
    // Null, and why, where no PulseAudio server answers.
    static std::unique_ptr<PulseAudio> open(PluginCore& core, AskedParameters& asked, MidiRing& midi, std::string& why);
    ~PulseAudio();
    PulseAudio(const PulseAudio&) = delete;
    PulseAudio& operator=(const PulseAudio&) = delete;

    struct Stream;

private:
    explicit PulseAudio(std::unique_ptr<Stream> stream);
    std::unique_ptr<Stream> stream_;
};

}  // namespace velmor
