// The plugin apart from its framework: notes sound as the renderer plays
// them, any block sizes give the same output with notes and parameter
// changes at their frames, the resampled output does too, "Follow Host"
// steps at the host's sixteenths without drift, the sequencer's notes go
// out with their sound, and the state round-trips while a damaged one
// changes nothing.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "files/pattern_file.h"
#include "plugin/base64.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "support/sequencer_notes.h"

namespace velmor {
namespace {

HostEvent key(uint32_t frame, int note, int velocity, uint8_t status = 0x90) {
    return {frame, false, 3, {status, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)}};
}
HostEvent parameter(uint32_t frame, uint32_t index, float value) { return {frame, true, 0, {}, index, value}; }

// A host whose transport plays from its start at a tempo, and the
// messages the plugin sent it: each one's frame of the whole run, and its
// bytes.
struct Playing {
    double rate, bpm;
    std::vector<std::array<int64_t, 4>> sent = {};
};

// Plays `frames` frames in host blocks of `block`, with events at frames of
// the whole run (to a host that plays, where given); left and right
// interleaved.
std::vector<float> run(PluginCore& p, int frames, int block, const std::vector<HostEvent>& events, Playing* host = nullptr) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    std::vector<float> l(block), r(block);
    size_t next = 0;
    for (int done = 0; done < frames; done += block) {
        const int n = std::min(block, frames - done);
        std::vector<HostEvent> inBlock;
        for (; next < events.size() && events[next].frame < static_cast<uint32_t>(done + n); ++next)
            inBlock.push_back(events[next]), inBlock.back().frame -= done;
        HostTime time;
        if (host) {
            time.playing = time.valid = time.frameValid = true;
            time.beatsPerMinute = host->bpm, time.frame = done, time.sixteenths = done * host->bpm / 15 / host->rate;
        }
        p.process(l.data(), r.data(), static_cast<uint32_t>(n), inBlock.data(), static_cast<uint32_t>(inBlock.size()), time);
        for (int i = 0; i < n; ++i) out[2 * (done + i)] = l[i], out[2 * (done + i) + 1] = r[i];
        for (const SentMessage& m : p.notesOut())
            if (host) host->sent.push_back({done + m.frame, m.bytes[0], m.bytes[1], m.bytes[2]});
    }
    return out;
}

// A parameter by its symbol.
uint32_t parameterOf(const char* symbol) {
    uint32_t index = 0;
    EXPECT_TRUE(pluginParameterOfSymbol(symbol, index)) << symbol;
    return index;
}

const uint32_t kCutoffOfUnit1 = parameterOf("u1_cutoff");

TEST(PluginCore, NotesSoundAsTheRendererPlaysThem) {
    // The renderer's reference: the sequencer standing, the same keys.
    auto s = testing::startedSynth();
    publishAndReset(*s);
    std::vector<EngineEvent> first = {{0, testing::command(EngineCommand::kSequencer)},
                                      {100, EngineCommand::midi(0x90, 45, 110)},
                                      {9000, EngineCommand::midi(0x90, 48, 90)},
                                      {15000, EngineCommand::midi(0x80, 48, 0)}};
    std::vector<int16_t> expected(2 * 20000);
    renderBlock(s->engine, expected.data(), 20000 * 4, first);

    PluginCore plugin(44100);
    EXPECT_EQ(plugin.latency(), 0u);
    const auto got = run(plugin, 20000, 333, {key(100, 45, 110), key(9000, 48, 90), key(15000, 48, 0, 0x80)});
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(got[i], expected[i] / 32768.0f) << i;
}

TEST(PluginCore, AnyBlockSizesWithNotesAndParametersAtTheirFrames) {
    for (double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        // The tempo changes at 7000.
        const std::vector<HostEvent> events = {key(0, 45, 100),
                                               parameter(3001, kCutoffOfUnit1, 90),
                                               key(7000, 52, 120),
                                               parameter(7000, parameterOf("tempo"), 150),
                                               parameter(12345, kCutoffOfUnit1, 20),
                                               key(20000, 40, 64)};
        PluginCore whole(rate);
        const auto expected = run(whole, 30000, 30000, events);
        for (int block : {1, 37, 512, 4096}) {
            PluginCore p(rate);
            EXPECT_EQ(run(p, 30000, block, events), expected) << block;
        }
        // The parameters were set where they fell, and read back.
        EXPECT_EQ(whole.parameterValue(kCutoffOfUnit1), 20.0f);
        EXPECT_EQ(whole.model().score.doc.settings.tempoBpm, 150);
        PluginCore unchanged(rate);
        EXPECT_NE(run(unchanged, 30000, 30000, {key(0, 45, 100), key(7000, 52, 120), key(20000, 40, 64)}), expected);
    }
}

