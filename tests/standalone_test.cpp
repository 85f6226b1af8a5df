// The stand-alone program's audio side and session: the engine stands
// until the first thing it plays and starts at its frame, whatever the
// blocks, so that it plays what the renderer plays; the editor's changes
// reach the core while it stands; a session round-trips, and one that
// cannot be read is kept aside.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "files/pattern_file.h"
#include "model/parameters.h"
#include "plugin/plugin_parameters.h"
#include "plugin/standalone/performer.h"
#include "plugin/standalone/session.h"

namespace velmor {
namespace {

// Plays `frames` frames in blocks of `block` with MIDI at frames of the
// whole run; left and right interleaved.
std::vector<float> perform(Performer& p, int frames, int block, const std::vector<std::pair<uint32_t, StampedMidi>>& midi) {
    std::vector<float> out, l(block), r(block);
    size_t next = 0;
    for (int done = 0; done < frames; done += block) {
        std::vector<StampedMidi> inBlock;
        for (; next < midi.size() && midi[next].first < static_cast<uint32_t>(done + block); ++next)
            inBlock.push_back(midi[next].second), inBlock.back().frame = midi[next].first - done;
        p.play(l.data(), r.data(), block, inBlock, HostTime{});
        for (int i = 0; i < block; ++i) out.push_back(l[i]), out.push_back(r[i]);
    }
    return out;
}

StampedMidi note(uint8_t status, uint8_t key, uint8_t velocity) { return {0, 3, {status, key, velocity}}; }

TEST(Performer, TheEngineStartsWithTheFirstKeyAtItsFrameWhateverTheBlocks) {
    // The reference: the same keys from the engine's first frame on.
    PluginCore reference(PluginCore::kEngineRate);
    AskedParameters none;
    Performer first(reference, none);
    const auto expected = perform(first, 12288, 4096, {{0, note(0x90, 45, 100)}, {5000, note(0x80, 45, 0)}});
    for (int block : {64, 500, 4096}) {
        SCOPED_TRACE(block);
        PluginCore core(PluginCore::kEngineRate);
        AskedParameters asked;
        Performer p(core, asked);
        // An edit while it stands is taken at once, and starts nothing.
        asked.ask(kSequencerParameter, 1);
        std::vector<float> l(block), r(block);
        p.play(l.data(), r.data(), block, {}, HostTime{});
        EXPECT_EQ(core.parameterValue(kSequencerParameter), 1.0f);
        EXPECT_FALSE(p.started());
        asked.ask(kSequencerParameter, 0);
        const auto got = perform(p, 20480, block, {{777, note(0x90, 45, 100)}, {5777, note(0x80, 45, 0)}});
        for (size_t i = 0; i < 2 * 777; ++i) ASSERT_EQ(got[i], 0.0f) << i;
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(got[2 * 777 + i], expected[i]) << i;
    }
    // Play starts it at the block's first frame; MIDI from the ring plays
    // there too.
    PluginCore core(PluginCore::kEngineRate);
    AskedParameters asked;
    Performer p(core, asked);
    core.setOwnTransport(true);
    core.play(true);
    std::vector<float> l(64), r(64);
    p.play(l.data(), r.data(), 64, {}, HostTime{});
    EXPECT_TRUE(p.started());
    EXPECT_TRUE(core.playing());
    PluginCore keyed(PluginCore::kEngineRate);
    Performer k(keyed, asked);
    MidiRing ring;
    ring.stage(note(0x90, 45, 100));
    ring.commit();
    k.play(l.data(), r.data(), 64, {}, HostTime{}, &ring);
    EXPECT_TRUE(k.started());
    EXPECT_EQ(ring.front(), nullptr);
}

TEST(Session, RoundTripsAndOneThatCannotBeReadIsKeptAside) {
    const auto folder = std::filesystem::temp_directory_path() / ("velmor-session-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "session.pat").string();
    PluginCore core(PluginCore::kEngineRate), restored(PluginCore::kEngineRate);
    std::string why;
    EXPECT_TRUE(restoreSession(restored, path, why));  // none yet
    setLinked(core.editModel(), Param::kCutoff, 12);
    ASSERT_TRUE(keepSession(core, path, why)) << why;
    std::ifstream in(path, std::ios::binary);
    const std::string kept{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string bytes;
    writePatternBytes(core.model().score.doc, bytes);
    EXPECT_EQ(kept, bytes);
    ASSERT_TRUE(restoreSession(restored, path, why)) << why;
    EXPECT_TRUE(restored.state() == core.state());

    const std::string broken("V1.0A\0broken", 12);
    std::ofstream(path, std::ios::binary) << broken;
    PluginCore fresh(PluginCore::kEngineRate);
    EXPECT_FALSE(restoreSession(fresh, path, why));
    EXPECT_NE(why.find("session-unreadable.pat"), std::string::npos) << why;
    EXPECT_TRUE(fresh.state() == PluginCore(PluginCore::kEngineRate).state());
    EXPECT_FALSE(std::filesystem::exists(path));
    std::ifstream aside(folder / "session-unreadable.pat", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), broken);
    EXPECT_FALSE(keepSession(core, "", why));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmor
