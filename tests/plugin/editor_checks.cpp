#include "editor_checks.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "model/parameters.h"
#include "plugin/editor/editor_actions.h"
#include "plugin/editor/editor_layout.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "editor_screen.h"

#include <thread>

namespace velmor::hosttest {

namespace {

constexpr int kCutoffKnob = 13;
constexpr uint32_t kFrames = 512;

int distinctColours(const std::vector<uint8_t>& rgb) {
    std::vector<bool> seen(1 << 15);
    int n = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const int c = (rgb[i] >> 3) << 10 | (rgb[i + 1] >> 3) << 5 | rgb[i + 2] >> 3;
        if (!seen[c]) seen[c] = true, ++n;
    }
    return n;
}

std::vector<float> block(Instance& v, const std::vector<ParameterChange>& changes = {}, const std::vector<MidiAt>& keys = {}) {
    std::vector<float> left(kFrames), right(kFrames);
    v.process(left.data(), right.data(), kFrames, keys, changes);
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

}  // namespace

void runEditorChecks(const Format& format, double scale, const std::string& pictures) {
    const std::string at =
        scale < 0 ? " (the system's scale, " + std::to_string(-scale).substr(0, 3) + ")" : " (scale " + std::to_string(scale).substr(0, 3) + ")";
    Screen screen;
    std::unique_ptr<Instance> v = format.create();
    if (!screen.ready() || !v || !v->activate(PluginCore::kEngineRate, kFrames)) return fail("editor: no display or no instance");
    if (!screen.open(*v, scale < 0 ? 0 : scale)) return fail("editor: it does not open" + at);
    const double k = scale < 0 ? -scale : scale;
    if (screen.width() != static_cast<uint32_t>(kEditorWidth * k) || screen.height() != static_cast<uint32_t>(kEditorHeight * k))
        fail("editor: its size is " + std::to_string(screen.width()) + "x" + std::to_string(screen.height()) + at);
    const std::vector<uint8_t> first = screen.picture();
    screen.save(first, pictures + ".ppm");
    if (distinctColours(first) < 20) fail("editor: the picture is blank" + at);
    // The layout where the scale puts it: a step's note switch (on) and
    // slide switch (off) in their colours, the background at the corner.
    const Box note = stepBox(2, StepRow::kNote), slide = stepBox(2, StepRow::kSlide);
    if (screen.colourAt(first, note.x + 5, note.y + note.h / 2, k) != 0xff9828 ||
        screen.colourAt(first, slide.x + 5, slide.y + slide.h / 2, k) != 0x3e424a || screen.colourAt(first, 4, 4, k) != 0x1e2024)
        fail("editor: the layout is not where it belongs" + at);

    // A click on step 3's note switch, the cutoff knob dragged up by 50, a
    // click on step 5's accent: as the same edits given directly.
    const Box cutoff = knobBox(kCutoffKnob), accent = stepBox(4, StepRow::kAccent);
    const uint32_t index = pluginIndexOf(0, Param::kCutoff);
    screen.drag(*v, note.x + note.w / 2, note.y + note.h / 2, 0, k);
    block(*v);  // what the host hears of a first edit, before the drag
    const Instance::Heard earlier = v->heardFromEditor(index);
    screen.drag(*v, cutoff.x + cutoff.w / 2, cutoff.y + 32, 50, k);
    block(*v);
    const Instance::Heard heard = v->heardFromEditor(index);
    screen.drag(*v, accent.x + accent.w / 2, accent.y + accent.h / 2, 0, k);
    PluginCore reference(PluginCore::kEngineRate);
    Synth& s = reference.editModel();
    clickStep(s, 2, StepRow::kNote);
    setKnob(s, kCutoffKnob, dragValue(knobParam(kCutoffKnob), knobValue(s, kCutoffKnob), 50, false));
    clickStep(s, 4, StepRow::kAccent);
    std::string state;
    if (!v->saveState(state) || state.find(reference.state()) == std::string::npos)
        fail("editor: the state does not hold the pattern the same edits give" + at);
    double value = -1, told = -1;
    if (!v->parameterValue(index, value) || value != reference.parameterValue(index))
        fail("editor: Unit 1 Cutoff reads " + std::to_string(value) + " to the host" + at);
    // Two blocks of silence, as the instance played them, then a key: it
    // sounds with the edited cutoff.
    std::vector<float> expected(2 * kFrames);
    HostEvent key;
    noteEvent(0, true, 0, 45, 0.8, key);
    for (int i = 0; i < 3; ++i) reference.process(expected.data(), expected.data() + kFrames, kFrames, &key, i == 2 ? 1 : 0, HostTime{});
    if (block(*v, {}, {{0, {key.midi[0], key.midi[1], key.midi[2]}}}) != expected)
        fail("editor: the next block does not sound as the same edits given directly" + at);
    if (!v->toldByEditor(index, told) || told != value) fail("editor: the host did not hear of the cutoff's new value" + at);
    // The drag, moving in two steps, is one gesture for the host.
    if (heard.begun - earlier.begun != 1 || heard.ended - earlier.ended != 1 || heard.values == earlier.values)
        fail("editor: the host did not hear the cutoff's drag as one gesture" + at);

    // The host moves the cutoff: the knob follows in the next picture.
    const std::vector<uint8_t> before = screen.picture();
    block(*v, {{index, 0}});
    screen.settle(*v);
    const std::vector<uint8_t> after = screen.picture();
    screen.save(after, pictures + "-automated.ppm");
    const float arcX = cutoff.x + cutoff.w / 2 + 10, arcY = cutoff.y + 22;
    if (screen.colourAt(before, arcX, arcY, k) == screen.colourAt(after, arcX, arcY, k))
        fail("editor: the cutoff knob did not move with the host's change" + at);
    screen.close(*v);
}

// Two instances with their editors open side by side: a click in the
// second's changes its pattern alone.
void checkTwoEditors(const Format& format) {
    Screen first, second;
    std::unique_ptr<Instance> a = format.create(), b = format.create();
    const bool r = first.ready() && second.ready() && a && b;
    const bool act = r && a->activate(PluginCore::kEngineRate, kFrames) && b->activate(PluginCore::kEngineRate, kFrames);
    const bool o1 = act && first.open(*a, 1);
    const bool o2 = o1 && second.open(*b, 1, 8, static_cast<int>(kEditorWidth));
    if (!o2)
        return fail(std::string("editor: two do not open at once: ") + (!r     ? "no display or instance"
                                                                        : !act ? "not activated"
                                                                        : !o1  ? "the first does not open"
                                                                               : "the second does not open"));
    const Box note = stepBox(2, StepRow::kNote);
    second.drag(*b, note.x + note.w / 2, note.y + note.h / 2, 0, 1);
    first.settle(*a);
    PluginCore fresh(PluginCore::kEngineRate), edited(PluginCore::kEngineRate);
    clickStep(edited.editModel(), 2, StepRow::kNote);
    std::string stateA, stateB;
    if (!a->saveState(stateA) || !b->saveState(stateB) || stateA.find(fresh.state()) == std::string::npos ||
        stateB.find(edited.state()) == std::string::npos)
        fail("editor: two instances' editors do not work apart");
    second.close(*b);
    first.close(*a);
}

// Against the tenth time: what stays allocated (malloc's count) must stay
// within 1 MiB. What stays resident is printed: Mesa's software renderer,
// compiling the drawing's shaders for each window, keeps mappings of its
// own that a graphics card's driver would not.
void runReopenCheck(const Format& format, int times) {
    Screen screen;
    std::unique_ptr<Instance> v = format.create();
    if (!screen.ready() || !v || !v->activate(PluginCore::kEngineRate, kFrames)) return fail("editor: no display or no instance");
    long resident = 0, inUse = 0;
    for (int i = 0; i < times; ++i) {
        if (!screen.open(*v, 1, 1)) return fail("editor: it does not open again");
        screen.close(*v);
        if (i == 9) resident = residentKiB(), inUse = allocatedBytes();
    }
    const long now = allocatedBytes(), held = inUse < 0 ? 0 : (now - inUse) / 1024;
    std::printf("editor opened and closed %d times: after the tenth, %s more allocated (of %ld KiB), %ld KiB more resident\n", times,
                inUse < 0 ? "(not counted here)" : (std::to_string(held) + " KiB").c_str(), now / 1024, residentKiB() - resident);
    if (held >= 1024) fail("editor: opening and closing it leaks memory");
}

namespace {

// The share of one core the host's process takes over `seconds` of real
// time, the host's timer every 30 ms; `playing`: blocks of 441 frames at
// the pace of real time, the sequencer following a transport at 180 BPM.
double cpuShare(Instance& v, Screen* screen, double seconds, bool playing) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const double cpu = cpuSeconds();
    std::vector<float> left(441), right(441);
    int64_t frame = 0;
    const uint32_t sequencer = kSequencerParameter;
    if (playing) v.process(left.data(), right.data(), 441, {}, {{sequencer, 1}});
    for (auto next = start; next - start < std::chrono::duration<double>(seconds); next += std::chrono::milliseconds(30)) {
        for (; playing && static_cast<double>(frame) < 44100 * std::chrono::duration<double>(next - start).count(); frame += 441) {
            v.setTransport({true, 180, static_cast<double>(frame) * 3 / 44100, frame});
            v.process(left.data(), right.data(), 441, {}, {});
        }
        if (screen) v.idleEditor();
        std::this_thread::sleep_until(next + std::chrono::milliseconds(30));
    }
    return (cpuSeconds() - cpu) / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

void measureEditorCpu(const Format& format, double seconds) {
    Screen screen;
    std::unique_ptr<Instance> v = format.create(), alone = format.create();
    if (!screen.ready() || !v || !alone || !v->activate(PluginCore::kEngineRate, 441) || !alone->activate(PluginCore::kEngineRate, 441) ||
        !screen.open(*v, 1))
        return fail("editor: no display or no instance");
    const double idle = cpuShare(*v, &screen, seconds, false);
    const double playing = cpuShare(*v, &screen, seconds, true);
    screen.close(*v);
    const double audio = cpuShare(*alone, nullptr, seconds, true);
    std::printf("editor open and idle: %.1f %% of a core; open while playing at 180 BPM: %.1f %% (the sound alone: %.1f %%)\n", 100 * idle,
                100 * playing, 100 * audio);
}

void runAskedEditorChecks(const Format& format) {
    if (editorAsked().cpuSeconds > 0) return measureEditorCpu(format, editorAsked().cpuSeconds);
    if (editorAsked().scale != 0) runEditorChecks(format, editorAsked().scale, editorAsked().pictures);
    if (editorAsked().reopen > 0) runReopenCheck(format, editorAsked().reopen), checkTwoEditors(format);
}

}  // namespace velmor::hosttest
