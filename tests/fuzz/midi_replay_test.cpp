// Every input of the MIDI reader's fuzzing corpus (exported demos, files of
// other writers' kinds, damaged and odd files, and what the fuzzer found to
// reach new code) through the checks of midi_check.h, in the normal and the
// sanitizer build. A named file (*.mid) reads whole, unless its name begins
// with "bad-": then it is refused.

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/midi_check.h"
#include "support/memory_files.h"

namespace velmor {
namespace {

TEST(MidiFuzzCorpus, EveryInputIsReadOrRefusedAndImportsWithinTheLimits) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(VELMOR_FUZZ_DIR) / "midi-corpus"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_GE(files.size(), 40u);
    for (const auto& file : files) {
        const std::vector<uint8_t> bytes = testing::fileBytes(file);
        const std::string name = file.filename().string();
        EXPECT_EQ(testing::checkMidiInput(bytes.data(), bytes.size()), "") << name;
        MidiFileIn parsed;
        std::string error;
        EXPECT_TRUE(!name.ends_with(".mid") || readMidiBytes(bytes.data(), bytes.size(), parsed, error) != name.starts_with("bad-")) << name << error;
    }
}

}  // namespace
}  // namespace velmor
