// The plugin's parameters are those hosts' projects name (the list in
// plugin/parameters.tsv), each row drives the control its names say, and
// values read as the main window shows them.

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "plugin/frozen_parameters.h"
#include "plugin/plugin_parameters.h"

namespace velmor {
namespace {

TEST(PluginParameters, AreTheOnesHostsProjectsName) {
    const auto& list = hosttest::frozenParameters();
    ASSERT_EQ(list.size(), kPluginParameterCount);
    std::set<std::string> symbols;
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        const hosttest::FrozenParameter& f = list[i];
        const PluginParameter& p = pluginParameter(i);
        SCOPED_TRACE(f.symbol);
        EXPECT_EQ(std::tuple(f.id, p.id, std::string(p.symbol), std::string(p.name), std::string(p.shortName), p.minimum, p.maximum, p.defaultValue),
                  std::tuple(i, i, f.symbol, f.name, f.shortName, f.minimum, f.maximum, f.defaultValue));
        EXPECT_TRUE(symbols.insert(p.symbol).second) << "a symbol twice";
        uint32_t found = 0;
        EXPECT_TRUE(pluginParameterOfSymbol(p.symbol, found) && found == i);
    }
    uint32_t found = 0;
    EXPECT_FALSE(pluginParameterOfSymbol("u5_cutoff", found));
    EXPECT_FALSE(pluginParameterOfSymbol("", found));
}

TEST(PluginParameters, EachDrivesTheControlItsNameSays) {
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        const PluginParameter& p = pluginParameter(i);
        SCOPED_TRACE(p.symbol);
        if (p.control != PluginControl::kModel) continue;
        const ParameterTraits& traits = parameterTraits(p.param);
        const std::string unit = p.unitIndex < 0 ? "" : std::to_string(p.unitIndex + 1);
        EXPECT_EQ(p.unitIndex < 0, traits.global);
        EXPECT_EQ(p.name, (unit.empty() ? "" : "Unit " + unit + " ") + traits.name);
        EXPECT_EQ(p.shortName, (unit.empty() ? "" : "U" + unit + " ") + traits.name);
        EXPECT_EQ(p.choices, traits.choices);
    }
    EXPECT_EQ(pluginParameter(kSequencerParameter).control, PluginControl::kSequencer);
    EXPECT_EQ(pluginParameter(kUnitsParameter).control, PluginControl::kUnits);
    uint32_t tempo = 0, feedback = 0;
    ASSERT_TRUE(pluginParameterOfSymbol("tempo", tempo) && pluginParameterOfSymbol("feedback", feedback));
    EXPECT_STREQ(pluginParameter(tempo).unit, "BPM");
    EXPECT_STREQ(pluginParameter(feedback).unit, "%");
    EXPECT_STREQ(pluginParameter(0).unit, "");
}

TEST(PluginParameters, ValuesReadAsTheWindowShowsThem) {
    uint32_t tempo = 0, filter = 0;
    ASSERT_TRUE(pluginParameterOfSymbol("tempo", tempo) && pluginParameterOfSymbol("u2_filter", filter));
    EXPECT_EQ(parameterText(tempo, 120), "120 BPM");
    EXPECT_EQ(parameterText(filter, 1), "Lo24");
    EXPECT_EQ(parameterText(kSequencerParameter, 1), "Follow Host");
    EXPECT_EQ(parameterText(kUnitsParameter, 3), "3");
    EXPECT_EQ(parameterText(kFirstLocalOffParameter + 3, 1), "On");
    int32_t value = -1;
    // Tempo 500 is kept within the range.
    for (const auto& [index, text, expected] : {std::tuple{filter, "lo24", 1}, {kSequencerParameter, "follow host", 1}, {tempo, "500", 180}})
        EXPECT_TRUE(parameterValueOfText(index, text, value) && value == expected) << text;
    EXPECT_FALSE(parameterValueOfText(kUnitsParameter, "many", value));
}

}  // namespace
}  // namespace velmor