TEST(PluginCore, AProgramOfItsOwnPlaysAndFollowsMidiClockAsTheRendererDoes) {
    constexpr int kFrames = 30000;
    const auto same = [](const std::vector<float>& got, const std::vector<int16_t>& expected) {
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(got[i], expected[i] / 32768.0f) << i;
    };
    // Play: the pattern from its start, as the renderer plays it; Stop
    // ends it at the next block.
    {
        auto s = testing::startedSynth();
        const auto expected = testing::renderFrames(*s, kFrames);
        PluginCore p(44100);
        p.setOwnTransport(true);
        p.play(true);
        EXPECT_TRUE(p.playPending());
        same(run(p, kFrames, 333, {}), expected);
        EXPECT_TRUE(p.playing());
        EXPECT_FALSE(p.playPending());
        p.play(false);
        run(p, 1, 1, {});
        EXPECT_FALSE(p.playing());
    }
    // MIDI clock, with "Follow Host": Start, then a tick every 919 frames.
    std::vector<EngineEvent> reference = {{0, testing::command(EngineCommand::kClockSync, 1)}, {0, testing::command(EngineCommand::kSequencer)}};
    std::vector<HostEvent> events = {parameter(0, kSequencerParameter, 1)};
    for (int tick = -1; 1000 + tick * 919 < kFrames; ++tick) {
        const uint8_t status = tick < 0 ? 0xFA : 0xF8;
        const uint32_t frame = static_cast<uint32_t>(1000 + std::max(tick, 0) * 919);
        reference.push_back({static_cast<int32_t>(frame), EngineCommand::midi(status, 0, 0, 1)});
        events.push_back({frame, false, 1, {status}});
    }
    auto s = testing::startedSynth();
    publishAndReset(*s);
    const auto expected = testing::renderEvents(s->engine, reference, kFrames, [] { return 4096; });
    PluginCore own(44100);
    own.setOwnTransport(true);
    same(run(own, kFrames, 512, events), expected);
    // A plugin in a host takes neither: the host's transport is its clock.
    PluginCore plugin(44100);
    plugin.play(true);
    EXPECT_EQ(run(plugin, kFrames, 512, events), std::vector<float>(2 * kFrames, 0.0f));
    EXPECT_FALSE(plugin.playing());
}

TEST(PluginCore, FollowingTheHostEveryStepStartsAtItsSixteenth) {
    // 97 BPM, 64 bars in blocks of varying sizes, with a loop at bar 33 back
    // into the 17th bar, between two sixteenths. At every block's end the
    // clock must stand where the host's position says: the step of the last
    // sixteenth begun, and the engine frames since its first frame; after the
    // loop, until the next sixteenth, at that sixteenth's step, waiting. So
    // at 44100 and 48000 Hz, whether the host gives its position exactly,
    // rounded down to 1920 ticks a beat, or rounded and with a pre-roll before
    // the song's start (where a host may round one more tick off) but with
    // the transport's frame.
    enum Host { kExact, kRounded, kRoundedWithFrame };
    const uint32_t sizes[] = {500, 256, 1024, 37, 4096};
    for (const double rate : {44100.0, 48000.0}) {
        for (const Host host : {kExact, kRounded, kRoundedWithFrame}) {
            SCOPED_TRACE(::testing::Message() << rate << " Hz, host " << host);
            const double perSixteenth = rate * 60 / 97 / 4;
            PluginCore p(rate);
            std::vector<float> l(4096), r(4096);
            const HostEvent follow = parameter(0, kSequencerParameter, 1);
            const int64_t total = static_cast<int64_t>(64 * 16 * perSixteenth);
            // The song's frame is songStart at host frame hostStart; a host
            // that gives its frame gives a whole one.
            int64_t hostStart = 0;
            double songStart = host == kRoundedWithFrame ? -768 : 0;
            bool looped = false;
            for (int64_t done = 0, i = 0; done < total; done += sizes[i++ % 5]) {
                if (!looped && done >= total / 2) {
                    looped = true, hostStart = done;
                    songStart = (16 * 16 + 0.375) * perSixteenth;
                    if (host == kRoundedWithFrame) songStart = std::floor(songStart);
                }
                const uint32_t frames = sizes[i % 5];
                HostTime t;
                t.playing = t.valid = true, t.beatsPerMinute = 97;
                t.frame = static_cast<int64_t>(songStart) + done - hostStart;
                t.frameValid = host == kRoundedWithFrame;
                t.sixteenths = (songStart + static_cast<double>(done - hostStart)) / perSixteenth;
                if (host != kExact) t.sixteenths = std::floor(t.sixteenths * 480) / 480 - (t.sixteenths < 0 ? 1.0 / 480 : 0);
                p.process(l.data(), r.data(), frames, done == 0 ? &follow : nullptr, done == 0 ? 1 : 0, t);
                const int64_t end = done + frames;
                // The last sixteenth begun by the block's last frame, and its first frame.
                const int64_t crossed =
                    static_cast<int64_t>(std::floor((songStart + static_cast<double>(end - 1 - hostStart)) / perSixteenth + 1e-9));
                const int64_t next = static_cast<int64_t>(std::ceil(songStart / perSixteenth - 1e-9));
                const Engine& e = p.engine();
                if (crossed < next) {
                    ASSERT_TRUE(e.currentStep == next % 16 && e.stepTick == 0) << "at host frame " << end;
                    continue;
                }
                const int64_t crossingFrame = hostStart + static_cast<int64_t>(std::ceil(crossed * perSixteenth - songStart - 1e-9));
                const int64_t engineEnd = static_cast<int64_t>(std::floor(end * 44100.0 / rate));
                const int64_t engineCrossing = static_cast<int64_t>(std::floor(crossingFrame * 44100.0 / rate));
                ASSERT_EQ(e.currentStep, crossed % 16) << "at host frame " << end;
                ASSERT_EQ(e.stepTick, engineEnd - engineCrossing) << "at host frame " << end;
            }
        }
    }
}

