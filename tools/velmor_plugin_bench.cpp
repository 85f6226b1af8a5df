// The plugin's render speed: one instance of the plugin core playing four
// units with the start-up settings (unit 1's pasted into the others, a
// note on every step) while the host's transport runs and "Sequencer"
// follows it, in host blocks of 512 frames. At 48000 Hz the resampler is
// included; 44100 Hz is the engine's own rate. Prints unit-frames per
// second (host frames times units) and times real time, the median of
// several rounds, as velmor-bench does. Then the cost of one automation
// event: the same playback at 44100 Hz with 64 parameter changes in every
// block (every parameter in turn, each to a new value, at frames spread
// over the block), less the playback without them, per change.
//
// usage: velmor-plugin-bench [--min-time SECONDS] [--rounds N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "model/fresh_synth.h"
#include "plugin/base64.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"

namespace velmor {
namespace {

constexpr int kUnits = 4;
constexpr uint32_t kBlock = 512;
constexpr double kTempo = 120;

// The state of four units with the start-up settings.
std::string fourUnitState() {
    auto s = startedSynth();
    for (int u = 1; u < kUnits; ++u) applyStartupLikeSettings(*s, u);
    for (int u = 0; u < kUnits; ++u)
        for (int i = 0; i < 16; ++i) s->score.doc.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(15 + (i * 5 + u) % 24);
    std::string bytes;
    writePatternBytes(s->score.doc, bytes);
    return "Velmor pattern 1\n" + base64Encode(bytes);
}

using Clock = std::chrono::steady_clock;

// Host frames per second: the median of `rounds` rounds of at least
// `minTime` seconds each.
double framesPerSecond(double rate, double minTime, int rounds, const std::string& state, uint32_t changesPerBlock = 0) {
    PluginCore core(rate);
    std::string why;
    if (!core.loadState(state, why)) {
        std::fprintf(stderr, "velmor-plugin-bench: %s\n", why.c_str());
        std::exit(1);
    }
    HostEvent follow;
    follow.isParameter = true;
    follow.parameter = kSequencerParameter;
    follow.value = 1;
    std::vector<float> left(kBlock), right(kBlock);
    const double sixteenthsPerFrame = kTempo * 4 / 60 / rate;
    int64_t played = 0;
    std::vector<HostEvent> events(changesPerBlock + 1);
    uint32_t next = 0;
    const auto block = [&] {
        HostTime t;
        t.playing = t.valid = true;
        t.beatsPerMinute = kTempo;
        t.sixteenths = static_cast<double>(played) * sixteenthsPerFrame;
        uint32_t count = 0;
        if (played == 0) events[count++] = follow;
        for (uint32_t i = 0; i < changesPerBlock && played > 0; ++i, ++next) {
            const uint32_t index = next % kSequencerParameter;
            const PluginParameter& p = pluginParameter(index);
            const int32_t span = p.maximum - p.minimum + 1;
            events[count++] = {
                i * kBlock / changesPerBlock,
                true,
                0,
                {},
                index,
                static_cast<float>(p.minimum + static_cast<int32_t>(next / kSequencerParameter % 2 ? span / 3 : span / 2))};
        }
        core.process(left.data(), right.data(), kBlock, events.data(), count, t);
        played += kBlock;
    };
    for (int i = 0; i < 100; ++i) block();  // warm up; the sequencer runs
    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round) {
        const int64_t from = played;
        const Clock::time_point start = Clock::now();
        double elapsed = 0;
        do {
            for (int i = 0; i < 16; ++i) block();
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < minTime);
        rates.push_back(static_cast<double>(played - from) / elapsed);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    double minTime = 0.5;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--min-time") == 0 && i + 1 < argc) {
            minTime = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: velmor-plugin-bench [--min-time SECONDS] [--rounds N]\n");
            return 1;
        }
    }
    const std::string state = velmor::fourUnitState();
    double plain = 0;
    for (double rate : {48000.0, 44100.0}) {
        const double frames = velmor::framesPerSecond(rate, minTime, rounds, state);
        const std::string name = "plugin/startup/units:4/" + std::to_string(static_cast<int>(rate)) + " Hz";
        std::printf("%-32s %10.2f M unit-frames/s %10.1f x real time\n", name.c_str(), frames * velmor::kUnits / 1e6,
                    frames / rate);
        std::fflush(stdout);
        plain = frames;
    }
    constexpr uint32_t kChanges = 64;
    const double automated = velmor::framesPerSecond(44100.0, minTime, rounds, state, kChanges);
    const double perChange = (1 / automated - 1 / plain) * velmor::kBlock / kChanges;
    std::printf("%-32s %10.2f us a change\n", "plugin/automation/64 a block", perChange * 1e6);
    return 0;
}
