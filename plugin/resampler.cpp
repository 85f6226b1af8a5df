#include "plugin/resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmor {

namespace {

soxr_t makeSoxr(double inputRate, double outputRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    runtime.log2_large_dft_size = 10;  // small bursts: a short latency
    soxr_error_t error = nullptr;
    soxr_t s = soxr_create(inputRate, outputRate, 2, &error, &io, &quality, &runtime);
    return error ? nullptr : s;
}

// How far the output can fall behind the ideal count of frames, found by
// feeding silence a frame at a time: the bursts depend on how much input
// came in all, not on how it came.
double worstLag(double inputRate, double outputRate) {
    soxr_t s = makeSoxr(inputRate, outputRate);
    if (!s) return 0;
    const float in[2] = {0, 0};
    const size_t room = 4096;
    auto out = std::make_unique<float[]>(2 * room);
    double worst = 0;
    size_t fed = 0, got = 0;
    for (int i = 0; i < 1 << 17; ++i) {
        size_t used = 0, made = 0;
        soxr_process(s, in, 1, &used, out.get(), room, &made);
        fed += used;
        got += made;
        const double lag = static_cast<double>(fed) * outputRate / inputRate - static_cast<double>(got);
        if (lag > worst) worst = lag;
    }
    soxr_delete(s);
    return worst;
}

}  // namespace

std::unique_ptr<Resampler> Resampler::create(double inputRate, double outputRate) {
    std::unique_ptr<Resampler> r(new Resampler);
    r->soxr_ = makeSoxr(inputRate, outputRate);
    if (!r->soxr_) return nullptr;
    r->latency_ = static_cast<uint32_t>(std::ceil(worstLag(inputRate, outputRate) * 1.25)) + 16;
    // Room for the latency and the largest block (8192 host frames), at
    // the highest ratio, several times over.
    r->capacity_ = r->latency_ + 65536 * 8;
    r->fifo_.reset(new float[2 * r->capacity_]());
    r->scratchFrames_ = 65536;
    r->scratch_.reset(new float[2 * r->scratchFrames_]);
    r->size_ = r->latency_;  // primed with silence
    // The library takes its memory as its buffers first fill: here, not on
    // the audio thread. Whole seconds of silence, in pushes as long as a
    // block can bring, leave it where a fresh one stands, but for memory;
    // what they give out (a second's frames at the output rate each) is
    // dropped.
    const size_t longest = static_cast<size_t>(std::ceil(kLongestHostBlock * inputRate / outputRate)) + 1;
    const size_t seconds = (longest + static_cast<size_t>(inputRate) - 1) / static_cast<size_t>(inputRate);
    r->dropping_ = static_cast<size_t>(std::llround(static_cast<double>(seconds) * outputRate));
    const size_t warmUp = seconds * static_cast<size_t>(inputRate);
    auto silence = std::make_unique<float[]>(2 * longest);
    std::fill(silence.get(), silence.get() + 2 * longest, 0.0f);
    for (size_t done = 0; done < warmUp;) {
        const size_t n = std::min(longest, warmUp - done);
        r->push(silence.get(), n);
        done += n;
    }
    return r;
}

Resampler::~Resampler() {
    if (soxr_) soxr_delete(static_cast<soxr_t>(soxr_));
}

void Resampler::push(const float* interleaved, size_t frames) {
    soxr_t s = static_cast<soxr_t>(soxr_);
    while (frames > 0) {
        size_t used = 0, made = 0;
        soxr_process(s, interleaved, frames, &used, scratch_.get(), scratchFrames_, &made);
        size_t i = std::min(made, dropping_);
        dropping_ -= i;
        for (; i < made && size_ < capacity_; ++i) {
            const size_t at = (head_ + size_++) % capacity_;
            fifo_[2 * at] = scratch_[2 * i];
            fifo_[2 * at + 1] = scratch_[2 * i + 1];
        }
        interleaved += 2 * used;
        frames -= used;
        if (used == 0 && made == 0) break;
    }
}

void Resampler::pull(float* left, float* right, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        if (size_ == 0) {
            left[i] = right[i] = 0;
            continue;
        }
        left[i] = fifo_[2 * head_];
        right[i] = fifo_[2 * head_ + 1];
        head_ = (head_ + 1) % capacity_;
        --size_;
    }
}

}  // namespace velmor
