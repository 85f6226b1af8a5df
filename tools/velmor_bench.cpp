// Render speed: unit-frames per second (one unit for one frame is one
// unit-frame, mixdown included) for 1 and 4 units with start-up-like settings
// and with Lo24, Hi12, strong-FM and swing-and-accent variants; and the time the distortion
// curves take to build. Real time is 44100 frames per second.
//
// A plain timing loop, so that the Linux and the Windows build measure and
// print the same way. Each case runs several rounds of at least --min-time
// seconds; the median round is printed.
//
// usage: velmor-bench [--min-time SECONDS] [--rounds N] [--filter TEXT]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/filter.h"
#include "model/fresh_synth.h"

namespace velmor {
namespace {

enum Variant { kStartup, kLowPass24, kHighPass12, kStrongFm, kSwingAccent };
const char* const kVariantNames[] = {"startup", "lo24", "hi12", "strong_fm", "swing_accent"};

std::unique_ptr<Synth> benchSynth(int units, Variant variant) {
    auto s = initialisedSynth();
    for (int u = 0; u < units; ++u) {
        applyStartupLikeSettings(*s, u);
        UnitRecord& r = s->score.doc.units[u];
        r.volume = 32;
        if (variant == kLowPass24) r.filterMode = kLo24;
        if (variant == kHighPass12) r.filterMode = kHi12;
        if (variant == kStrongFm) {
            r.fmAmount = 256;
            r.osc2Coarse = 12;
        }
        for (int i = 0; i < 16; ++i) {
            s->score.doc.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(15 + (i * 5 + u) % 24);
            // Start-up settings with swing and every third step accented.
            if (variant == kSwingAccent) s->score.doc.stepSpare[stepIndex(u, 0, i)] = static_cast<uint8_t>(i % 3 == 0);
        }
    }
    if (variant == kSwingAccent) s->score.doc.settings.swing = 50;
    return s;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Options {
    double minTime = 0.5;
    int rounds = 5;
    std::string filter;
};

// Runs `step` (which does `work` units of work per call) in rounds of at
// least minTime seconds and returns the median rate in work per second.
template <class Step>
double medianRate(const Options& o, double work, Step step) {
    step();  // warm the caches and the tables
    std::vector<double> rates;
    for (int round = 0; round < o.rounds; ++round) {
        long calls = 0;
        const Clock::time_point start = Clock::now();
        double elapsed = 0;
        do {
            step();
            ++calls;
            elapsed = secondsSince(start);
        } while (elapsed < o.minTime);
        rates.push_back(static_cast<double>(calls) * work / elapsed);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

uint32_t sink = 0;  // keeps the rendered frames observable

void renderCase(const Options& o, Variant variant, int units) {
    const std::string name = std::string("render/") + kVariantNames[variant] + "/units:" + std::to_string(units);
    if (name.find(o.filter) == std::string::npos) return;
    auto s = benchSynth(units, variant);
    constexpr int kBlock = 4096;
    std::vector<int16_t> out(2 * kBlock);
    const double blocksPerSecond = medianRate(o, 1.0, [&] {
        publishAndRender(*s, out.data(), kBlock * 4);
        sink += static_cast<uint16_t>(out[kBlock]);
    });
    const double framesPerSecond = blocksPerSecond * kBlock;
    std::printf("%-32s %10.2f M unit-frames/s %10.1f x real time\n", name.c_str(), framesPerSecond * units / 1e6,
                framesPerSecond / 44100.0);
    std::fflush(stdout);
}

void distortionCurveCase(const Options& o) {
    const std::string name = "build_distortion_curves";
    if (name.find(o.filter) == std::string::npos) return;
    auto s = makeSynth();
    const double buildsPerSecond = medianRate(o, 1.0, [&] {
        buildDistortionCurves(s->tables);
        sink += static_cast<uint32_t>(s->tables.distCurvesB[9][0]);
    });
    std::printf("%-32s %10.2f ms\n", name.c_str(), 1000.0 / buildsPerSecond);
    std::fflush(stdout);
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--min-time") == 0 && hasValue) {
            o.minTime = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--rounds") == 0 && hasValue) {
            o.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--filter") == 0 && hasValue) {
            o.filter = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    velmor::Options options;
    if (!velmor::parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: velmor-bench [--min-time SECONDS] [--rounds N] [--filter TEXT]\n");
        return 1;
    }
    for (int variant = velmor::kStartup; variant <= velmor::kSwingAccent; ++variant)
        for (int units : {1, 4}) velmor::renderCase(options, static_cast<velmor::Variant>(variant), units);
    velmor::distortionCurveCase(options);
    return velmor::sink == 0xFFFFFFFFu ? 2 : 0;  // never true; reads the sink
}
