#include "plugin/clap/clap_gui.h"

#include <cstring>

#include "plugin/editor/editor_window.h"
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

constexpr uint32_t kIdleMs = 30;
#ifdef _WIN32
constexpr const char* kApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kApi = CLAP_WINDOW_API_X11;
#endif

bool CLAP_ABI isApiSupported(const clap_plugin_t*, const char* api, bool floating) {
    return !floating && api && std::strcmp(api, kApi) == 0;
}

bool CLAP_ABI preferredApi(const clap_plugin_t*, const char** api, bool* floating) {
    *api = kApi;
    *floating = false;
    return true;
}

// The editor is made when the host gives it a parent.
bool CLAP_ABI create(const clap_plugin_t* plugin, const char* api, bool floating) {
    return isApiSupported(plugin, api, floating) && instanceOf(plugin).hostTimer;
}

void CLAP_ABI destroy(const clap_plugin_t* plugin) {
    ClapInstance& v = instanceOf(plugin);
    if (v.editorTimer != CLAP_INVALID_ID) v.hostTimer->unregister_timer(v.host, v.editorTimer);
    v.editorTimer = CLAP_INVALID_ID;
    v.editor.reset();
}

bool CLAP_ABI setScale(const clap_plugin_t* plugin, double scale) {
    ClapInstance& v = instanceOf(plugin);
    v.editorScale = scale;
    if (v.editor) v.editor->setScale(scale);
    return true;
}

bool CLAP_ABI getSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    const ClapInstance& v = instanceOf(plugin);
    if (v.editor) {
        *width = v.editor->width();
        *height = v.editor->height();
    } else {
        EditorWindow::defaultSize(v.editorScale, *width, *height);
    }
    return true;
}

bool CLAP_ABI canResize(const clap_plugin_t*) { return true; }

bool CLAP_ABI resizeHints(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints) {
    uint32_t w = 0, h = 0;
    EditorWindow::defaultSize(instanceOf(plugin).editorScale, w, h);
    *hints = {true, true, true, w, h};
    return true;
}

bool CLAP_ABI adjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    EditorWindow::adjustSize(instanceOf(plugin).editorScale, *width, *height);
    return true;
}

bool CLAP_ABI setSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
    ClapInstance& v = instanceOf(plugin);
    if (v.editor) v.editor->setSize(width, height);
    return true;
}

// Something for the host waits: the next block or flush sends it.
void toldSomething(ClapInstance& v) {
    v.editorPending.store(true, std::memory_order_release);
    if (v.hostParams) v.hostParams->request_flush(v.host);
}

void tell(void* context, uint32_t index, float value) {
    auto& v = *static_cast<ClapInstance*>(context);
    // Sequencer and Local Off live in the host's parameters alone; the
    // others the editor's edit has already changed.
    if (!parameterInPattern(index)) v.asked.ask(index, value);
    v.toldByEditor[index].store(true, std::memory_order_release);
    toldSomething(v);
}

void gesture(void* context, uint32_t index, bool begin) {
    auto& v = *static_cast<ClapInstance*>(context);
    v.editorGestures[index].fetch_or(begin ? ClapInstance::kGestureBegins : ClapInstance::kGestureEnds,
                                     std::memory_order_release);
    toldSomething(v);
}

bool resize(void* context, uint32_t width, uint32_t height) {
    auto& v = *static_cast<ClapInstance*>(context);
    return v.hostGui && v.hostGui->request_resize(v.host, width, height);
}

bool CLAP_ABI setParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    ClapInstance& v = instanceOf(plugin);
    if (v.editor || !window) return false;
    EditorWindow::Host host;
    host.context = &v;
    host.tell = tell;
    host.gesture = gesture;
    host.resize = resize;
#ifdef _WIN32
    const auto parent = reinterpret_cast<uintptr_t>(window->win32);
#else
    const auto parent = static_cast<uintptr_t>(window->x11);
#endif
    v.editor = std::make_unique<EditorWindow>(*v.core, parent, v.editorScale, host);
    return true;
}

bool CLAP_ABI setTransient(const clap_plugin_t*, const clap_window_t*) { return false; }
void CLAP_ABI suggestTitle(const clap_plugin_t*, const char*) {}

bool CLAP_ABI show(const clap_plugin_t* plugin) {
    ClapInstance& v = instanceOf(plugin);
    if (!v.editor) return false;
    v.editor->setVisible(true);
    if (v.editorTimer == CLAP_INVALID_ID) v.hostTimer->register_timer(v.host, kIdleMs, &v.editorTimer);
    return true;
}

bool CLAP_ABI hide(const clap_plugin_t* plugin) {
    ClapInstance& v = instanceOf(plugin);
    if (v.editor) v.editor->setVisible(false);
    if (v.editorTimer != CLAP_INVALID_ID) v.hostTimer->unregister_timer(v.host, v.editorTimer);
    v.editorTimer = CLAP_INVALID_ID;
    return true;
}

void CLAP_ABI onTimer(const clap_plugin_t* plugin, clap_id timer) {
    ClapInstance& v = instanceOf(plugin);
    if (v.editor && timer == v.editorTimer) v.editor->idle();
}

}  // namespace

const clap_plugin_gui_t kClapGui = {isApiSupported, preferredApi, create,       destroy,    setScale,
                                    getSize,        canResize,    resizeHints,  adjustSize, setSize,
                                    setParent,      setTransient, suggestTitle, show,       hide};
const clap_plugin_timer_support_t kClapTimer = {onTimer};

void tellEditorChanges(ClapInstance& v, const clap_output_events_t* out, uint32_t frame) {
    // A block with nothing from the editor looks no further.
    if (!out || !v.editorPending.exchange(false, std::memory_order_acquire)) return;
    const auto push = [&](uint16_t type, uint32_t i) {
        const clap_event_param_gesture_t e{{sizeof e, frame, CLAP_CORE_EVENT_SPACE_ID, type, 0}, kFirstCoreParameterId + i};
        return out->try_push(out, &e.header);
    };
    // For each parameter: a drag's start, its value, a drag's end.
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        const uint8_t gestures = v.editorGestures[i].exchange(0, std::memory_order_acquire);
        if (gestures & ClapInstance::kGestureBegins) push(CLAP_EVENT_PARAM_GESTURE_BEGIN, i);
        if (v.toldByEditor[i].load(std::memory_order_acquire)) {
            const clap_event_param_value_t e{{sizeof e, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0},
                                             kFirstCoreParameterId + i,
                                             nullptr,
                                             -1,
                                             -1,
                                             -1,
                                             -1,
                                             v.asked.shown(*v.core, i)};
            if (out->try_push(out, &e.header))
                v.toldByEditor[i].store(false, std::memory_order_relaxed);
            else
                v.editorPending.store(true, std::memory_order_relaxed);  // the next block tries again
        }
        if (gestures & ClapInstance::kGestureEnds) push(CLAP_EVENT_PARAM_GESTURE_END, i);
    }
}

}  // namespace velmor
