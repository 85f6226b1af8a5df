#include "plugin/standalone/pulse_audio.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <thread>

#include "plugin/standalone/audio_block.h"

namespace velmor {

namespace {

constexpr uint32_t kBlock = 256;
constexpr uint32_t kAhead = 1024;  // frames the server keeps queued

}  // namespace

struct PulseAudio::Stream {
    pa_simple* pulse = nullptr;
    MidiRing* midi = nullptr;
    std::unique_ptr<Performer> performer;
    std::atomic<bool> stopping{false};
    std::thread thread;
    float left[kBlock], right[kBlock], frames[2 * kBlock];

    ~Stream() {
        stopping = true;
        if (thread.joinable()) thread.join();
        if (pulse) pa_simple_free(pulse);
    }

    void run() {
        while (!stopping.load(std::memory_order_relaxed)) {
            {
                const AudioBlockMark mark;
                performer->play(left, right, kBlock, {}, HostTime{}, midi);
                for (uint32_t i = 0; i < kBlock; ++i) frames[2 * i] = left[i], frames[2 * i + 1] = right[i];
            }
            int error = 0;
            if (pa_simple_write(pulse, frames, sizeof frames, &error) < 0) break;
        }
    }
};

std::unique_ptr<PulseAudio> PulseAudio::open(PluginCore& core, AskedParameters& asked, MidiRing& midi, std::string& why) {
    auto s = std::make_unique<Stream>();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(PluginCore::kEngineRate), 2};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = kAhead * 2 * sizeof(float);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    s->pulse = pa_simple_new(nullptr, "Velmor", PA_STREAM_PLAYBACK, nullptr, "Velmor", &spec, nullptr, &attr, &error);
    if (!s->pulse) return why = std::string("PulseAudio: ") + pa_strerror(error), nullptr;
    core.setHostRate(PluginCore::kEngineRate);
    s->midi = &midi;
    s->performer = std::make_unique<Performer>(core, asked);
    s->thread = std::thread([stream = s.get()] { stream->run(); });
    return std::unique_ptr<PulseAudio>(new PulseAudio(std::move(s)));
}

PulseAudio::PulseAudio(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

PulseAudio::~PulseAudio() = default;

}  // namespace velmor
