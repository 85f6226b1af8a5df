// Loading a pattern file whose reading fails part way: nothing changes. A
// file cut short at the same place still fills the fields it reaches.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "files/pattern_file.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// The bytes of a stream, from its start.
std::string readBack(std::FILE* f) {
    std::string bytes;
    std::rewind(f);
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    return bytes;
}

std::string saved(const Synth& s) {
    std::FILE* f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(writePatternStream(s, f), 1);
    const std::string bytes = readBack(f);
    std::fclose(f);
    return bytes;
}

// Everything a load can change: all eight slots with all their patterns, the
// whole song, the globals and the user waveform, and the counts.
std::string everything(const Synth& s) {
    auto all = makeSynth();
    all->store = s.store;
    std::copy(std::begin(s.tables.userTable), std::end(s.tables.userTable), all->tables.userTable);
    all->store.unitCount = kUnitSlots;
    all->store.settings.patternCount = kPatternsPerUnit;
    all->store.settings.songLength = kSongEntries;
    return saved(*all) + "|" + std::to_string(s.store.unitCount) + "/" + std::to_string(s.store.settings.patternCount) +
           "/" + std::to_string(s.store.settings.songLength) + "/" + std::to_string(s.store.currentUnit);
}

// A stream that hands out the first `end` bytes of a file and then fails,
// or ends there when `fails` is false.
struct Source {
    std::string bytes;
    size_t end;
    bool fails;
    size_t position = 0;
};

ssize_t readSource(void* cookie, char* buffer, size_t size) {
    auto* s = static_cast<Source*>(cookie);
    if (s->position >= s->end) {
        if (!s->fails) return 0;
        errno = EIO;
        return -1;
    }
    const size_t n = std::min(size, s->end - s->position);
    std::memcpy(buffer, s->bytes.data() + s->position, n);
    s->position += n;
    return static_cast<ssize_t>(n);
}

struct Loaded {
    int result;
    PatternReadStatus status;
};

Loaded load(Synth& s, const std::string& file, size_t end, bool fails) {
    Source source{file, end, fails};
    std::FILE* f = fopencookie(&source, "rb", cookie_io_functions_t{readSource, nullptr, nullptr, nullptr});
    EXPECT_NE(f, nullptr);
    Loaded l{};
    l.result = readPatternStream(s, f, &l.status);
    std::fclose(f);
    return l;
}

// Another state than the start-up one, in three units.
std::string otherPatternFile() {
    auto s = testing::startedSynth();
    for (int u = 1; u < 3; ++u) testing::applyStartupLikeSettings(*s, u);
    for (int u = 0; u < 3; ++u) {
        s->store.units[u].cutoff = 1000 + u;
        s->store.stepPitch[stepIndex(u, 0, 5)] = static_cast<int8_t>(20 + u);
    }
    s->store.settings.tempoBpm = 150;
    s->store.settings.songLength = 3;
    s->store.settings.songSequence[2] = 7;
    s->tables.userTable[500] = -1234;
    return saved(*s);
}

TEST(PatternFileLoad, AReadThatFailsPartWayChangesNothing) {
    const std::string file = otherPatternFile();
    // The header, 2088 bytes of user waveform, delay and tempo, 176 bytes
    // of settings per unit with 4 x 16 step bytes of each of the 8 patterns
    // that cover the song, and 3 song entries.
    ASSERT_EQ(file.size(), 30u + 2088 + 3 * (176 + 8 * 64) + 3);
    const auto s = testing::startedSynth();
    const std::string before = everything(*s);
    // In the header, right after it, in the user waveform, in the step
    // planes and before the last song entry.
    for (const size_t end : {size_t{0}, size_t{12}, size_t{30}, size_t{900}, size_t{2300}, size_t{2700}, file.size() - 1}) {
        SCOPED_TRACE(end);
        const Loaded failed = load(*s, file, end, true);
        EXPECT_EQ(failed.result, 0);
        EXPECT_EQ(failed.status, PatternReadStatus::kReadError);
        EXPECT_TRUE(everything(*s) == before) << "the failed load changed the state";
    }
    // The same place as the end of a shorter file: read as far as it goes.
    const Loaded cut = load(*s, file, 900, false);
    EXPECT_EQ(cut.result, 1);
    EXPECT_EQ(cut.status, PatternReadStatus::kCurrentLayout);
    EXPECT_EQ(s->store.unitCount, 3);
    EXPECT_EQ(s->store.units[0].osc1Wave, 0);
    EXPECT_NE(s->store.units[0].cutoff, 1000) << "beyond the end of the data";
    EXPECT_EQ(load(*s, file, file.size(), false).result, 1);
    EXPECT_EQ(s->store.units[2].cutoff, 1002);
    EXPECT_EQ(s->store.settings.songSequence[2], 7);
    EXPECT_EQ(s->tables.userTable[500], -1234);
}

TEST(PatternFileLoad, AnOlderFileThatFailsPartWayChangesNothing) {
    std::string file(212, '\0');
    file[96] = 60;  // the tempo
    const auto s = testing::startedSynth();
    const std::string before = everything(*s);
    const Loaded failed = load(*s, file, 150, true);
    EXPECT_EQ(failed.result, 0);
    EXPECT_EQ(failed.status, PatternReadStatus::kReadError);
    EXPECT_TRUE(everything(*s) == before);
    EXPECT_EQ(load(*s, file, 150, false).status, PatternReadStatus::kOldLayout);
    EXPECT_EQ(s->store.settings.tempoBpm, 60);
}

TEST(PatternFileLoad, AFolderCannotBeReadAndChangesNothing) {
    const auto s = testing::startedSynth();
    const std::string before = everything(*s);
    PatternReadStatus status{};
    EXPECT_EQ(readPatternFile(*s, ::testing::TempDir().c_str(), &status), 0);
    EXPECT_EQ(status, PatternReadStatus::kReadError);
    EXPECT_TRUE(everything(*s) == before);
}

}  // namespace
}  // namespace velmor
