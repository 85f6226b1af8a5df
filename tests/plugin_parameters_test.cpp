// The plugin's parameters are those hosts' projects name (the list in
// plugin/parameters.tsv), each row drives the control its names say, and
// values read as the main window shows them.

#include <gtest/gtest.h>

#include <set>

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
        EXPECT_EQ(f.id, i);
        EXPECT_EQ(p.id, f.id);
        EXPECT_EQ(p.symbol, f.symbol);
        EXPECT_EQ(p.name, f.name);
        EXPECT_EQ(p.shortName, f.shortName);
        EXPECT_EQ(p.minimum, f.minimum);
        EXPECT_EQ(p.maximum, f.maximum);
        EXPECT_EQ(p.defaultValue, f.defaultValue);
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
        const ParameterSpec& spec = parameterSpec(p.param);
        const std::string unit = p.unitIndex < 0 ? "" : std::to_string(p.unitIndex + 1);
        EXPECT_EQ(p.unitIndex < 0, spec.global);
        EXPECT_EQ(p.name, (unit.empty() ? "" : "Unit " + unit + " ") + spec.name);
        EXPECT_EQ(p.shortName, (unit.empty() ? "" : "U" + unit + " ") + spec.name);
        EXPECT_EQ(p.choices, spec.choices);
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
    EXPECT_TRUE(parameterValueOfText(filter, "lo24", value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(parameterValueOfText(kSequencerParameter, "follow host", value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(parameterValueOfText(tempo, "500", value));
    EXPECT_EQ(value, 180);  // kept within the range
    EXPECT_FALSE(parameterValueOfText(kUnitsParameter, "many", value));
}

}  // namespace
}  // namespace velmor
