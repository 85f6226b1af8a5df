// Render speed: unit-frames per second (one unit for one frame is one
// unit-frame, mixdown included) for 1 and 4 units with start-up-like settings
// and with Lo24, Hi12 and strong-FM variants; and the time the distortion
// curves take to build. Real time is 44100 frames per second.

#include <benchmark/benchmark.h>

#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

enum Variant { kStartup, kLowPass24, kHighPass12, kStrongFm };

std::unique_ptr<Synth> benchSynth(int units, Variant variant) {
    auto s = testing::initialisedSynth();
    for (int u = 0; u < units; ++u) {
        testing::applyStartupLikeSettings(*s, u);
        UnitRecord& r = s->store.units[u];
        r.volume = 32;
        if (variant == kLowPass24) r.filterMode = kLo24;
        if (variant == kHighPass12) r.filterMode = kHi12;
        if (variant == kStrongFm) {
            r.fmAmount = 256;
            r.osc2Coarse = 12;
        }
        for (int i = 0; i < 16; ++i) s->store.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(15 + (i * 5 + u) % 24);
    }
    return s;
}

void renderSpeed(benchmark::State& state) {
    const int units = static_cast<int>(state.range(0));
    auto s = benchSynth(units, static_cast<Variant>(state.range(1)));
    constexpr int kBlock = 4096;
    std::vector<int16_t> out(2 * kBlock);
    for (auto _ : state) {
        renderBlock(*s, out.data(), kBlock * 4);
        benchmark::DoNotOptimize(out.data());
    }
    const double unitFrames = static_cast<double>(state.iterations()) * kBlock * units;
    state.counters["unit_frames_per_s"] = benchmark::Counter(unitFrames, benchmark::Counter::kIsRate);
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / 44100.0, benchmark::Counter::kIsRate);
}

void distortionCurveBuild(benchmark::State& state) {
    auto s = makeSynth();
    for (auto _ : state) {
        buildDistortionCurves(s->tables);
        benchmark::DoNotOptimize(s->tables.distCurvesB[9][0]);
    }
}

const char* const kVariantNames[] = {"startup", "lo24", "hi12", "strong_fm"};

void registerAll() {
    for (int variant = kStartup; variant <= kStrongFm; ++variant)
        for (int units : {1, 4})
            benchmark::RegisterBenchmark(
                (std::string("render/") + kVariantNames[variant] + "/units:" + std::to_string(units)).c_str(),
                renderSpeed)
                ->Args({units, variant})
                ->MinTime(0.5);
    benchmark::RegisterBenchmark("build_distortion_curves", distortionCurveBuild)->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    velmor::registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