// A host that gives its position but no tempo: the tempo is measured from
// where the position crosses each clock tick (as from MIDI clock), and the
// steps still begin at the host's sixteenths.
TEST(PluginCore, AHostWithoutATempoIsFollowedAtTheTempoItsPositionsShow) {
    PluginCore p(44100);
    const double perSixteenth = 44100.0 * 60 / 97 / 4;
    std::vector<float> l(512), r(512);
    const HostEvent follow = parameter(0, kSequencerParameter, 1);
    int checked = 0;
    for (int64_t done = 0; done < 64 * 16 * 512; done += 500) {
        HostTime t;
        t.playing = t.valid = true, t.tempoKnown = false, t.beatsPerMinute = 0;
        t.sixteenths = static_cast<double>(done) / perSixteenth;
        p.process(l.data(), r.data(), 500, done == 0 ? &follow : nullptr, done == 0 ? 1 : 0, t);
        const double end = static_cast<double>(done + 500) / perSixteenth;
        // Once two beats were measured, away from a sixteenth's first frames.
        if (done < 2 * 4 * perSixteenth || end - std::floor(end) < 4 / perSixteenth) continue;
        ASSERT_EQ(p.engine().currentStep, static_cast<int32_t>(end) % 16) << "at host frame " << done + 500;
        ++checked;
    }
    EXPECT_GT(checked, 900);
    EXPECT_EQ(p.engine().syncedTempo, 97);
}

TEST(PluginCore, TheSequencersNotesGoOutWithTheirSound) {
    // The song at 125 BPM: a sixteenth is 5292 frames at 44100 Hz, and 5760
    // at 48000, whose clock ticks fall on the same engine frames; the engine
    // plays alike at both rates.
    auto song = testing::slidingSong(125);
    std::string bytes;
    writePatternBytes(song->score.doc, bytes);
    // The host playing 100000 frames with "Sequencer" following it, over the
    // song or the start-up pattern.
    const auto follow = [state = "Velmor pattern 1\n" + base64Encode(bytes)](Playing& host, bool overSong = true) {
        PluginCore p(host.rate);
        std::string why;
        EXPECT_TRUE(!overSong || p.loadState(state, why)) << why;
        run(p, 100000, 333, {parameter(0, kSequencerParameter, 1)}, &host);
    };
    Playing heard{44100, 125}, resampled{48000, 125}, faster{44100, 150};
    follow(heard), follow(resampled);
    ASSERT_GT(heard.sent.size(), 40u);
    // At 48000 Hz each at the first host frame of its engine frame, behind
    // the latency, as its sound.
    const uint32_t latency = PluginCore(48000).latency();
    const auto at48000 = [latency](int64_t frame) { return static_cast<int64_t>(std::ceil(frame * 48000.0 / 44100)) + latency; };
    std::erase_if(heard.sent, [&](const auto& m) { return at48000(m[0]) >= 100000; });
    for (auto& m : heard.sent) m[0] = at48000(m[0]);
    EXPECT_EQ(resampled.sent, heard.sent);

    // Each key of a channel goes on and off by turns: so too where the
    // host's tempo is not the pattern's, and its first step ends sooner than
    // the pattern's tempo says (the start-up pattern at 80 BPM: a note on
    // every step, each as long as its step).
    follow(faster, false);
    std::map<int, bool> sounding;
    for (const auto& m : faster.sent) {
        const bool on = (m[1] & 0xF0) == 0x90;
        EXPECT_NE(std::exchange(sounding[(m[1] & 15) << 8 | m[2]], on), on) << "at frame " << m[0];
    }
}

