// velmor-resampler-figures: what the plugin's resampler does to the
// engine's 44100 Hz output at each host rate: the passband ripple (sines
// from 20 Hz up to 20 kHz, or 90 % of the lower Nyquist frequency, through
// the resampler, their level measured by least squares) and the stopband
// (a sine above the host's Nyquist frequency, or the image of a sine above
// the engine's, where each must vanish: what is left of it).

#include <cmath>
#include <cstdio>
#include <vector>

#include "plugin/resampler.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The level in dB of a sine of frequency f in x (least squares, a sine and
// a cosine fitted).
double levelDb(const std::vector<float>& x, double f, double rate) {
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double s = std::sin(2 * kPi * f * n / rate), c = std::cos(2 * kPi * f * n / rate);
        ss += s * s, cc += c * c, sc += s * c, xs += x[n] * s, xc += x[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    return 20 * std::log10(std::sqrt(a * a + b * b) + 1e-30);
}

// The root mean square level in dB of x (full scale sine: -3 dB).
double rmsDb(const std::vector<float>& x) {
    double sum = 0;
    for (float v : x) sum += double{v} * v;
    return 10 * std::log10(sum / x.size() + 1e-30) + 3.0103;
}

std::vector<float> through(velmor::Resampler& r, double f, int inFrames, int outFrames) {
    std::vector<float> in(2 * inFrames);
    for (int n = 0; n < inFrames; ++n) in[2 * n] = in[2 * n + 1] = static_cast<float>(0.5 * std::sin(2 * kPi * f * n / 44100.0));
    r.push(in.data(), inFrames);
    std::vector<float> l(outFrames), rr(outFrames);
    r.pull(l.data(), rr.data(), outFrames);
    // The middle of the output, past the filter's start.
    return std::vector<float>(l.begin() + outFrames / 4, l.begin() + 3 * outFrames / 4);
}

}  // namespace

int main() {
    std::printf("host rate  latency  passband (level, dB)                  stopband (level left, dB)\n");
    for (double rate : {22050.0, 32000.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
        const double top = std::min(20000.0, 0.9 * std::min(rate, 44100.0) / 2);
        double lo = 1e9, hi = -1e9;
        for (double f = 20; f <= top * 1.0001; f *= 1.25) {
            auto r = velmor::Resampler::create(44100, rate);
            const double db = levelDb(through(*r, f, 44100, static_cast<int>(rate)), f, rate) - 20 * std::log10(0.5);
            lo = std::min(lo, db), hi = std::max(hi, db);
        }
        auto r = velmor::Resampler::create(44100, rate);
        std::printf("%9.0f  %7u  20 Hz..%5.0f Hz: %+.4f..%+.4f", rate, r->latency(), top, lo, hi);
        if (rate < 44100) {
            // A sine between the host's Nyquist frequency and the engine's.
            const double f = (rate / 2 + 22050) / 2;
            auto s = velmor::Resampler::create(44100, rate);
            std::printf("   %.0f Hz: %.1f\n", f, rmsDb(through(*s, f, 44100, static_cast<int>(rate))) - 20 * std::log10(0.5));
        } else {
            // Upward: a 15 kHz sine's image at 44100 - 15000 Hz must vanish.
            auto s = velmor::Resampler::create(44100, rate);
            std::printf("   image at 29100 Hz: %.1f\n",
                        levelDb(through(*s, 15000, 44100, static_cast<int>(rate)), 29100, rate) - 20 * std::log10(0.5));
        }
    }
    return 0;
}
