// Loading a pattern file whose reading fails part way changes nothing; a
// file cut short at the same place fills the fields as far as it reaches.

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "files/pattern_file.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// Everything a load can change, byte for byte: the document, what is
// derived from it, the selection and what the engine has of it.
std::string everything(const Synth& s) {
    return std::string(reinterpret_cast<const char*>(&s.score), sizeof s.score) +
           std::string(reinterpret_cast<const char*>(&s.selection), sizeof s.selection) +
           std::string(reinterpret_cast<const char*>(s.engine.score.get()), sizeof(Score));
}

// Loads the first `end` bytes of `file` from a stream that then fails, or ends when `fails` is false.
std::pair<int, PatternReadStatus> load(Synth& s, const std::string& file, size_t end, bool fails) {
    using Source = std::pair<std::string, bool>;  // the bytes left, whether the stream then fails
    Source source{file.substr(0, end), fails};
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
        auto& [rest, failsAtTheEnd] = *static_cast<Source*>(cookie);
        if (rest.empty()) return failsAtTheEnd ? -1 : 0;
        const size_t n = rest.copy(buffer, size);
        rest.erase(0, n);
        return static_cast<ssize_t>(n);
    };
    std::FILE* f = fopencookie(&source, "rb", io);
    PatternReadStatus status{};
    const int result = loadPatternStream(s, f, &status);
    std::fclose(f);
    return {result, status};
}

TEST(PatternFileLoad, AReadThatFailsPartWayChangesNothingAFileCutShortFillsWhatItReaches) {
    // Another state than the start-up one, in three units.
    const auto other = testing::startedSynth();
    for (int u = 1; u < 3; ++u) testing::applyStartupLikeSettings(*other, u);
    for (int u = 0; u < 3; ++u) other->score.doc.units[u].cutoff = 1000 + u;
    other->score.doc.settings.tempoBpm = 150, other->score.doc.settings.songLength = 3;
    other->score.doc.settings.songSequence[2] = 7, other->score.doc.userWave[500] = -1234;
    const std::vector<uint8_t> saved = testing::savedPattern(*other);
    const std::string file(saved.begin(), saved.end());
    ASSERT_EQ(file.size(), 30u + 2088 + 3 * (176 + 8 * 64) + 3) << "header, waveform, 3 units of 8 patterns, song";
    const std::string older = std::string(96, '\0') + '\x3c' + std::string(115, '\0');  // the older layout, tempo 60
    const auto s = testing::startedSynth();
    const std::string before = everything(*s);
    // In the header, right after it, in the user waveform, in the step planes
    // and before the last song entry; in the older layout.
    const std::pair<const std::string*, size_t> failures[] = {
        {&file, 0}, {&file, 12}, {&file, 30}, {&file, 900}, {&file, 2300}, {&file, 2700}, {&file, file.size() - 1}, {&older, 150}};
    for (const auto& [bytes, end] : failures)
        EXPECT_TRUE(load(*s, *bytes, end, true) == std::pair(0, PatternReadStatus::kReadError) && everything(*s) == before)
            << "the load that failed after " << end << " bytes changed the state";
    PatternReadStatus status{};
    EXPECT_TRUE(loadPatternFile(*s, ::testing::TempDir().c_str(), &status) == 0 && status == PatternReadStatus::kReadError &&
                everything(*s) == before)
        << "a folder cannot be read";
    // The same places as the ends of shorter files: read as far as they go.
    EXPECT_EQ(load(*s, file, 900, false), std::pair(1, PatternReadStatus::kCurrentLayout));
    EXPECT_TRUE(s->score.doc.unitCount == 3 && s->score.doc.units[0].osc1Wave == 0 && s->score.doc.units[0].cutoff != 1000);
    EXPECT_EQ(load(*s, file, file.size(), false).first, 1);
    EXPECT_TRUE(s->score.doc.units[2].cutoff == 1002 && s->score.doc.settings.songSequence[2] == 7 && s->score.doc.userWave[500] == -1234);
    EXPECT_EQ(load(*s, older, 150, false), std::pair(1, PatternReadStatus::kOldLayout));
    EXPECT_EQ(s->score.doc.settings.tempoBpm, 60);
    // From memory (a plugin's state) as from a file.
    auto doc = std::make_unique<Document>();
    PatternReadStatus fromMemory = PatternReadStatus::kReadError;
    EXPECT_TRUE(readPatternBytes(file.data(), file.size(), *doc, &fromMemory) == 1 && fromMemory == PatternReadStatus::kCurrentLayout);
    EXPECT_TRUE(readPatternBytes(older.data(), 150, *doc, &fromMemory) == 1 && fromMemory == PatternReadStatus::kOldLayout);
}

}  // namespace
}  // namespace velmor
