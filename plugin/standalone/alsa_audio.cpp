#include "plugin/standalone/alsa_audio.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <thread>

#include "plugin/standalone/audio_block.h"

namespace velmor {

namespace {

constexpr uint32_t kBlock = 256;
constexpr unsigned kAheadMicroseconds = 23000;

void quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

struct AlsaAudio::Stream {
    snd_pcm_t* pcm = nullptr;
    MidiRing* midi = nullptr;
    std::unique_ptr<Performer> performer;
    std::atomic<bool> stopping{false};
    std::thread thread;
    float left[kBlock], right[kBlock], frames[2 * kBlock];

    ~Stream() {
        stopping = true;
        if (thread.joinable()) thread.join();
        if (pcm) snd_pcm_close(pcm);
    }

    void run() {
        while (!stopping.load(std::memory_order_relaxed)) {
            {
                const AudioBlockMark mark;
                performer->play(left, right, kBlock, {}, HostTime{}, midi);
                for (uint32_t i = 0; i < kBlock; ++i) frames[2 * i] = left[i], frames[2 * i + 1] = right[i];
            }
            // An underrun plays on after a gap.
            for (snd_pcm_uframes_t done = 0; done < kBlock && !stopping.load(std::memory_order_relaxed);) {
                const snd_pcm_sframes_t n = snd_pcm_writei(pcm, frames + 2 * done, kBlock - done);
                if (n >= 0)
                    done += static_cast<snd_pcm_uframes_t>(n);
                else if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0)
                    return;
            }
        }
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
    s->midi = &midi;
    s->performer = std::make_unique<Performer>(core, asked);
    s->thread = std::thread([stream = s.get()] { stream->run(); });
    return std::unique_ptr<AlsaAudio>(new AlsaAudio(std::move(s)));
}

AlsaAudio::AlsaAudio(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

AlsaAudio::~AlsaAudio() = default;

}  // namespace velmor
