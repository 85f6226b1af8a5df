// The CLAP editor in a host's window on an X display: opened at a scale,
// drawn (a screenshot under the folder given), clicked and dragged with
// real X input (XTest), and checked against a plugin core given the same
// edits directly: the same state, bytes for bytes, and the same next block.
// A host's parameter change shows in the next picture. With --reopen N the
// editor is opened and closed N times: the resident memory stays flat.
//
// usage: velmor-clap-editor PLUGIN.clap SCALE SHOT_FOLDER
//        velmor-clap-editor --reopen N PLUGIN.clap

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "clap/entry.h"
#include "clap/ext/gui.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin-factory.h"
#include "model/parameters.h"
#include "model/step_editor.h"
#include "plugin/editor/editor_actions.h"
#include "plugin/editor/editor_layout.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"

namespace {

using namespace velmor;

int failures = 0;
void check(bool ok, const std::string& what) {
    if (!ok) ++failures;
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
}

clap_id timerId = CLAP_INVALID_ID;
bool CLAP_ABI registerTimer(const clap_host_t*, uint32_t, clap_id* id) { return *id = timerId = 7, true; }
bool CLAP_ABI unregisterTimer(const clap_host_t*, clap_id) { return timerId = CLAP_INVALID_ID, true; }
void CLAP_ABI nothing(const clap_host_t*) {}
void CLAP_ABI rescan(const clap_host_t*, clap_param_rescan_flags) {}
void CLAP_ABI clearParam(const clap_host_t*, clap_id, clap_param_clear_flags) {}
bool CLAP_ABI resizeRequest(const clap_host_t*, uint32_t, uint32_t) { return true; }
bool CLAP_ABI yes(const clap_host_t*) { return true; }
const clap_host_timer_support_t kTimers = {registerTimer, unregisterTimer};
const clap_host_params_t kParams = {rescan, clearParam, nothing};
const clap_host_gui_t kGui = {nothing, resizeRequest, yes, yes, [](const clap_host_t*, bool) {}};

const void* CLAP_ABI extension(const clap_host_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimers;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    return nullptr;
}
const clap_host_t kHost = {CLAP_VERSION_INIT, nullptr, "Velmor editor test", "Velmor", "", "1", extension, nothing, nothing, nothing};

// The parameter values the plugin reported, by id.
std::vector<std::pair<clap_id, double>> reported;
bool CLAP_ABI keep(const clap_output_events_t*, const clap_event_header_t* e) {
    if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* p = reinterpret_cast<const clap_event_param_value_t*>(e);
        reported.emplace_back(p->param_id, p->value);
    }
    return true;
}
const clap_output_events_t kOut = {nullptr, keep};

struct Events {
    std::vector<clap_event_param_value_t> values;
    static uint32_t CLAP_ABI size(const clap_input_events_t* l) { return static_cast<uint32_t>(static_cast<Events*>(l->ctx)->values.size()); }
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* l, uint32_t i) {
        return &static_cast<Events*>(l->ctx)->values[i].header;
    }
    clap_input_events_t list{this, size, get};
};

struct Plugin {
    const clap_plugin_t* p = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;

    std::string saved() const {
        std::string bytes;
        clap_ostream_t out{&bytes, [](const clap_ostream_t* s, const void* b, uint64_t n) -> int64_t {
                               static_cast<std::string*>(s->ctx)->append(static_cast<const char*>(b), n);
                               return static_cast<int64_t>(n);
                           }};
        state->save(p, &out);
        return bytes;
    }
    // One block, with host parameter values at its first frame.
    std::vector<float> block(Events* events = nullptr) const {
        std::vector<float> left(512), right(512);
        float* channels[2] = {left.data(), right.data()};
        clap_audio_buffer_t out{channels, nullptr, 2, 0, 0};
        Events none;
        clap_process_t process{0, 512, nullptr, nullptr, &out, 0, 1, &(events ? events : &none)->list, &kOut};
        p->process(p, &process);
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }
};

