// The plugin's editor apart from its window: what clicks, drags, keys and
// buttons do to the plugin's model, as the same edits made through the
// model's own functions; what Undo takes back; which parameters the host
// hears of; and the layout's hit areas, which must not overlap.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "model/parameters.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "model/undo.h"
#include "model/units.h"
#include "model/pattern_clipboard.h"
#include "plugin/editor/editor_actions.h"
#include "plugin/editor/editor_layout.h"
#include "plugin/editor/editor_presets.h"
#include "plugin/editor/editor_settings.h"
#include "plugin/plugin_parameters.h"

namespace velmor {
namespace {

std::vector<float> block(PluginCore& p) {
    std::vector<float> out(2 * 4096);
    p.process(out.data(), out.data() + 4096, 4096, nullptr, 0, HostTime{});
    return out;
}

TEST(EditorLayout, EveryPointHitsOneControlAtMostAndEachControlIsFound) {
    std::vector<Box> boxes;
    for (int k = 0; k < kKnobCount; ++k) boxes.push_back(knobBox(k));
    for (int s = 0; s < kEditorSteps; ++s)
        for (int r = 0; r < kStepRows; ++r) boxes.push_back(stepBox(s, static_cast<StepRow>(r)));
    for (int b = 0; b < kButtonCount; ++b) boxes.push_back(buttonTraits(static_cast<Button>(b)).box);
    for (int p = 0; p < kShownPositions; ++p) boxes.push_back(positionBox(p));
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& a = boxes[i];
        EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.w <= kEditorWidth && a.y + a.h <= kEditorHeight) << i;
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const Box& b = boxes[j];
            EXPECT_FALSE(a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h) << i << " overlaps " << j;
        }
    }
    for (int b = 0; b < kButtonCount; ++b) {
        ASSERT_EQ(buttonTraits(static_cast<Button>(b)).id, static_cast<Button>(b));
        const Box& x = buttonTraits(static_cast<Button>(b)).box;
        const Hit h = hitTest(x.x + x.w / 2, x.y + x.h / 2);
        EXPECT_EQ(h.kind, Hit::kButton);
        EXPECT_EQ(h.index, b);
    }
    const Box accent = stepBox(7, StepRow::kAccent);
    const Hit h = hitTest(accent.x + 1, accent.y + 1);
    EXPECT_EQ(h.kind, Hit::kStep);
    EXPECT_EQ(h.index, 7);
    EXPECT_EQ(h.row, StepRow::kAccent);
    EXPECT_EQ(hitTest(2, 2).kind, Hit::kNothing);
}

TEST(EditorLayout, DragsAndTheWheelStayInRangeAndChoicesWrap) {
    EXPECT_EQ(dragValue(Param::kCutoff, 50, 100, false), 100);
    EXPECT_EQ(dragValue(Param::kCutoff, 50, 20, false), 60);
    EXPECT_EQ(dragValue(Param::kCutoff, 50, 20, true), 52);
    EXPECT_EQ(dragValue(Param::kCutoff, 50, -400, false), 0);
    EXPECT_EQ(dragValue(Param::kTempo, 80, 10, false), 86);
    EXPECT_EQ(wheelValue(Param::kFilterMode, 4, 1), 0);
    EXPECT_EQ(wheelValue(Param::kFilterMode, 0, -1), 4);
    EXPECT_EQ(wheelValue(Param::kDistMode, 2, 1), 1);
    EXPECT_EQ(wheelValue(Param::kCutoff, 100, 1), 100);
    EXPECT_EQ(dragPitch(15, 16), 17);
    EXPECT_EQ(dragPitch(50, 80), kHighestPitch);
    EXPECT_EQ(dragPitch(4, -80), kLowestPitch);
    EXPECT_EQ(nextZoom(100, -1), 100);
    EXPECT_EQ(nextZoom(250, 1), 300);
    EXPECT_EQ(nextZoom(300, 1), 300);
    EXPECT_EQ(nextZoom(123, 1), 125);
}

