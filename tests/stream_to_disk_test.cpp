// "Stream 2 Disk...": one pass from step 0, F - 1 frames of the continuous
// output, the clock where the pass left it, and failed writes reported.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/stream_to_disk.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::renderFrames;
using testing::startedSynth;

// Runs streamToDisk into an anonymous temporary file and hands back what it
// wrote, with its result and the pattern end frame it left.
struct Streamed {
    int result;
    std::vector<int16_t> values;
    int32_t patternEndFrame;
};

Streamed stream(Synth& s) {
    Streamed out{};
    std::FILE* f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    if (!f) return out;
    out.result = streamToDisk(s, f);
    out.patternEndFrame = s.engine.patternEndFrame;
    const long bytes = std::ftell(f);
    EXPECT_EQ(bytes % 4, 0) << "whole frames only";
    out.values.resize(static_cast<size_t>(bytes) / 2);
    std::rewind(f);
    EXPECT_EQ(std::fread(out.values.data(), 2, out.values.size(), f), out.values.size());
    std::fclose(f);
    return out;
}

// Four units with patterns, waves, filters and the delay of their own, so
// that a pass is not one note repeated.
void configureBusyPattern(Synth& s, int tempo) {
    for (int u = 1; u < 4; ++u) applyStartupLikeSettings(s, u);
    for (int u = 0; u < 4; ++u) {
        UnitRecord& r = s.store.units[u];
        r.filterMode = static_cast<uint16_t>(u);
        r.osc1Wave = static_cast<uint16_t>(u);
        r.lfoTarget = static_cast<uint16_t>(u % 3);
        r.lfoAmount = 80;
        r.lfoSpeed = 3.0 + u;
        r.delaySend[0] = 40;
        for (int i = 0; i < 16; ++i) {
            s.store.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>((i * 5 + u * 7) % 36 - 12);
            s.store.stepNoteOn[stepIndex(u, 0, i)] = static_cast<uint8_t>((i + u) % 4 != 3);
            s.store.stepSlide[stepIndex(u, 0, i)] = static_cast<uint8_t>((i + u) % 5 == 0);
        }
    }
    s.store.settings.tempoBpm = tempo;
    refreshAfterLoad(s);
}

struct TempoCase {
    int tempo;
    long bytes;  // (16 samplesPerStep - 1) x 4
};

const TempoCase kTempos[] = {{60, 705596}, {80, 529148}, {150, 282236}, {180, 235196}};

TEST(StreamToDisk, WritesOnePassLessOneFrameAndLeavesTheClockAfterIt) {
    for (const TempoCase& c : kTempos) {
        SCOPED_TRACE(::testing::Message() << c.tempo << " BPM");
        auto s = startedSynth();
        setTempo(*s, static_cast<Position>(c.tempo));
        const Streamed out = stream(*s);
        EXPECT_EQ(out.result, 1);
        EXPECT_EQ(static_cast<long>(out.values.size()) * 2, c.bytes);
        // The pass ends inside the last block, m frames into it.
        const int32_t m = out.patternEndFrame;
        EXPECT_EQ(m, (c.bytes / 4) % 512);
        EXPECT_EQ(s->engine.currentStep, 0);
        EXPECT_EQ(s->engine.stepTick, 511 - m);
    }
    // 150 BPM: 137 whole blocks and 415 frames.
    EXPECT_EQ(282236 / 4, 137 * 512 + 415);
}

TEST(StreamToDisk, PassIsTheStartOfContinuousPlaybackFromStepZero) {
    for (const int tempo : {80, 150}) {
        SCOPED_TRACE(::testing::Message() << tempo << " BPM");
        // Two identical instances, played for a while so that the clock, the
        // phases and the delay line are somewhere in the middle.
        auto a = startedSynth();
        auto b = startedSynth();
        for (Synth* s : {a.get(), b.get()}) {
            configureBusyPattern(*s, tempo);
            renderFrames(*s, 12345);
        }
        ASSERT_NE(a->engine.currentStep, 0);

        const Streamed out = stream(*a);
        ASSERT_EQ(out.result, 1);
        // The same from the engine reset, in blocks of another size.
        resetEngine(*b);
        const int pass = 16 * b->store.settings.samplesPerStep;
        const std::vector<int16_t> continuous = renderFrames(*b, pass + 1000, 3000);
        ASSERT_EQ(out.values.size(), 2 * static_cast<size_t>(pass - 1));
        EXPECT_TRUE(std::equal(out.values.begin(), out.values.end(), continuous.begin()))
            << "the file is not the first F - 1 frames of the playback from step 0";
        EXPECT_TRUE(std::any_of(out.values.begin(), out.values.end(), [](int16_t v) { return v != 0; }));
    }
}

TEST(StreamToDisk, ReportsAFullDisk) {
    std::FILE* probe = std::fopen("/dev/full", "wb");
    if (!probe) {
        GTEST_SKIP() << "no /dev/full here";
    }
    std::fclose(probe);
    // With the stream's own buffer the failure shows at a block write; with
    // a buffer larger than the whole pass only at the final flush.
    for (const size_t buffer : {size_t{0}, size_t{1} << 20}) {
        SCOPED_TRACE(::testing::Message() << "buffer of " << buffer << " bytes");
        std::FILE* f = std::fopen("/dev/full", "wb");
        ASSERT_NE(f, nullptr);
        std::vector<char> storage(buffer);
        if (buffer) {
            ASSERT_EQ(std::setvbuf(f, storage.data(), _IOFBF, buffer), 0);
        }
        auto s = startedSynth();
        EXPECT_EQ(streamToDisk(*s, f), 0);
        std::fclose(f);
    }
}

TEST(StreamToDisk, StopsWhenNoUnitRunsTheClock) {
    // The clock advances with the units; with none in use the pass never
    // ends, and the write stops after the blocks a pass can take.
    auto s = startedSynth();
    s->store.unitCount = 0;
    const Streamed out = stream(*s);
    EXPECT_EQ(out.result, 0);
    EXPECT_LE(out.values.size() * 2, (132288 / 512 + 2) * 2048u);
}

}  // namespace
}  // namespace velmor
