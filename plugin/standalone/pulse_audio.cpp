#include "plugin/standalone/pulse_audio.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include "plugin/standalone/block_thread.h"

namespace velmor {

namespace {

constexpr uint32_t kAhead = 1024;  // frames the server keeps queued

bool write(void* pulse, const float* frames) {
    int error = 0;
    return pa_simple_write(static_cast<pa_simple*>(pulse), frames, 2 * BlockThread::kFrames * sizeof(float), &error) >= 0;
}

}  // namespace

struct PulseAudio::Stream {
    pa_simple* pulse = nullptr;
    std::unique_ptr<BlockThread> thread;

    ~Stream() {
        thread.reset();
        if (pulse) pa_simple_free(pulse);
    }
};

std::unique_ptr<PulseAudio> PulseAudio::open(PluginCore& core, AskedParameters& asked, MidiRing& midi, std::string& why) {
    auto s = std::make_unique<Stream>();
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(PluginCore::kEngineRate), 2};
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = kAhead * 2 * sizeof(float);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    s->pulse = pa_simple_new(nullptr, "Velmor", PA_STREAM_PLAYBACK, nullptr, "Velmor", &format, nullptr, &attr, &error);
    if (!s->pulse) return why = std::string("PulseAudio: ") + pa_strerror(error), nullptr;
    core.setHostRate(PluginCore::kEngineRate);
    s->thread = std::make_unique<BlockThread>(core, asked, midi, write, s->pulse);
    return std::unique_ptr<PulseAudio>(new PulseAudio(std::move(s)));
}

PulseAudio::PulseAudio(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

PulseAudio::~PulseAudio() = default;

}  // namespace velmor
