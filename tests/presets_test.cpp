// The factory presets: the compiled-in bank is the table presets.tsv with
// the files it names, in the five categories and the demos, each sound
// listed in the manual with its description; each preset reads back and
// writes the same bytes, plays two passes loud enough to hear without
// touching the output's limits, and loads into the plugin, which then
// plays it as loud as the engine does.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/units.h"
#include "plugin/base64.h"
#include "plugin/factory_presets.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string bytesOf(const FactoryPreset& p) { return {reinterpret_cast<const char*>(p.bytes), p.size}; }

// A fresh instance that has read the preset as the program loads a file,
// ready to play it from its start.
std::unique_ptr<Synth> playing(const FactoryPreset& p, PatternReadStatus* status = nullptr) {
    auto s = testing::startedSynth();
    auto doc = std::make_unique<Document>(s->score.doc);
    EXPECT_TRUE(readPatternBytes(p.bytes, p.size, *doc, status));
    installDocument(*s, *doc);
    publishAndReset(*s);
    return s;
}

TEST(FactoryPresets, TheBankIsTheTableWithItsFilesInTheFiveCategoriesAndTheDemosAndTheManualListsIt) {
    std::istringstream table(contents(VELMOR_PRESET_DIR "/presets.tsv"));
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line, "category\tname\tdescription");
    const std::string manual = contents(VELMOR_DEMO_DIR "/../docs/manual.md");
    std::map<std::string, int> counts;
    size_t i = 0;
    for (; std::getline(table, line); ++i) {
        ASSERT_LT(i, factoryPresets().size()) << line;
        const FactoryPreset& p = factoryPresets()[i];
        EXPECT_EQ(line, std::string(p.category) + "\t" + p.name + "\t" + p.description);
        const std::string category = p.category;
        const auto file = category == "Demos" ? std::filesystem::path(VELMOR_DEMO_DIR) / (std::string(p.name) + ".pat")
                                              : std::filesystem::path(VELMOR_PRESET_DIR) / category / (std::string(p.name) + ".pat");
        EXPECT_EQ(bytesOf(p), contents(file)) << file;
        const std::string listed = "| " + std::string(p.name) + " | " + p.description + " |\n";
        EXPECT_TRUE(category == "Demos" || manual.find(listed) != std::string::npos) << "the manual lacks " << listed;
        ++counts[category];
    }
    EXPECT_EQ(i, factoryPresets().size());
    int demos = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VELMOR_DEMO_DIR)) demos += entry.path().extension() == ".pat";
    EXPECT_EQ(counts["Demos"], demos);
    int sounds = 0;
    for (const char* category : {"Acid", "Sub", "Pluck", "Lead", "Effects"}) {
        EXPECT_GE(counts[category], 4) << category;
        sounds += counts[category];
    }
    EXPECT_GE(sounds, 24);
    EXPECT_EQ(counts.size(), 6u) << "only the five categories and the demos";
}

// The engine's output saturates at the int16 limits: a sample there now
// and then, at an accent's peak, goes unheard, but a preset that reaches
// them more often than once in 10 000 samples is set too loud and
// distorts. A quarter of full scale (-12 dB) is loud enough to hear.
TEST(FactoryPresets, EachReadsBackWritesTheSameBytesAndPlaysTwoPassesWithinTheLimits) {
    for (const FactoryPreset& p : factoryPresets()) {
        SCOPED_TRACE(std::string(p.category) + ": " + p.name);
        PatternReadStatus status;
        auto s = playing(p, &status);
        EXPECT_EQ(status, PatternReadStatus::kCurrentLayout);
        std::string again;
        writePatternBytes(s->score.doc, again);
        EXPECT_EQ(again, bytesOf(p));
        const int64_t frames = 2 * passFrames(*s);
        int peak = 0;
        int64_t atLimits = 0;
        for (int64_t done = 0; done < frames; done += 4096)
            for (int16_t v : testing::renderFrames(*s, static_cast<int>(std::min<int64_t>(4096, frames - done)))) {
                peak = std::max(peak, std::abs(int{v}));
                atLimits += v <= -32767 || v == 32767;
            }
        EXPECT_GT(peak, 32768 / 4);
        EXPECT_LE(atLimits * 10000, 2 * frames);
    }
}

// Following a host that plays at the preset's tempo, the plugin plays what
// the engine does: the steps fall on the host's sixteenths and the gates
// follow their measured length, so the frames differ, but the levels agree
// within 1 dB.
TEST(FactoryPresets, EachLoadsIntoThePluginWhichPlaysItAsLoudAsTheEngine) {
    constexpr int kFrames = 88064;  // two seconds in whole blocks of 512
    const auto power = [](const auto& samples, float scale) {
        double sum = 0;
        for (auto v : samples) sum += double(v) * v * scale * scale;
        return sum / samples.size();
    };
    for (const FactoryPreset& p : factoryPresets()) {
        SCOPED_TRACE(std::string(p.category) + ": " + p.name);
        const std::string state = "Velmor pattern 1\n" + base64Encode(bytesOf(p));
        PluginCore plugin(44100);
        std::string why;
        ASSERT_TRUE(plugin.loadState(state, why)) << why;
        EXPECT_EQ(plugin.state(), state);
        const double bpm = plugin.model().score.doc.settings.tempoBpm;
        const HostEvent follow{0, true, 0, {}, kSequencerParameter, 1};
        std::vector<float> out, left(512), right(512);
        for (int done = 0; done < kFrames; done += 512) {
            HostTime time;
            time.playing = time.valid = true;
            time.beatsPerMinute = bpm, time.sixteenths = done * bpm / 15 / 44100;
            plugin.process(left.data(), right.data(), 512, &follow, done == 0 ? 1 : 0, time);
            for (int i = 0; i < 512; ++i) out.push_back(left[i]), out.push_back(right[i]);
        }
        const double engine = power(testing::renderFrames(*playing(p), kFrames), 1 / 32768.0f);
        EXPECT_NEAR(10 * std::log10(power(out, 1) / engine), 0, 1) << "dB";
    }
}

}  // namespace
}  // namespace velmor
