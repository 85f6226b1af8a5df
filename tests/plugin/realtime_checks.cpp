// The real-time run: one instance plays on through everything a host may
// do in its blocks, and what its audio callback calls is counted in each
// part (realtime_counter.h).

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "host_checks.h"
#include "plugin/plugin_parameters.h"
#include "realtime_counter.h"

namespace velmor::hosttest {

namespace {

constexpr uint32_t kBlock = 512;

// Hundreds of keys pressed and let go on every channel, all over a block.
std::vector<MidiAt> keyStorm(uint32_t block) {
    std::vector<MidiAt> keys;
    for (uint32_t i = 0; i < 400; ++i) {
        const auto status = static_cast<uint8_t>((i / 16 % 2 ? 0x80 : 0x90) | i % 16);
        keys.push_back({i * kBlock / 400, {status, static_cast<uint8_t>(24 + (i * 7 + block) % 72), static_cast<uint8_t>(1 + i % 127)}});
    }
    return keys;
}

// Every parameter three times within a block, at frames in order, each
// time at a value other than its last.
std::vector<ParameterChange> everyParameter(const std::vector<ParameterInfo>& shown, uint32_t block) {
    std::vector<ParameterChange> changes;
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t i = 0; i < shown.size(); ++i) {
            const double span = shown[i].maximum - shown[i].minimum + 1;
            changes.push_back({i, shown[i].minimum + std::fmod(3.0 * block + k + i, span), k * 170 + i % 160});
        }
    return changes;
}

struct Player {
    Instance& instance;
    double rate;
    std::vector<float> left = std::vector<float>(kBlock), right = std::vector<float>(kBlock);
    Transport transport = {};

    void play(const std::vector<MidiAt>& midi = {}, const std::vector<ParameterChange>& changes = {}) {
        if (!instance.process(left.data(), right.data(), kBlock, midi, changes)) fail("real-time: a block was refused");
        if (transport.playing) {
            transport.quarters += kBlock / rate * transport.beatsPerMinute / 60;
            transport.frame += kBlock;
            if (transport.loopEnd > transport.loopStart && transport.quarters >= transport.loopEnd)
                transport.quarters -= transport.loopEnd - transport.loopStart;
        }
        instance.setTransport(transport);
    }
};

// "Sequencer" on Follow Host while the host plays, jumps, loops, changes
// its tempo, stops and starts again.
void followTheHost(Player& p) {
    p.transport = {true, 120, 0, 0};
    p.instance.setTransport(p.transport);
    p.play({}, {{kSequencerParameter, 1, 0}});
    for (uint32_t block = 0; block < 64; ++block) {
        Transport& t = p.transport;
        if (block == 8) t.quarters = 37.3, t.frame += 100000;
        if (block == 16) t.loopStart = 40, t.loopEnd = 41.5;
        if (block == 32) t.loopEnd = 0, t.quarters = 2;
        if (block == 40) t.beatsPerMinute = 97;
        t.playing = block < 48 || block > 52;
        p.instance.setTransport(t);
        p.play({{block * 7 % kBlock, {0x90, static_cast<uint8_t>(40 + block % 12), 100}}});
    }
}

// States loaded between blocks, then by another thread while this one
// plays on, where the format allows.
void loadStates(Player& p) {
    std::string saved;
    if (!p.instance.saveState(saved)) return fail("real-time: the plugin saves no state");
    for (int i = 0; i < 4; ++i) {
        if (!p.instance.loadState(saved)) fail("real-time: the plugin refuses its own state");
        p.play(keyStorm(i));
    }
    if (!p.instance.loadsWhilePlaying()) return;
    std::atomic<int> loads{0};
    std::atomic<bool> done{false};
    std::thread loader([&] {
        while (!done) p.instance.loadState(saved), ++loads;
    });
    for (uint32_t block = 0; block < 64 || loads < 16; ++block) p.play(keyStorm(block));
    done = true;
    loader.join();
    p.play();  // the last one loaded
}

void part(const std::string& what, const std::function<void()>& run) {
    resetRealtimeCounts();
    run();
    reportRealtimeCounts(what);
}

}  // namespace

void runRealtimeChecks(const Format& format) {
    std::unique_ptr<Instance> instance = format.create();
    if (!instance || !instance->activate(44100, kBlock)) return fail("real-time: the instance did not start");
    const std::vector<ParameterInfo> shown = instance->parameters();
    Player p{*instance, 44100};
    part("the first block after activation", [&] { p.play(keyStorm(0), everyParameter(shown, 0)); });
    part("every parameter moved in every block", [&] {
        for (uint32_t block = 1; block < 24; ++block) p.play({}, everyParameter(shown, block));
    });
    part("hundreds of keys in every block", [&] {
        for (uint32_t block = 0; block < 24; ++block) p.play(keyStorm(block));
    });
    part("following the host's transport, its jumps and loops", [&] { followTheHost(p); });
    part("states loaded while playing", [&] { loadStates(p); });
    instance->deactivate();
    if (!instance->activate(48000, kBlock)) return fail("real-time: the instance did not start again at 48000 Hz");
    p.rate = 48000;
    part("after a change to 48000 Hz", [&] {
        for (uint32_t block = 0; block < 8; ++block) p.play(keyStorm(block), everyParameter(shown, block));
    });
}

}  // namespace velmor::hosttest
