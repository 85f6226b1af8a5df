// The plugin's state in a host's project: written in the layout it has
// always had (a parameter added since 1.05 only where it is set), read past
// what a later version adds (and said so in the host's log), and any bytes
// read without harm.

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "plugin/saved_state.h"

namespace velmor {
namespace {

// Texts, each ending in a zero byte, then the end mark.
std::string framed(const std::vector<std::string>& texts) {
    std::string bytes;
    for (const std::string& t : texts) bytes.append(t).push_back('\0');
    return bytes + "\xfe" + '\0';
}

uint32_t parameterOf(const char* symbol) {
    uint32_t index = 0;
    EXPECT_TRUE(pluginParameterOfSymbol(symbol, index)) << symbol;
    return index;
}

TEST(SavedState, BytesKeepTheirLayout) {
    const SavedState state{"/music/a.pat", "Velmor pattern 1\nAAAA", true, {{parameterOf("u1_cutoff"), -5}, {parameterOf("units"), 3}}};
    EXPECT_EQ(stateBytes(state), framed({"__dpf_state_begin__", "file", "/music/a.pat", "pattern", "Velmor pattern 1\nAAAA", "__dpf_state_end__",
                                         "__dpf_parameters_begin__", "u1_cutoff", "-5", "units", "3", "__dpf_parameters_end__"}));
    SavedState read;
    ASSERT_TRUE(readStateBytes(stateBytes(state), read));
    EXPECT_EQ(std::tuple(read.file, read.pattern, read.values, read.skippedCount), std::tuple(state.file, state.pattern, state.values, size_t{0}));
}

TEST(SavedState, ALaterVersionsStateLoadsWithWhatThisOneKnows) {
    PluginCore core(44100);
    AskedParameters asked;
    const std::string later =
        framed({"__dpf_program__", "0", "__dpf_state_begin__", "file", "", "pattern", core.state(), "x", "1", "__dpf_state_end__",
                "__dpf_parameters_begin__", "u5_foo", "7", "tempo", "97", "u1_new\x01", "2", "__dpf_parameters_end__"});
    std::string file = "before";
    testing::internal::CaptureStderr();
    ASSERT_TRUE(loadState(later, core, asked, file));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velmor: the state holds parts this version does not know, skipped: key 'x', parameter 'u5_foo', parameter 'u1_new?'\n");
    EXPECT_EQ(file, "");
    EXPECT_EQ(asked.shown(core, parameterOf("tempo")), 97.0f);

    // Many such parts: the first few named, the rest counted.
    std::vector<std::string> texts = {"__dpf_state_begin__", "pattern", "p", "__dpf_state_end__", "__dpf_parameters_begin__"};
    for (int i = 0; i < 100000; ++i) texts.insert(texts.end(), {"u9_" + std::string(i % 50, 'z'), "1"});
    texts.push_back("__dpf_parameters_end__");
    SavedState read;
    ASSERT_TRUE(readStateBytes(framed(texts), read));
    EXPECT_EQ(read.skippedCount, 100000u);
    EXPECT_LT(read.skipped.size(), 500u);
    EXPECT_TRUE(read.values.empty());
}

TEST(SavedState, LocalOffIsSavedOnlyWhereOnAndAStateWithoutItTurnsItOff) {
    PluginCore core(44100);
    AskedParameters asked;
    std::string file;
    // Unused, the state has the bytes of the parameters 1.05 knew.
    const std::string plain = saveState(core, asked, "");
    EXPECT_EQ(plain.find("local_off"), std::string::npos);
    asked.ask(parameterOf("u3_local_off"), 1);
    EXPECT_NE(saveState(core, asked, "")
                  .find(std::string("\0u3_local_off\0"
                                    "1\0",
                                    16)),
              std::string::npos);
    ASSERT_TRUE(loadState(plain, core, asked, file));
    EXPECT_EQ(asked.shown(core, parameterOf("u3_local_off")), 0.0f);
}

TEST(SavedState, AnyBytesReadWithoutHarm) {
    PluginCore core(44100);
    AskedParameters asked;
    SavedState full{"", core.state(), true, {{parameterOf("tempo"), 100}}};
    const std::string good = stateBytes(full);
    for (size_t length = 0; length + 1 < good.size(); ++length) {
        SavedState read;
        EXPECT_FALSE(readStateBytes(good.substr(0, length), read)) << "cut at " << length;
    }
    // clang-format off
    const std::vector<std::string> refused = {
        "", "\xfe", std::string(1, '\0') + "\xfe", "no end mark at all",
        framed({"__dpf_state_begin__", "pattern", "p"}),                                  // a section never closed
        framed({"__dpf_state_begin__", "__dpf_parameters_begin__", "__dpf_state_end__"}),  // one inside another
        framed({"__dpf_state_end__"}), framed({"__dpf_state_begin__", "pattern"}),       // an end without a beginning; a key without a value
        framed({"__dpf_state_begin__", "pattern", "p", "__dpf_state_end__", "__dpf_parameters_begin__", "tempo", "fast",
                "__dpf_parameters_end__"}),                                               // no number
        std::string(16u << 20, '\0') + "\xfe"                                            // huge, and no pattern
    };
    // clang-format on
    for (const std::string& bytes : refused) {
        SavedState read;
        EXPECT_FALSE(readStateBytes(bytes, read)) << bytes.substr(0, 80);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = good;
        for (int k = 0; k < 1 + round % 8; ++k) bytes[random() % bytes.size()] = static_cast<char>(random());
        bytes.resize(random() % (bytes.size() + 1));
        std::string file;
        testing::internal::CaptureStderr();
        loadState(bytes, core, asked, file);
        testing::internal::GetCapturedStderr();
    }
}

}  // namespace
}  // namespace velmor
