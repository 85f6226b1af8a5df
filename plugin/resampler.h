#pragma once
// The engine's 44100 Hz stereo into a host's rate: libsoxr at very high
// quality (28-bit), with a short transform so that its output comes in
// small bursts, then a FIFO primed with the frames that bursts can lag by,
// so that every host block finds its frames there. All memory is taken
// when the resampler is made, the library's own too.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmor {

class Resampler {
public:
    // The longest block a host hands over at once, in its frames.
    static constexpr uint32_t kLongestHostBlock = 4096;

    // Null when the library refuses the rates.
    static std::unique_ptr<Resampler> create(double inputRate, double outputRate);
    ~Resampler();

    // The frames the output lags behind the input (filter and bursts).
    uint32_t latency() const { return latency_; }
    // Resamples interleaved stereo frames into the FIFO.
    void push(const float* interleaved, size_t frames);
    // The next `frames` frames (silence for any the FIFO lacks, which the
    // latency rules out).
    void pull(float* left, float* right, size_t frames);

private:
    Resampler() = default;
    void* soxr_ = nullptr;
    std::unique_ptr<float[]> fifo_;  // interleaved stereo ring
    size_t capacity_ = 0;            // frames
    size_t head_ = 0, size_ = 0;
    std::unique_ptr<float[]> scratch_;
    size_t scratchFrames_ = 0;
    uint32_t latency_ = 0;
    size_t dropping_ = 0;  // output frames still to drop: the silence it was made with
};

}  // namespace velmor