Plugin load(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) std::fprintf(stderr, "%s\n", dlerror()), std::exit(2);
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    entry->init(path);
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    Plugin v;
    v.p = factory->create_plugin(factory, &kHost, "velmor.velmor");
    v.p->init(v.p);
    v.gui = static_cast<const clap_plugin_gui_t*>(v.p->get_extension(v.p, CLAP_EXT_GUI));
    v.timer = static_cast<const clap_plugin_timer_support_t*>(v.p->get_extension(v.p, CLAP_EXT_TIMER_SUPPORT));
    v.params = static_cast<const clap_plugin_params_t*>(v.p->get_extension(v.p, CLAP_EXT_PARAMS));
    v.state = static_cast<const clap_plugin_state_t*>(v.p->get_extension(v.p, CLAP_EXT_STATE));
    v.p->activate(v.p, PluginCore::kEngineRate, 1, 512);
    v.p->start_processing(v.p);
    return v;
}

struct XDisplay {
    Display* display = XOpenDisplay(nullptr);
    Window parent = 0;
    uint32_t width = 0, height = 0;

    // The host's window, the editor in it.
    void open(const Plugin& v, double scale, int settling = 8) {
        v.gui->create(v.p, CLAP_WINDOW_API_X11, false);
        v.gui->set_scale(v.p, scale);
        v.gui->get_size(v.p, &width, &height);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        clap_window_t w{CLAP_WINDOW_API_X11, {}};
        w.x11 = parent;
        v.gui->set_parent(v.p, &w);
        v.gui->show(v.p);
        settle(v, settling);
    }
    void close(const Plugin& v) {
        v.gui->hide(v.p);
        v.gui->destroy(v.p);
        XDestroyWindow(display, parent);
        XSync(display, False);
    }
    // The host's timer, a few times over.
    void settle(const Plugin& v, int times = 8) {
        for (int i = 0; i < times; ++i) {
            XSync(display, False);
            if (timerId != CLAP_INVALID_ID) v.timer->on_timer(v.p, timerId);
            usleep(20000);
        }
    }
    std::vector<uint8_t> picture() {
        XImage* image = XGetImage(display, parent, 0, 0, width, height, AllPlanes, ZPixmap);
        std::vector<uint8_t> rgb;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
                rgb.insert(rgb.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)});
            }
        XDestroyImage(image);
        return rgb;
    }
    void save(const std::vector<uint8_t>& rgb, const std::string& path) const {
        std::ofstream f(path, std::ios::binary);
        f << "P6\n" << width << " " << height << "\n255\n";
        f.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    }
    // A press at a point of the design, a move up by `up` design units, a release.
    void drag(const Plugin& v, float x, float y, float up, double k) {
        XTestFakeMotionEvent(display, -1, static_cast<int>(x * k), static_cast<int>(y * k), 0);
        settle(v, 2);
        XTestFakeButtonEvent(display, 1, True, 0);
        settle(v, 2);
        if (up != 0) {
            XTestFakeMotionEvent(display, -1, static_cast<int>(x * k), static_cast<int>((y - up) * k), 0);
            settle(v, 2);
        }
        XTestFakeButtonEvent(display, 1, False, 0);
        settle(v, 3);
    }
};

int distinctColours(const std::vector<uint8_t>& rgb) {
    std::vector<bool> seen(1 << 15);
    int n = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const int c = (rgb[i] >> 3) << 10 | (rgb[i + 1] >> 3) << 5 | rgb[i + 2] >> 3;
        if (!seen[c]) seen[c] = true, ++n;
    }
    return n;
}

// The colour at a point of the design, in a picture at scale k.
uint32_t colourAt(const std::vector<uint8_t>& rgb, uint32_t width, float x, float y, double k) {
    const size_t at = (static_cast<size_t>(y * k) * width + static_cast<size_t>(x * k)) * 3;
    return static_cast<uint32_t>(rgb[at]) << 16 | rgb[at + 1] << 8 | rgb[at + 2];
}

