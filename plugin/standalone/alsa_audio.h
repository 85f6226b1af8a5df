#pragma once
// The program straight on ALSA, where neither a JACK nor a PulseAudio
// server answers: 32-bit float stereo at 44100 Hz to the "default" device
// (converted by ALSA where the device has not that rate),
// blocks of 256 frames rendered on a thread of its own, about 23 ms ahead.
// MIDI comes through a ring (ALSA's sequencer) and plays at the next
// block's first frame.

#include <memory>
#include <string>

#include "plugin/standalone/performer.h"

namespace velmor {

class AlsaAudio {
public:
    // Null, and why, where the device cannot be opened.
    static std::unique_ptr<AlsaAudio> open(PluginCore& core, AskedParameters& asked, MidiRing& midi, std::string& why);
    ~AlsaAudio();
    AlsaAudio(const AlsaAudio&) = delete;
    AlsaAudio& operator=(const AlsaAudio&) = delete;

    struct Stream;

private:
    explicit AlsaAudio(std::unique_ptr<Stream> stream);
    std::unique_ptr<Stream> stream_;
};

}  // namespace velmor
