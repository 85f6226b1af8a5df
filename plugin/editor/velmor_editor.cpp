// The plugin's editor, drawn with NanoVG in every format: the current
// unit's controls as knobs, the global ones, the pattern grid, the pattern
// bank, the song and the presets, all from the layout's tables. It draws
// only when something changed: an edit, a host's change, the step the
// sequencer plays.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "DistrhoUI.hpp"
#include "OpenGL-include.hpp"
#include "model/parameters.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "model/undo.h"
#include "plugin/editor/editor_actions.h"
#include "plugin/editor/editor_core.h"
#include "plugin/editor/editor_layout.h"
#include "plugin/editor/editor_presets.h"
#include "plugin/editor/editor_settings.h"
#include "plugin/plugin_parameters.h"

START_NAMESPACE_DISTRHO

namespace {

using velmor::Box;
using velmor::Button;
using velmor::Hit;
using velmor::StepRow;

// The framework's parameter 0 is "Step"; the core's follow from 1 on.
constexpr uint32_t kFirstCoreParameter = 1;
constexpr uint kDoubleClickMs = 400;

struct Colour {
    int r, g, b;
};
constexpr Colour kBackground{30, 32, 36}, kPanel{44, 47, 53}, kText{225, 228, 232}, kDim{130, 135, 145}, kAccent{255, 152, 40},
    kLit{120, 200, 255}, kOff{62, 66, 74};

class VelmorEditor : public UI {
    // A name being typed: a user preset's, or the file "Save..." writes.
    enum class Naming { kNone, kPreset, kFile };

public:
    // At the host's scale and the user's zoom, the drawing scaled to the
    // window's width; at least the design size at the host's scale, always
    // in its proportions.
    VelmorEditor() : core_(velmor::editorCore(getPluginInstancePointer())) {
        loadSharedResources();
        zoom_ = velmor::readZoom();
        const double s = getScaleFactor();
        setGeometryConstraints(static_cast<uint>(velmor::kEditorWidth * s), static_cast<uint>(velmor::kEditorHeight * s), true,
                               false);
        // The zoom once the window is shown (a window not yet shown keeps
        // the size it was made with).
        zoomPending_ = zoom_ != 100;
        presets_.refresh();
    }

protected:
    void parameterChanged(uint32_t, float) override { repaint(); }
    void stateChanged(const char*, const char*) override { repaint(); }

    // Redraws when the model changed or the sequencer moved on.
    void uiIdle() override {
        if (zoomPending_) resizeToZoom(), zoomPending_ = false;
        // A window made at its size before the drawing had one (as on
        // Windows, which tells no new size then): the drawing takes it.
        if (getWidth() != getWindow().getWidth() || getHeight() != getWindow().getHeight()) {
            Widget::setSize(getWindow().getWidth(), getWindow().getHeight());
            repaint();
        }
        const uint32_t changes = core_.changeCount();
        const int step = playingStep();
        if (changes == drawnChanges_ && step == drawnStep_) return;
        repaint();
    }

    void onNanoDisplay() override {
        drawnChanges_ = core_.changeCount();
        drawnStep_ = playingStep();
        const velmor::Synth& s = core_.model();
        const float k = drawingScale();
        scale(k, k);
        // The background as the frame's clearing colour: no fill drawn.
        glClearColor(kBackground.r / 255.0f, kBackground.g / 255.0f, kBackground.b / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        fontFaceId(findFont(NANOVG_DEJAVU_SANS_TTF));
        text(16, 24, "VELMOR", 20, kAccent, ALIGN_LEFT);
        panel({8, 48, 668, 300}, "Unit " + std::to_string(s.selection.currentUnit + 1));
        text(520, 64, "Link", 12, kDim, ALIGN_RIGHT);
        panel({676, 48, 316, 300}, "Global");
        panel({8, 356, 984, 184}, "Pattern");
        panel({8, 544, 984, 88}, "");
        for (int b = 0; b < velmor::kButtonCount; ++b) drawButton(s, static_cast<Button>(b));
        for (int knob = 0; knob < velmor::kKnobCount; ++knob) drawKnob(s, knob);
        drawPattern(s);
        drawSong(s);
        text(16, 616, "Preset", 13, kDim, ALIGN_LEFT);
        if (listing_) drawList();
    }

    bool onMouse(const MouseEvent& ev) override {
        const float k = drawingScale();
        const float x = static_cast<float>(ev.pos.getX()) / k, y = static_cast<float>(ev.pos.getY()) / k;
        if (!ev.press) {
            if (drag_.kind == Hit::kKnob) editParameter(knobIndex(drag_.index), false);
            drag_ = Hit{};
            return true;
        }
        if (ev.button != 1) return false;
        if (listing_) {
            choose(x, y);
            repaint();
            return true;
        }
        const Hit hit = velmor::hitTest(x, y);
        const bool twice =
            hit.kind == lastClick_.kind && hit.index == lastClick_.index && ev.time - lastClickTime_ < kDoubleClickMs;
        lastClick_ = hit, lastClickTime_ = ev.time;
        dragY_ = y;
        switch (hit.kind) {
            case Hit::kKnob:
                dragStart_ = velmor::knobValue(core_.model(), hit.index);
                drag_ = hit;
                editParameter(knobIndex(hit.index), true);
                if (twice) setKnob(hit.index, velmor::parameterTraits(velmor::knobParam(hit.index)).startUp);
                break;
            case Hit::kStep:
                focus_.step = hit.index;
                if (hit.row == StepRow::kPitch) {
                    dragStart_ = velmor::stepPitch(core_.model(), hit.index);
                    drag_ = hit;
                } else {
                    edit([&](velmor::Synth& s) { velmor::clickStep(s, hit.index, hit.row); });
                }
                break;
            case Hit::kPosition: focus_.position = velmor::firstShownPosition(core_.model(), focus_) + hit.index; break;
            case Hit::kButton: press(static_cast<Button>(hit.index)); break;
            case Hit::kNothing: return false;
        }
        repaint();
        return true;
    }

    bool onMotion(const MotionEvent& ev) override {
        if (drag_.kind == Hit::kNothing) return false;
        const float k = drawingScale();
        const float up = dragY_ - static_cast<float>(ev.pos.getY()) / k;
        if (drag_.kind == Hit::kKnob)
            setKnob(drag_.index, velmor::dragValue(velmor::knobParam(drag_.index), dragStart_, up, ev.mod & kModifierShift));
        else
            edit([&](velmor::Synth& s) { velmor::setStepPitch(s, drag_.index, velmor::dragPitch(dragStart_, up)); });
        return true;
    }

    bool onScroll(const ScrollEvent& ev) override {
        const float k = drawingScale();
        const Hit hit = velmor::hitTest(static_cast<float>(ev.pos.getX()) / k, static_cast<float>(ev.pos.getY()) / k);
        const int notches = ev.delta.getY() > 0 ? 1 : ev.delta.getY() < 0 ? -1 : 0;
        if (notches == 0) return false;
        if (hit.kind == Hit::kKnob) {
            const velmor::Param p = velmor::knobParam(hit.index);
            setKnob(hit.index, velmor::wheelValue(p, velmor::knobValue(core_.model(), hit.index), notches));
        } else if (hit.kind == Hit::kStep && hit.row == StepRow::kPitch) {
            edit([&](velmor::Synth& s) {
                velmor::setStepPitch(s, hit.index, velmor::dragPitch(velmor::stepPitch(s, hit.index), 8.0f * notches));
            });
        } else if (hit.kind == Hit::kPosition) {
            const int position = velmor::firstShownPosition(core_.model(), focus_) + hit.index;
            edit([&](velmor::Synth& s) { velmor::stepSongPattern(s, position, notches); });
        } else {
            return false;
        }
        return true;
    }

    bool onKeyboard(const KeyboardEvent& ev) override {
        if (!ev.press) return false;
        if (naming_ != Naming::kNone) return typeName(ev.key);
        if (listing_ && ev.key == kKeyEscape) return listing_ = false, repaint(), true;
        velmor::EditorKey key = velmor::EditorKey::kCharacter;
        if (ev.key == kKeyLeft) key = velmor::EditorKey::kLeft;
        if (ev.key == kKeyRight) key = velmor::EditorKey::kRight;
        if (ev.key == kKeyUp) key = velmor::EditorKey::kUp;
        if (ev.key == kKeyDown) key = velmor::EditorKey::kDown;
        bool used = false;
        edit([&](velmor::Synth& s) {
            used = velmor::pressKey(s, focus_, key, ev.key, ev.mod & kModifierControl, ev.mod & kModifierShift);
        });
        if (used) repaint();
        return used;
    }

    void uiFileBrowserSelected(const char* filename) override {
        if (!filename) return;
        std::string why;
        bool done = false;
        if (browsingSave_)
            done = velmor::savePatternFile(core_, filename, why);
        else
            edit([&](velmor::Synth&) { done = velmor::loadPresetFile(core_, filename, why); });
        if (!done) std::fprintf(stderr, "Velmor: %s\n", why.c_str());
        message_ = done ? "" : why;
        repaint();
    }

private:
    // The plugin's index of a knob's parameter for the current unit.
    uint32_t knobIndex(int knob) const {
        return kFirstCoreParameter + velmor::pluginIndexOf(core_.model().selection.currentUnit, velmor::knobParam(knob));
    }

    void resizeToZoom() {
        const double k = getScaleFactor() * zoom_ / 100.0;
        setSize(static_cast<uint>(std::lround(velmor::kEditorWidth * k)),
                static_cast<uint>(std::lround(velmor::kEditorHeight * k)));
    }

    // Design units to the window's pixels.
    float drawingScale() const { return static_cast<float>(getWidth()) / velmor::kEditorWidth; }

    bool followingHost() const { return core_.parameterValue(velmor::kSequencerParameter) != 0; }
    // The step the sequencer plays while it follows the host or plays.
    int playingStep() const { return followingHost() || core_.playing() ? core_.step() : 0; }

    template <class Fn>
    void edit(Fn&& fn) {
        velmor::editAndTell(
            core_, [this](uint32_t i, float v) { setParameterValue(kFirstCoreParameter + i, v); }, fn);
    }

    void setKnob(int knob, int32_t value) {
        edit([&](velmor::Synth& s) { velmor::setKnob(s, knob, value); });
        repaint();
    }

    // Sequencer and Local Off are the host's parameters alone.
    void toggleHostParameter(uint32_t index) {
        const float v = core_.parameterValue(index) != 0 ? 0.0f : 1.0f;
        editParameter(kFirstCoreParameter + index, true);
        setParameterValue(kFirstCoreParameter + index, v);
        editParameter(kFirstCoreParameter + index, false);
    }

    void press(Button b) {
        const auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        bool handled = false;
        edit([&](velmor::Synth& s) { handled = velmor::pressButton(s, focus_, b, seed); });
        if (handled) return;
        switch (b) {
            case Button::kSequencer: toggleHostParameter(velmor::kSequencerParameter); break;
            case Button::kLocalOff:
                toggleHostParameter(velmor::kFirstLocalOffParameter + static_cast<uint32_t>(core_.model().selection.currentUnit));
                break;
            case Button::kZoomIn:
            case Button::kZoomOut: {
                zoom_ = velmor::nextZoom(zoom_, b == Button::kZoomIn ? 1 : -1);
                velmor::writeZoom(zoom_);
                resizeToZoom();
                break;
            }
            case Button::kPresetName:
                presets_.refresh();
                listing_ = true;
                break;
            case Button::kPreviousPreset:
            case Button::kNextPreset: {
                presets_.refresh();
                const int n = presets_.count();
                if (n == 0) break;
                preset_ = b == Button::kNextPreset ? (preset_ + 1) % n : (preset_ + n - 1) % n;
                if (preset_ < 0) preset_ = 0;
                std::string why;
                edit([&](velmor::Synth&) {
                    if (!presets_.load(core_, preset_, why)) message_ = why;
                });
                break;
            }
            case Button::kLoad: {
                FileBrowserOptions options;
                options.title = "Load Pattern";
                openFileBrowser(options);
                break;
            }
            // Saving names its file in the preset's place (where the
            // system's file dialog cannot save, as on X11).
            case Button::kSave: {
                FileBrowserOptions options;
                options.saving = true;
                options.title = "Save Pattern";
                options.defaultName = "Untitled.pat";
                if (!openFileBrowser(options)) startNaming(Naming::kFile, velmor::defaultPatternPath());
                break;
            }
            case Button::kSavePreset: startNaming(Naming::kPreset, ""); break;
            case Button::kPlay:
                if (core_.ownTransport() && !followingHost()) core_.play(!core_.playing());
                break;
            default: break;
        }
    }

    bool openFileBrowser(const FileBrowserOptions& options) {
        browsingSave_ = options.saving;
        return UI::openFileBrowser(options);
    }

    // The preset list: a column for each category under its name, an
    // entry a row; `fn(entry, its box, whether it starts a column)`.
    template <class Fn>
    void forEachListed(Fn fn) const {
        int column = -1, row = 0;
        for (int i = 0; i < presets_.count(); ++i) {
            const bool first = i == 0 || presets_.category(i) != presets_.category(i - 1);
            if (first) ++column, row = 0;
            fn(i, velmor::Box{16 + static_cast<float>(column) * 138, 96 + static_cast<float>(row++) * 22, 134, 18}, first);
        }
    }

    void drawList() {
        beginPath();
        rect(0, 48, velmor::kEditorWidth, velmor::kEditorHeight - 48);
        fillColor(20, 21, 24, 240);
        fill();
        text(16, 74, "Presets: click one to load it, anywhere else to close the list", 14, kText, ALIGN_LEFT);
        forEachListed([&](int i, velmor::Box b, bool first) {
            if (first) text(b.x, b.y - 8, presets_.category(i), 12, kDim, ALIGN_LEFT);
            box(b, i == preset_ ? kAccent : kOff, presets_.shortName(i));
        });
    }

    void choose(float x, float y) {
        listing_ = false;
        int chosen = -1;
        forEachListed([&](int i, velmor::Box b, bool) {
            if (b.contains(x, y)) chosen = i;
        });
        if (chosen < 0) return;
        preset_ = chosen;
        std::string why;
        edit([&](velmor::Synth&) { message_ = presets_.load(core_, preset_, why) ? "" : why; });
    }

    void startNaming(Naming what, const std::string& text) {
        naming_ = what;
        typed_ = text;
        message_.clear();
        repaint();
    }

    // A key while a name is typed: Enter saves, Escape gives up.
    bool typeName(uint key) {
        if (key == kKeyEscape) {
            naming_ = Naming::kNone;
        } else if (key == kKeyBackspace) {
            if (!typed_.empty()) typed_.pop_back();
        } else if (key == '\r' || key == '\n') {
            std::string why;
            const bool preset = naming_ == Naming::kPreset;
            const bool done =
                preset ? velmor::saveUserPreset(core_, typed_, why) : velmor::savePatternFile(core_, typed_.c_str(), why);
            naming_ = Naming::kNone;
            message_ = done ? "" : why;
            if (done && preset) presets_.refresh(), preset_ = presets_.userPreset(typed_);
        } else if (key >= ' ' && key < 127) {
            typed_ += static_cast<char>(key);
        }
        repaint();
        return true;
    }

    void paint(Colour c) { fillColor(c.r, c.g, c.b); }

    void text(float x, float y, const std::string& t, float size, Colour c, int align) {
        fontSize(size);
        paint(c);
        textAlign(align | ALIGN_BASELINE);
        NanoVG::text(x, y, t.c_str(), nullptr);
    }

    // A panel's face is cleared, not filled: on a software renderer a fill
    // this large costs far more.
    void panel(Box b, const std::string& title) {
        const float k = drawingScale();
        glEnable(GL_SCISSOR_TEST);
        glScissor(static_cast<GLint>(std::lround(b.x * k)), static_cast<GLint>(std::lround(getHeight() - (b.y + b.h) * k)),
                  static_cast<GLsizei>(std::lround(b.w * k)), static_cast<GLsizei>(std::lround(b.h * k)));
        glClearColor(kPanel.r / 255.0f, kPanel.g / 255.0f, kPanel.b / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        if (!title.empty()) text(b.x + 10, b.y + 18, title, 14, kText, ALIGN_LEFT);
    }

    void box(Box b, Colour c, const std::string& label, Colour ink = kText) {
        beginPath();
        roundedRect(b.x, b.y, b.w, b.h, 4);
        paint(c);
        fill();
        text(b.x + b.w / 2, b.y + b.h / 2 + 5, label, 13, ink, ALIGN_CENTER);
    }

    void drawButton(const velmor::Synth& s, Button b) {
        const velmor::ButtonTraits& t = velmor::buttonTraits(b);
        const int unitCount = s.score.doc.unitCount;
        const int current = s.selection.currentUnit;
        Colour c = kOff;
        std::string label = t.label ? t.label : "";
        const int unit = static_cast<int>(b) - static_cast<int>(Button::kUnit1);
        const int link = static_cast<int>(b) - static_cast<int>(Button::kLink1);
        if (unit >= 0 && unit < 4) {
            if (unit >= unitCount) return;
            c = unit == current ? kAccent : kOff;
        } else if (link >= 0 && link < 4) {
            if (link >= unitCount) return;
            c = s.score.doc.unitLinks[current][link] ? kLit : kOff;
        } else if (b == Button::kSequencer) {
            const bool follow = followingHost();
            label = follow ? "Follow Host" : "Sequencer Off";
            c = follow ? kLit : kOff;
        } else if (b == Button::kLocalOff) {
            const bool off = core_.parameterValue(velmor::kFirstLocalOffParameter + static_cast<uint32_t>(current)) != 0;
            label = off ? "Local Off" : "Local On";
            c = off ? kAccent : kOff;
        } else if (b == Button::kPlay) {
            if (!core_.ownTransport()) return;
            label = core_.playing() ? "Stop" : "Play";
            if (followingHost()) {
                box(t.box, kPanel, label, kDim);
                return;
            }
            c = core_.playing() ? kAccent : kOff;
        } else if (b == Button::kSongMode) {
            c = velmor::songModeOn(s) ? kLit : kOff;
        } else if (b == Button::kPresetName) {
            label = message_.empty() ? presets_.name(preset_) : message_;
            if (naming_ != Naming::kNone) {
                label = (naming_ == Naming::kPreset ? "Preset name: " : "Save as: ") + typed_ + "_";
                c = kBackground;
            }
        } else if (b == Button::kUndo || b == Button::kRedo) {
            const char* name = b == Button::kUndo ? velmor::undoName(s) : velmor::redoName(s);
            if (!name) {
                box(t.box, kPanel, label, kDim);
                return;
            }
        }
        box(t.box, c, label);
        if (b == Button::kZoomOut) text(915, 29, std::to_string(zoom_) + " %", 13, kText, ALIGN_CENTER);
    }

    void drawKnob(const velmor::Synth& s, int knob) {
        const Box b = velmor::knobBox(knob);
        const velmor::Param p = velmor::knobParam(knob);
        const velmor::ParameterTraits& t = velmor::parameterTraits(p);
        const int32_t v = velmor::knobValue(s, knob);
        const bool greyed = p == velmor::Param::kTempo && followingHost();
        const float cx = b.x + b.w / 2, cy = b.y + 32, r = 14;
        const float range = static_cast<float>(t.maximum - t.minimum);
        const float at = range > 0 ? static_cast<float>(v - t.minimum) / range : 0;
        constexpr float kFrom = 0.75f * 3.14159265f, kSweep = 1.5f * 3.14159265f;
        text(cx, b.y + 12, t.name, 12, greyed ? kDim : kText, ALIGN_CENTER);
        beginPath();
        arc(cx, cy, r, kFrom, kFrom + kSweep, CW);
        strokeColor(kOff.r, kOff.g, kOff.b);
        strokeWidth(4);
        stroke();
        beginPath();
        arc(cx, cy, r, kFrom, kFrom + kSweep * std::max(at, 0.001f), CW);
        const Colour ink = greyed ? kDim : kAccent;
        strokeColor(ink.r, ink.g, ink.b);
        stroke();
        text(cx, b.y + 62, velmor::valueText(p, v), 12, greyed ? kDim : kText, ALIGN_CENTER);
    }

    void drawPattern(const velmor::Synth& s) {
        const Box number = velmor::patternNumberBox();
        box(number, kBackground, std::to_string(s.score.derived.currentPattern + 1));
        const int playing = drawnStep_;
        for (int i = 0; i < velmor::kEditorSteps; ++i) {
            const Box n = velmor::stepNumberBox(i);
            text(n.x + n.w / 2, n.y + 12, std::to_string(i + 1), 12, playing == i + 1 ? kLit : kDim, ALIGN_CENTER);
            const bool on = velmor::stepNoteOn(s, i);
            box(velmor::stepBox(i, StepRow::kPitch), i == focus_.step ? kPanel : kBackground,
                velmor::noteName(velmor::stepPitch(s, i)), on ? kText : kDim);
            if (i == focus_.step) {
                const Box f = velmor::stepBox(i, StepRow::kPitch);
                beginPath();
                roundedRect(f.x, f.y, f.w, f.h, 4);
                strokeColor(kLit.r, kLit.g, kLit.b);
                strokeWidth(1.5f);
                stroke();
            }
            box(velmor::stepBox(i, StepRow::kNote), on ? kAccent : kOff, on ? "Note" : "-");
            box(velmor::stepBox(i, StepRow::kSlide), velmor::stepSlide(s, i) ? kLit : kOff, "Slide");
            box(velmor::stepBox(i, StepRow::kAccent), velmor::stepAccent(s, i) ? kAccent : kOff, "Acc");
        }
    }

    void drawSong(const velmor::Synth& s) {
        const int first = velmor::firstShownPosition(s, focus_);
        const int count = velmor::songPositions(s);
        const velmor::PlayingPlace place = velmor::playingPlace(s);
        for (int i = 0; i < velmor::kShownPositions && first + i < count; ++i) {
            const int position = first + i;
            const Colour c = position == focus_.position ? kAccent : place.position == position + 1 ? kLit : kBackground;
            box(velmor::positionBox(i), c, std::to_string(velmor::songPattern(s, position) + 1));
        }
    }

    velmor::PluginCore& core_;
    velmor::EditorFocus focus_;
    velmor::EditorPresets presets_;
    int preset_ = -1;
    int zoom_ = 100;
    bool zoomPending_ = false;
    std::string message_;
    bool browsingSave_ = false;
    bool listing_ = false;
    Naming naming_ = Naming::kNone;
    std::string typed_;
    Hit drag_, lastClick_;
    uint lastClickTime_ = 0;
    float dragY_ = 0;
    int32_t dragStart_ = 0;
    uint32_t drawnChanges_ = ~0u;
    int drawnStep_ = -1;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VelmorEditor)
};

}  // namespace

UI* createUI() { return new VelmorEditor(); }

END_NAMESPACE_DISTRHO
