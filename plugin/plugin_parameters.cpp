#include "plugin/plugin_parameters.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace velmor {

namespace {

// What a row drives.
struct Control {
    PluginControl control;
    int unit;
    Param param;
};
constexpr Control unit(int u, Param p) { return {PluginControl::kModel, u, p}; }
constexpr Control global(Param p) { return {PluginControl::kModel, -1, p}; }
constexpr Control kSequencerControl{PluginControl::kSequencer, -1, Param::kTempo};
constexpr Control kUnitsControl{PluginControl::kUnits, -1, Param::kTempo};
constexpr Control localOff(int u) { return {PluginControl::kLocalOff, u, Param::kTempo}; }

struct Row {
    uint32_t id;
    const char* symbol;
    const char* name;
    const char* shortName;
    Control drives;
};

// Every parameter at its id. A new one is appended with the next id; no row
// is ever renumbered or removed (tests/plugin/parameters.tsv holds them as
// hosts know them).
constexpr Row kRows[] = {{0, "u1_cutoff", "Unit 1 Cutoff", "U1 Cutoff", unit(0, Param::kCutoff)},
                         {1, "u1_reso", "Unit 1 Reso", "U1 Reso", unit(0, Param::kResonance)},
                         {2, "u1_envamt", "Unit 1 EnvAmt", "U1 EnvAmt", unit(0, Param::kEnvAmount)},
                         {3, "u1_osc_1_coarse", "Unit 1 Osc 1 Coarse", "U1 Osc 1 Coarse", unit(0, Param::kOsc1Coarse)},
                         {4, "u1_osc_1_fine", "Unit 1 Osc 1 Fine", "U1 Osc 1 Fine", unit(0, Param::kOsc1Fine)},
                         {5, "u1_osc_2_coarse", "Unit 1 Osc 2 Coarse", "U1 Osc 2 Coarse", unit(0, Param::kOsc2Coarse)},
                         {6, "u1_osc_2_fine", "Unit 1 Osc 2 Fine", "U1 Osc 2 Fine", unit(0, Param::kOsc2Fine)},
                         {7, "u1_osc_mix", "Unit 1 Osc Mix", "U1 Osc Mix", unit(0, Param::kOscMix)},
                         {8, "u1_phase", "Unit 1 Phase", "U1 Phase", unit(0, Param::kPhase)},
                         {9, "u1_ring_mod", "Unit 1 Ring Mod", "U1 Ring Mod", unit(0, Param::kRingMod)},
                         {10, "u1_fm_1_2", "Unit 1 FM (1->2)", "U1 FM (1->2)", unit(0, Param::kFmAmount)},
                         {11, "u1_pw", "Unit 1 PW", "U1 PW", unit(0, Param::kPulseWidth)},
                         {12, "u1_delay", "Unit 1 ->Delay", "U1 ->Delay", unit(0, Param::kDelaySend)},
                         {13, "u1_volume", "Unit 1 Volume", "U1 Volume", unit(0, Param::kVolume)},
                         {14, "u1_accent", "Unit 1 Accent", "U1 Accent", unit(0, Param::kAccent)},
                         {15, "u1_wet_lvl", "Unit 1 Wet Lvl", "U1 Wet Lvl", unit(0, Param::kDistWet)},
                         {16, "u1_threshold", "Unit 1 Threshold", "U1 Threshold", unit(0, Param::kThreshold)},
                         {17, "u1_attack", "Unit 1 Attack", "U1 Attack", unit(0, Param::kAttack)},
                         {18, "u1_decay", "Unit 1 Decay", "U1 Decay", unit(0, Param::kDecay)},
                         {19, "u1_sustain", "Unit 1 Sustain", "U1 Sustain", unit(0, Param::kSustain)},
                         {20, "u1_sus_lvl", "Unit 1 Sus Lvl", "U1 Sus Lvl", unit(0, Param::kSustainLevel)},
                         {21, "u1_release", "Unit 1 Release", "U1 Release", unit(0, Param::kRelease)},
                         {22, "u1_step_gate", "Unit 1 Step Gate", "U1 Step Gate", unit(0, Param::kStepGate)},
                         {23, "u1_lfo_speed", "Unit 1 LFO Speed", "U1 LFO Speed", unit(0, Param::kLfoSpeed)},
                         {24, "u1_lfo_amt", "Unit 1 LFO Amt", "U1 LFO Amt", unit(0, Param::kLfoAmount)},
                         {25, "u1_osc_1_wave", "Unit 1 Osc 1 Wave", "U1 Osc 1 Wave", unit(0, Param::kOsc1Wave)},
                         {26, "u1_osc_2_wave", "Unit 1 Osc 2 Wave", "U1 Osc 2 Wave", unit(0, Param::kOsc2Wave)},
                         {27, "u1_filter", "Unit 1 Filter", "U1 Filter", unit(0, Param::kFilterMode)},
                         {28, "u1_lfo_target", "Unit 1 LFO Target", "U1 LFO Target", unit(0, Param::kLfoTarget)},
                         {29, "u1_lfo_wave", "Unit 1 LFO Wave", "U1 LFO Wave", unit(0, Param::kLfoWave)},
                         {30, "u1_distortion", "Unit 1 Distortion", "U1 Distortion", unit(0, Param::kDistMode)},
                         {31, "u1_sync", "Unit 1 Sync", "U1 Sync", unit(0, Param::kSync)},
                         {32, "u2_cutoff", "Unit 2 Cutoff", "U2 Cutoff", unit(1, Param::kCutoff)},
                         {33, "u2_reso", "Unit 2 Reso", "U2 Reso", unit(1, Param::kResonance)},
                         {34, "u2_envamt", "Unit 2 EnvAmt", "U2 EnvAmt", unit(1, Param::kEnvAmount)},
                         {35, "u2_osc_1_coarse", "Unit 2 Osc 1 Coarse", "U2 Osc 1 Coarse", unit(1, Param::kOsc1Coarse)},
                         {36, "u2_osc_1_fine", "Unit 2 Osc 1 Fine", "U2 Osc 1 Fine", unit(1, Param::kOsc1Fine)},
                         {37, "u2_osc_2_coarse", "Unit 2 Osc 2 Coarse", "U2 Osc 2 Coarse", unit(1, Param::kOsc2Coarse)},
                         {38, "u2_osc_2_fine", "Unit 2 Osc 2 Fine", "U2 Osc 2 Fine", unit(1, Param::kOsc2Fine)},
                         {39, "u2_osc_mix", "Unit 2 Osc Mix", "U2 Osc Mix", unit(1, Param::kOscMix)},
                         {40, "u2_phase", "Unit 2 Phase", "U2 Phase", unit(1, Param::kPhase)},
                         {41, "u2_ring_mod", "Unit 2 Ring Mod", "U2 Ring Mod", unit(1, Param::kRingMod)},
                         {42, "u2_fm_1_2", "Unit 2 FM (1->2)", "U2 FM (1->2)", unit(1, Param::kFmAmount)},
                         {43, "u2_pw", "Unit 2 PW", "U2 PW", unit(1, Param::kPulseWidth)},
                         {44, "u2_delay", "Unit 2 ->Delay", "U2 ->Delay", unit(1, Param::kDelaySend)},
                         {45, "u2_volume", "Unit 2 Volume", "U2 Volume", unit(1, Param::kVolume)},
                         {46, "u2_accent", "Unit 2 Accent", "U2 Accent", unit(1, Param::kAccent)},
                         {47, "u2_wet_lvl", "Unit 2 Wet Lvl", "U2 Wet Lvl", unit(1, Param::kDistWet)},
                         {48, "u2_threshold", "Unit 2 Threshold", "U2 Threshold", unit(1, Param::kThreshold)},
                         {49, "u2_attack", "Unit 2 Attack", "U2 Attack", unit(1, Param::kAttack)},
                         {50, "u2_decay", "Unit 2 Decay", "U2 Decay", unit(1, Param::kDecay)},
                         {51, "u2_sustain", "Unit 2 Sustain", "U2 Sustain", unit(1, Param::kSustain)},
                         {52, "u2_sus_lvl", "Unit 2 Sus Lvl", "U2 Sus Lvl", unit(1, Param::kSustainLevel)},
                         {53, "u2_release", "Unit 2 Release", "U2 Release", unit(1, Param::kRelease)},
                         {54, "u2_step_gate", "Unit 2 Step Gate", "U2 Step Gate", unit(1, Param::kStepGate)},
                         {55, "u2_lfo_speed", "Unit 2 LFO Speed", "U2 LFO Speed", unit(1, Param::kLfoSpeed)},
                         {56, "u2_lfo_amt", "Unit 2 LFO Amt", "U2 LFO Amt", unit(1, Param::kLfoAmount)},
                         {57, "u2_osc_1_wave", "Unit 2 Osc 1 Wave", "U2 Osc 1 Wave", unit(1, Param::kOsc1Wave)},
                         {58, "u2_osc_2_wave", "Unit 2 Osc 2 Wave", "U2 Osc 2 Wave", unit(1, Param::kOsc2Wave)},
                         {59, "u2_filter", "Unit 2 Filter", "U2 Filter", unit(1, Param::kFilterMode)},
                         {60, "u2_lfo_target", "Unit 2 LFO Target", "U2 LFO Target", unit(1, Param::kLfoTarget)},
                         {61, "u2_lfo_wave", "Unit 2 LFO Wave", "U2 LFO Wave", unit(1, Param::kLfoWave)},
                         {62, "u2_distortion", "Unit 2 Distortion", "U2 Distortion", unit(1, Param::kDistMode)},
                         {63, "u2_sync", "Unit 2 Sync", "U2 Sync", unit(1, Param::kSync)},
                         {64, "u3_cutoff", "Unit 3 Cutoff", "U3 Cutoff", unit(2, Param::kCutoff)},
                         {65, "u3_reso", "Unit 3 Reso", "U3 Reso", unit(2, Param::kResonance)},
                         {66, "u3_envamt", "Unit 3 EnvAmt", "U3 EnvAmt", unit(2, Param::kEnvAmount)},
                         {67, "u3_osc_1_coarse", "Unit 3 Osc 1 Coarse", "U3 Osc 1 Coarse", unit(2, Param::kOsc1Coarse)},
                         {68, "u3_osc_1_fine", "Unit 3 Osc 1 Fine", "U3 Osc 1 Fine", unit(2, Param::kOsc1Fine)},
                         {69, "u3_osc_2_coarse", "Unit 3 Osc 2 Coarse", "U3 Osc 2 Coarse", unit(2, Param::kOsc2Coarse)},
                         {70, "u3_osc_2_fine", "Unit 3 Osc 2 Fine", "U3 Osc 2 Fine", unit(2, Param::kOsc2Fine)},
                         {71, "u3_osc_mix", "Unit 3 Osc Mix", "U3 Osc Mix", unit(2, Param::kOscMix)},
                         {72, "u3_phase", "Unit 3 Phase", "U3 Phase", unit(2, Param::kPhase)},
                         {73, "u3_ring_mod", "Unit 3 Ring Mod", "U3 Ring Mod", unit(2, Param::kRingMod)},
                         {74, "u3_fm_1_2", "Unit 3 FM (1->2)", "U3 FM (1->2)", unit(2, Param::kFmAmount)},
                         {75, "u3_pw", "Unit 3 PW", "U3 PW", unit(2, Param::kPulseWidth)},
                         {76, "u3_delay", "Unit 3 ->Delay", "U3 ->Delay", unit(2, Param::kDelaySend)},
                         {77, "u3_volume", "Unit 3 Volume", "U3 Volume", unit(2, Param::kVolume)},
                         {78, "u3_accent", "Unit 3 Accent", "U3 Accent", unit(2, Param::kAccent)},
                         {79, "u3_wet_lvl", "Unit 3 Wet Lvl", "U3 Wet Lvl", unit(2, Param::kDistWet)},
                         {80, "u3_threshold", "Unit 3 Threshold", "U3 Threshold", unit(2, Param::kThreshold)},
                         {81, "u3_attack", "Unit 3 Attack", "U3 Attack", unit(2, Param::kAttack)},
                         {82, "u3_decay", "Unit 3 Decay", "U3 Decay", unit(2, Param::kDecay)},
                         {83, "u3_sustain", "Unit 3 Sustain", "U3 Sustain", unit(2, Param::kSustain)},
                         {84, "u3_sus_lvl", "Unit 3 Sus Lvl", "U3 Sus Lvl", unit(2, Param::kSustainLevel)},
                         {85, "u3_release", "Unit 3 Release", "U3 Release", unit(2, Param::kRelease)},
                         {86, "u3_step_gate", "Unit 3 Step Gate", "U3 Step Gate", unit(2, Param::kStepGate)},
                         {87, "u3_lfo_speed", "Unit 3 LFO Speed", "U3 LFO Speed", unit(2, Param::kLfoSpeed)},
                         {88, "u3_lfo_amt", "Unit 3 LFO Amt", "U3 LFO Amt", unit(2, Param::kLfoAmount)},
                         {89, "u3_osc_1_wave", "Unit 3 Osc 1 Wave", "U3 Osc 1 Wave", unit(2, Param::kOsc1Wave)},
                         {90, "u3_osc_2_wave", "Unit 3 Osc 2 Wave", "U3 Osc 2 Wave", unit(2, Param::kOsc2Wave)},
                         {91, "u3_filter", "Unit 3 Filter", "U3 Filter", unit(2, Param::kFilterMode)},
                         {92, "u3_lfo_target", "Unit 3 LFO Target", "U3 LFO Target", unit(2, Param::kLfoTarget)},
                         {93, "u3_lfo_wave", "Unit 3 LFO Wave", "U3 LFO Wave", unit(2, Param::kLfoWave)},
                         {94, "u3_distortion", "Unit 3 Distortion", "U3 Distortion", unit(2, Param::kDistMode)},
                         {95, "u3_sync", "Unit 3 Sync", "U3 Sync", unit(2, Param::kSync)},
                         {96, "u4_cutoff", "Unit 4 Cutoff", "U4 Cutoff", unit(3, Param::kCutoff)},
                         {97, "u4_reso", "Unit 4 Reso", "U4 Reso", unit(3, Param::kResonance)},
                         {98, "u4_envamt", "Unit 4 EnvAmt", "U4 EnvAmt", unit(3, Param::kEnvAmount)},
                         {99, "u4_osc_1_coarse", "Unit 4 Osc 1 Coarse", "U4 Osc 1 Coarse", unit(3, Param::kOsc1Coarse)},
                         {100, "u4_osc_1_fine", "Unit 4 Osc 1 Fine", "U4 Osc 1 Fine", unit(3, Param::kOsc1Fine)},
                         {101, "u4_osc_2_coarse", "Unit 4 Osc 2 Coarse", "U4 Osc 2 Coarse", unit(3, Param::kOsc2Coarse)},
                         {102, "u4_osc_2_fine", "Unit 4 Osc 2 Fine", "U4 Osc 2 Fine", unit(3, Param::kOsc2Fine)},
                         {103, "u4_osc_mix", "Unit 4 Osc Mix", "U4 Osc Mix", unit(3, Param::kOscMix)},
                         {104, "u4_phase", "Unit 4 Phase", "U4 Phase", unit(3, Param::kPhase)},
                         {105, "u4_ring_mod", "Unit 4 Ring Mod", "U4 Ring Mod", unit(3, Param::kRingMod)},
                         {106, "u4_fm_1_2", "Unit 4 FM (1->2)", "U4 FM (1->2)", unit(3, Param::kFmAmount)},
                         {107, "u4_pw", "Unit 4 PW", "U4 PW", unit(3, Param::kPulseWidth)},
                         {108, "u4_delay", "Unit 4 ->Delay", "U4 ->Delay", unit(3, Param::kDelaySend)},
                         {109, "u4_volume", "Unit 4 Volume", "U4 Volume", unit(3, Param::kVolume)},
                         {110, "u4_accent", "Unit 4 Accent", "U4 Accent", unit(3, Param::kAccent)},
                         {111, "u4_wet_lvl", "Unit 4 Wet Lvl", "U4 Wet Lvl", unit(3, Param::kDistWet)},
                         {112, "u4_threshold", "Unit 4 Threshold", "U4 Threshold", unit(3, Param::kThreshold)},
                         {113, "u4_attack", "Unit 4 Attack", "U4 Attack", unit(3, Param::kAttack)},
                         {114, "u4_decay", "Unit 4 Decay", "U4 Decay", unit(3, Param::kDecay)},
                         {115, "u4_sustain", "Unit 4 Sustain", "U4 Sustain", unit(3, Param::kSustain)},
                         {116, "u4_sus_lvl", "Unit 4 Sus Lvl", "U4 Sus Lvl", unit(3, Param::kSustainLevel)},
                         {117, "u4_release", "Unit 4 Release", "U4 Release", unit(3, Param::kRelease)},
                         {118, "u4_step_gate", "Unit 4 Step Gate", "U4 Step Gate", unit(3, Param::kStepGate)},
                         {119, "u4_lfo_speed", "Unit 4 LFO Speed", "U4 LFO Speed", unit(3, Param::kLfoSpeed)},
                         {120, "u4_lfo_amt", "Unit 4 LFO Amt", "U4 LFO Amt", unit(3, Param::kLfoAmount)},
                         {121, "u4_osc_1_wave", "Unit 4 Osc 1 Wave", "U4 Osc 1 Wave", unit(3, Param::kOsc1Wave)},
                         {122, "u4_osc_2_wave", "Unit 4 Osc 2 Wave", "U4 Osc 2 Wave", unit(3, Param::kOsc2Wave)},
                         {123, "u4_filter", "Unit 4 Filter", "U4 Filter", unit(3, Param::kFilterMode)},
                         {124, "u4_lfo_target", "Unit 4 LFO Target", "U4 LFO Target", unit(3, Param::kLfoTarget)},
                         {125, "u4_lfo_wave", "Unit 4 LFO Wave", "U4 LFO Wave", unit(3, Param::kLfoWave)},
                         {126, "u4_distortion", "Unit 4 Distortion", "U4 Distortion", unit(3, Param::kDistMode)},
                         {127, "u4_sync", "Unit 4 Sync", "U4 Sync", unit(3, Param::kSync)},
                         {128, "tempo", "Tempo", "Tempo", global(Param::kTempo)},
                         {129, "master_volume", "Master Volume", "Master Volume", global(Param::kMasterVolume)},
                         {130, "delay_steps", "Delay Steps", "Delay Steps", global(Param::kDelaySteps)},
                         {131, "feedback", "Feedback", "Feedback", global(Param::kFeedback)},
                         {132, "pan", "Pan", "Pan", global(Param::kPan)},
                         {133, "swing", "Swing", "Swing", global(Param::kSwing)},
                         {134, "sequencer", "Sequencer", "Sequencer", kSequencerControl},
                         {135, "units", "Units", "Units", kUnitsControl},
                         {136, "u1_local_off", "Unit 1 Local Off", "U1 Local Off", localOff(0)},
                         {137, "u2_local_off", "Unit 2 Local Off", "U2 Local Off", localOff(1)},
                         {138, "u3_local_off", "Unit 3 Local Off", "U3 Local Off", localOff(2)},
                         {139, "u4_local_off", "Unit 4 Local Off", "U4 Local Off", localOff(3)}};
static_assert(std::size(kRows) == kPluginParameterCount);

constexpr bool idsInOrder() {
    for (uint32_t i = 0; i < std::size(kRows); ++i)
        if (kRows[i].id != i) return false;
    return true;
}
static_assert(idsInOrder(), "each row stands at its id");
static_assert(kRows[kSequencerParameter].drives.control == PluginControl::kSequencer &&
              kRows[kUnitsParameter].drives.control == PluginControl::kUnits &&
              kRows[kFirstLocalOffParameter].drives.control == PluginControl::kLocalOff);

const char* const kSequencerChoices[] = {"Off", "Follow Host"};
const char* const kOffOnChoices[] = {"Off", "On"};

const char* unitText(ValueText t) {
    switch (t) {
        case ValueText::kBpm: return "BPM";
        case ValueText::kPercent: return "%";
        default: return "";
    }
}

// A row with its range, start-up value, unit and choices.
PluginParameter described(const Row& r) {
    PluginParameter p{r.id, r.symbol, r.name, r.shortName, r.drives.control, r.drives.unit, r.drives.param, 0, 0, 0, "", nullptr};
    if (r.drives.control == PluginControl::kSequencer || r.drives.control == PluginControl::kLocalOff) {
        p.maximum = 1;
        p.choices = r.drives.control == PluginControl::kSequencer ? kSequencerChoices : kOffOnChoices;
    } else if (r.drives.control == PluginControl::kUnits) {
        p.minimum = p.defaultValue = 1;
        p.maximum = kPluginUnits;
    } else {
        const ParameterTraits& s = parameterTraits(r.drives.param);
        p.minimum = s.minimum, p.maximum = s.maximum, p.defaultValue = s.startUp;
        p.unit = unitText(s.text);
        p.choices = s.choices;
    }
    return p;
}

// Made at the first use, whenever that comes (making it allocates nothing).
const std::array<PluginParameter, kPluginParameterCount>& parameters() {
    static const auto all = [] {
        std::array<PluginParameter, kPluginParameterCount> made{};
        std::transform(std::begin(kRows), std::end(kRows), made.begin(), described);
        return made;
    }();
    return all;
}

bool sameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

const PluginParameter& pluginParameter(uint32_t index) { return parameters()[index]; }

bool pluginParameterOfSymbol(std::string_view symbol, uint32_t& index) {
    const auto& all = parameters();
    const auto found = std::find_if(all.begin(), all.end(), [&](const PluginParameter& p) { return symbol == p.symbol; });
    index = static_cast<uint32_t>(found - all.begin());
    return found != all.end();
}

bool parameterInPattern(uint32_t index) {
    const PluginControl c = pluginParameter(index).control;
    return c == PluginControl::kModel || c == PluginControl::kUnits;
}

uint32_t pluginIndexOf(int unit, Param param) {
    const auto& all = parameters();
    const bool global = parameterTraits(param).global;
    const auto found = std::find_if(all.begin(), all.end(), [&](const PluginParameter& p) {
        return p.control == PluginControl::kModel && p.param == param && (global || p.unitIndex == unit);
    });
    return static_cast<uint32_t>(found - all.begin());
}

std::string parameterText(uint32_t index, int32_t value) {
    const PluginParameter& p = pluginParameter(index);
    if (p.control == PluginControl::kModel) return valueText(p.param, value);
    if (p.choices && value >= p.minimum && value <= p.maximum) return p.choices[value - p.minimum];
    return std::to_string(value);
}

bool parameterValueOfText(uint32_t index, const char* text, int32_t& value) {
    const PluginParameter& p = pluginParameter(index);
    for (int32_t v = p.minimum; v <= p.maximum; ++v)
        if (sameText(text, parameterText(index, v).c_str())) return value = v, true;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text) return false;
    value = static_cast<int32_t>(std::clamp<long>(v, p.minimum, p.maximum));
    return true;
}

}  // namespace velmor