TEST(PluginCore, StateRoundTripsAndADamagedOneChangesNothing) {
    PluginCore a(44100);
    const std::vector<HostEvent> settings = {parameter(0, kCutoffOfUnit1, 77), parameter(0, parameterOf("u3_osc_2_coarse"), 10)};
    a.process(nullptr, nullptr, 0, settings.data(), 2, {});
    const std::string state = a.state();
    EXPECT_EQ(state.rfind("Velmor pattern 1\n", 0), 0u);
    PluginCore b(44100);
    std::string why;
    ASSERT_TRUE(b.loadState(state, why)) << why;
    // At once, before a block: hosts read the values back and send them.
    EXPECT_EQ(b.parameterValue(kCutoffOfUnit1), 76.0f);  // as the getter reads it back
    b.process(nullptr, nullptr, 0, nullptr, 0, {});
    EXPECT_EQ(b.state(), state);
    const std::vector<HostEvent> keys = {key(0, 45, 100), key(9000, 57, 100)};
    EXPECT_EQ(run(a, 20000, 512, keys), run(b, 20000, 512, keys));

    // Each says what is wrong with it.
    for (const auto& [damaged, said] : {std::pair<std::string, std::string>{"a pattern", "no \"Velmor pattern 1\" tag"},
                                        {"Velmor pattern 1\n!!!!", "not base64"},
                                        {"Velmor pattern 1\nVjEuMEEA", "30-byte header"}}) {
        EXPECT_FALSE(b.loadState(damaged, why)) << damaged;
        EXPECT_NE(why.find(said), std::string::npos) << why;
        EXPECT_EQ(b.state(), state);
    }
    EXPECT_FALSE(b.loadPatternFile("no/such/file.pat", why));
    EXPECT_NE(why.find("no/such/file.pat"), std::string::npos);
    EXPECT_FALSE(b.loadPatternFile(VELMOR_FUZZ_DIR "/replay_test.cpp", why)) << "no pattern file's name";
    ASSERT_TRUE(b.loadPatternFile(VELMOR_FUZZ_DIR "/corpus/four-units.pat", why)) << why;
    EXPECT_EQ(b.parameterValue(kUnitsParameter), 4.0f);
    run(b, 10, 10, {});
    EXPECT_EQ(b.model().score.doc.unitCount, 4);
}

TEST(PluginCore, UnitsBroughtIntoUseSoundAsUnitOneDoes) {
    // Unit 3 on channel 3 plays as unit 1 on channel 1 after "Units" 3.
    PluginCore a(44100), b(44100);
    run(a, 10, 10, {parameter(0, kUnitsParameter, 3)}), run(b, 10, 10, {});
    EXPECT_EQ(a.model().score.doc.unitCount, 3);
    EXPECT_EQ(run(a, 9000, 512, {key(100, 45, 100, 0x92)}), run(b, 9000, 512, {key(100, 45, 100)}));
    run(a, 10, 10, {parameter(0, kUnitsParameter, 1)});
    EXPECT_EQ(a.model().score.doc.unitCount, 1);
}

// Waveforms and filter modes sent again at their values are checked through
// the plugins (plugin/host_checks.cpp).
TEST(PluginCore, AValueAParameterHoldsChangesNothing) {
    // Unit 4's LFO target in this file lies outside the control's range; a
    // host's state sets it again after the pattern, and it stays.
    PluginCore a(44100);
    std::string why;
    ASSERT_TRUE(a.loadPatternFile(VELMOR_FUZZ_DIR "/corpus/four-units.pat", why)) << why;
    run(a, 10, 10, {});
    const uint32_t target = parameterOf("u4_lfo_target");
    ASSERT_GT(a.parameterValue(target), pluginParameter(target).maximum);
    const std::string state = a.state();
    run(a, 10, 10, {parameter(0, target, a.parameterValue(target))});
    EXPECT_EQ(a.state(), state);
}

}  // namespace
}  // namespace velmor