// The editor's edits sound as the model's own functions given the same
// edits, and Undo takes each back in turn to the start-up sound.
TEST(EditorActions, EditsSoundAsTheModelsOwnAndUndoTakesEachBack) {
    PluginCore editor(PluginCore::kEngineRate), direct(PluginCore::kEngineRate);
    EditorFocus focus;
    Synth& e = editor.editModel();
    Synth& d = direct.editModel();
    const std::string startUp = editor.state();
    // Keys: to step 3, its note off, a slide, an accent, the piano's E
    // (C2 is pitch 15: E2 is 19), which moves on to step 4.
    for (EditorKey k : {EditorKey::kRight, EditorKey::kRight}) pressKey(e, focus, k, 0, false, false);
    for (uint32_t c : {' ', 'S', 'a', 'e'}) EXPECT_TRUE(pressKey(e, focus, EditorKey::kCharacter, c, false, false));
    EXPECT_EQ(focus.step, 3);
    EXPECT_FALSE(pressKey(e, focus, EditorKey::kCharacter, 'x', false, false));
    pressKey(e, focus, EditorKey::kUp, 0, false, false);
    toggleStepNoteOn(d, 2), toggleStepSlide(d, 2), toggleStepAccent(d, 2);
    setStepPitchFromSlider(d, 2, pitchSliderPosition(19));
    setStepPitchFromSlider(d, 3, pitchSliderPosition(16));
    // Clicks, a knob, the buttons.
    clickStep(e, 9, StepRow::kSlide);
    toggleStepSlide(d, 9);
    setKnob(e, 13, 80);
    setLinked(d, Param::kCutoff, 80);
    for (Button b : {Button::kCopy, Button::kNextPattern, Button::kPaste, Button::kAddUnit, Button::kSongMode, Button::kInsertPosition})
        EXPECT_TRUE(pressButton(e, focus, b, 1));
    EXPECT_FALSE(pressButton(e, focus, Button::kLoad, 1));
    copyPattern(d), selectPattern(d, 1), pastePattern(d), addUnit(d), setSongMode(d, true), insertSongPosition(d, 1, 1);
    EXPECT_EQ(focus.position, 1);
    // The song's row keeps the selected position in view, from the first.
    EXPECT_EQ(firstShownPosition(e, focus), 0);
    for (int i = 0; i < 20; ++i) insertSongPosition(d, 0, 0), insertSongPosition(e, 0, 0);
    for (const auto& [selected, first] : {std::pair{0, 0}, {10, 2}, {21, 6}}) {
        focus.position = selected;
        EXPECT_EQ(firstShownPosition(e, focus), first) << selected;
    }
    EXPECT_TRUE(editor.state() == direct.state());
    EXPECT_EQ(block(editor), block(direct));
    // Clear leaves every switch of the pattern off, the pitches as they were.
    pressButton(e, focus, Button::kClear, 1);
    for (int i = 0; i < kEditorSteps; ++i) EXPECT_EQ(stepNoteOn(e, i) + stepSlide(e, i) + stepAccent(e, i), 0) << i;
    EXPECT_EQ(stepPitch(e, 2), 19);
    // Undo, with the keys and the button, back to the start-up state.
    while (undoName(e)) {
        const bool key = e.undo.applied % 2;
        EXPECT_TRUE(key ? pressKey(e, focus, EditorKey::kCharacter, 'z', true, false) : pressButton(e, focus, Button::kUndo, 1));
    }
    EXPECT_TRUE(editor.state() == startUp);
    pressKey(e, focus, EditorKey::kCharacter, 'y', true, false);
    EXPECT_FALSE(editor.state() == startUp);
}

// A preset (here a pattern file's bytes) is one edit Undo takes back; bytes
// that cannot be read change nothing. The host hears of each parameter an
// edit changed, and of no other.
TEST(EditorActions, APresetIsOneEditAndTheHostHearsOfWhatChanged) {
    PluginCore core(PluginCore::kEngineRate), other(PluginCore::kEngineRate);
    setLinked(other.editModel(), Param::kTempo, 150);
    setLinked(other.editModel(), Param::kResonance, 90);
    std::string bytes;
    writePatternBytes(other.model().score.doc, bytes);
    std::vector<std::pair<uint32_t, float>> told;
    const TellHost tell = [&](uint32_t i, float v) { told.emplace_back(i, v); };
    std::string why;
    // The first edit brings every value to what the model reads back.
    setLinked(core.editModel(), Param::kTempo, 81);
    setLinked(core.editModel(), Param::kTempo, 80);
    clearHistory(core.editModel());
    editAndTell(core, tell, [&](Synth&) { EXPECT_TRUE(core.loadPatternBytes(bytes.data(), bytes.size(), "Load Preset", why)); });
    EXPECT_TRUE(core.state() == other.state());
    const uint32_t resonance = pluginIndexOf(0, Param::kResonance), tempo = pluginIndexOf(0, Param::kTempo);
    const std::vector<std::pair<uint32_t, float>> expected = {{resonance, other.parameterValue(resonance)}, {tempo, 150.0f}};
    EXPECT_EQ(told, expected);
    EXPECT_STREQ(undoName(core.model()), "Load Preset");
    told.clear();
    editAndTell(core, tell, [&](Synth&) { EXPECT_FALSE(core.loadPatternBytes(bytes.data(), 10, "Load Preset", why)); });
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(why.empty());
    editAndTell(core, tell, [](Synth& s) { undo(s); });
    EXPECT_EQ(told.size(), 2u);
    EXPECT_TRUE(core.state() == PluginCore(PluginCore::kEngineRate).state());
}

// A preset the user saves appears in the list beside the factory ones,
// holds the bytes "Save Pattern..." writes, and loads back to the same
// state; a name without letters saves nothing.
TEST(EditorPresets, AUserPresetSavesThePatternFileAndLoadsBack) {
    const auto folder = std::filesystem::temp_directory_path() / ("velmor-presets-" + std::to_string(::getpid()));
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    PluginCore core(PluginCore::kEngineRate), other(PluginCore::kEngineRate);
    setLinked(core.editModel(), Param::kCutoff, 12);
    toggleStepSlide(core.editModel(), 4);
    std::string why;
    EXPECT_FALSE(saveUserPreset(core, "/.", why));
    ASSERT_TRUE(saveUserPreset(core, "../My Bass", why)) << why;
    std::ifstream in(folder / "velmor" / "presets" / "My Bass.pat", std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string bytes;
    writePatternBytes(core.model().score.doc, bytes);
    EXPECT_EQ(saved, bytes);
    EditorPresets presets;
    presets.refresh();
    const int mine = presets.userPreset("My Bass");
    ASSERT_GE(mine, 1);
    EXPECT_EQ(presets.name(mine), "User: My Bass");
    EXPECT_EQ(presets.name(0).rfind("Acid: ", 0), 0u);
    ASSERT_TRUE(presets.load(other, mine, why)) << why;
    EXPECT_TRUE(other.state() == core.state());
    EXPECT_TRUE(presets.load(other, 0, why));
    EXPECT_FALSE(other.state() == core.state());
    EXPECT_FALSE(presets.load(other, presets.count(), why));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmor
