#include "plugin/standalone/alsa_audio.h"

#include <alsa/asoundlib.h>

#include "plugin/standalone/block_thread.h"

namespace velmor {

namespace {

constexpr unsigned kAheadMicroseconds = 23000;

void quiet(const char*, int, const char*, int, const char*, ...) {}

// An underrun plays on after a gap.
bool write(void* device, const float* frames) {
    auto* pcm = static_cast<snd_pcm_t*>(device);
    for (snd_pcm_uframes_t done = 0; done < BlockThread::kFrames;) {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm, frames + 2 * done, BlockThread::kFrames - done);
        if (n >= 0)
            done += static_cast<snd_pcm_uframes_t>(n);
        else if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0)
            return false;
    }
    return true;
}

}  // namespace

struct AlsaAudio::Stream {
    snd_pcm_t* pcm = nullptr;
    std::unique_ptr<BlockThread> thread;

    ~Stream() {
        thread.reset();
        if (pcm) snd_pcm_close(pcm);
    }
};

std::unique_ptr<AlsaAudio> AlsaAudio::open(PluginCore& core, AskedParameters& asked, MidiRing& midi, std::string& why) {
    auto s = std::make_unique<Stream>();
    // What ALSA's configuration cannot find is said once, below.
    snd_lib_error_set_handler(quiet);
    int error = snd_pcm_open(&s->pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
    snd_lib_error_set_handler(nullptr);
    if (error < 0) {
        s->pcm = nullptr;
        return why = std::string("ALSA: ") + snd_strerror(error), nullptr;
    }
    // At the engine's own rate; a device that has it not gets ALSA's own
    // conversion.
    error = snd_pcm_set_params(s->pcm, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                               static_cast<unsigned>(PluginCore::kEngineRate), 1, kAheadMicroseconds);
    if (error < 0) return why = std::string("ALSA: ") + snd_strerror(error), nullptr;
    core.setHostRate(PluginCore::kEngineRate);
    s->thread = std::make_unique<BlockThread>(core, asked, midi, write, s->pcm);
    return std::unique_ptr<AlsaAudio>(new AlsaAudio(std::move(s)));
}

AlsaAudio::AlsaAudio(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

AlsaAudio::~AlsaAudio() = default;

}  // namespace velmor