long residentKiB() {
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The memory the process holds after opening and closing the editor
// `times` times, against the tenth time: what stays allocated (malloc's
// count) must stay within 1 MiB. What stays resident is printed: Mesa's
// software renderer (compiling the drawing's shaders for each window)
// keeps mappings of its own that a graphics card's driver would not.
int reopen(const char* path, int times) {
    Plugin v = load(path);
    XDisplay screen;
    long resident = 0;
    size_t inUse = 0;
    for (int i = 0; i < times; ++i) {
        screen.open(v, 1, 1);
        screen.close(v);
        if (i == 9) malloc_trim(0), resident = residentKiB(), inUse = mallinfo2().uordblks;
    }
    malloc_trim(0);
    const long held = static_cast<long>(mallinfo2().uordblks - inUse) / 1024, grown = residentKiB() - resident;
    check(held < 1024, "opened and closed " + std::to_string(times) + " times: after the tenth, " + std::to_string(held) + " KiB more allocated, " +
                           std::to_string(grown) + " KiB more resident");
    v.p->destroy(v.p);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--reopen") == 0) return reopen(argv[3], std::atoi(argv[2]));
    if (argc != 4) return std::fprintf(stderr, "usage: velmor-clap-editor PLUGIN.clap SCALE SHOT_FOLDER\n"), 2;
    const double k = std::atof(argv[2]);
    const std::string shots = std::string(argv[3]) + "/editor-" + argv[2] + "x";
    Plugin v = load(argv[1]);
    XDisplay screen;
    if (!screen.display) return std::fprintf(stderr, "no X display\n"), 2;
    screen.open(v, k);
    check(screen.width == static_cast<uint32_t>(kEditorWidth * k) && screen.height == static_cast<uint32_t>(kEditorHeight * k),
          "the editor's size at scale " + std::string(argv[2]) + ": " + std::to_string(screen.width) + "x" + std::to_string(screen.height));
    const auto first = screen.picture();
    screen.save(first, shots + ".ppm");
    check(distinctColours(first) > 20, "the picture is drawn (" + std::to_string(distinctColours(first)) + " colours)");
    // The layout, wherever the scale puts it: a step's note switch (on) and
    // slide switch (off) in their colours, a panel's face, the background.
    const Box note = stepBox(2, StepRow::kNote), slide = stepBox(2, StepRow::kSlide);
    check(colourAt(first, screen.width, note.x + 5, note.y + note.h / 2, k) == 0xff9828 &&
              colourAt(first, screen.width, slide.x + 5, slide.y + slide.h / 2, k) == 0x3e424a && colourAt(first, screen.width, 4, 4, k) == 0x1e2024,
          "the layout's colours where the layout puts them");

    // A click on step 3's note switch, a drag of the cutoff knob up by 50,
    // a click on step 5's accent: as the same edits given directly.
    const Box cutoff = knobBox(13);
    const Box accent = stepBox(4, StepRow::kAccent);
    screen.drag(v, note.x + note.w / 2, note.y + note.h / 2, 0, k);
    screen.drag(v, cutoff.x + cutoff.w / 2, cutoff.y + 32, 50, k);
    screen.drag(v, accent.x + accent.w / 2, accent.y + accent.h / 2, 0, k);
    PluginCore reference(PluginCore::kEngineRate);
    Synth& s = reference.editModel();
    clickStep(s, 2, StepRow::kNote);
    setKnob(s, 13, dragValue(knobParam(13), knobValue(s, 13), 50, false));
    clickStep(s, 4, StepRow::kAccent);
    check(v.saved().find(reference.state()) != std::string::npos, "the state holds the pattern the same edits give");
    const uint32_t cutoffId = 1 + pluginIndexOf(0, Param::kCutoff);
    double value = 0;
    v.params->get_value(v.p, cutoffId, &value);
    check(value == reference.parameterValue(cutoffId - 1), "Unit 1 Cutoff reads " + std::to_string(value) + " to the host");
    reported.clear();
    std::vector<float> reference0(1024);
    reference.process(reference0.data(), reference0.data() + 512, 512, nullptr, 0, HostTime{});
    const std::vector<float> heard = v.block();
    check(std::equal(heard.begin(), heard.end(), reference0.begin()), "the next block sounds as the same edits given directly");
    bool told = false;
    for (const auto& [id, x] : reported) told |= id == cutoffId && x == value;
    check(told, "the host heard of the cutoff's new value");

    // The host moves the cutoff: the knob follows in the next picture.
    Events events;
    clap_event_param_value_t e{{sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0}, cutoffId, nullptr, -1, -1, -1, -1, 0};
    events.values.push_back(e);
    const auto before = screen.picture();
    v.block(&events);
    screen.settle(v);
    const auto after = screen.picture();
    screen.save(after, shots + "-automated.ppm");
    const float arcX = cutoff.x + cutoff.w / 2 + 10, arcY = cutoff.y + 22;
    check(colourAt(before, screen.width, arcX, arcY, k) != colourAt(after, screen.width, arcX, arcY, k),
          "the cutoff knob moved with the host's change");
    screen.close(v);
    v.p->destroy(v.p);
    return failures == 0 ? 0 : 1;
}
