#include "plugin/vst3/vst3_view.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "plugin/editor/editor_window.h"
#include "plugin/plugin_parameters.h"
#include "plugin/vst3/vst3_events.h"

namespace velmor {

namespace {

constexpr uint64_t kIdleMs = 30;

struct View;

template <class Functions>
struct ViewFace {
    const Functions* functions;
    View* view;
};

struct View {
    ViewFace<v3_plugin_view_cpp> plugView;
    ViewFace<v3_plugin_view_content_scale_cpp> contentScale;
    ViewFace<v3_timer_handler_cpp> timer;
    std::atomic<uint32_t> references{1};
    Vst3Instance* instance = nullptr;
    v3_plugin_frame** frame = nullptr;
    v3_run_loop** runLoop = nullptr;
    double scale = 0;
    std::unique_ptr<EditorWindow> editor;
};

View& viewOf(void* face) { return *static_cast<ViewFace<v3_funknown>*>(face)->view; }

void stopTimer(View& w) {
    if (w.runLoop) {
        v3_cpp_obj(w.runLoop)->unregister_timer(w.runLoop, reinterpret_cast<v3_timer_handler**>(&w.timer));
        v3_cpp_obj_unref(w.runLoop);
    }
    w.runLoop = nullptr;
}

v3_result V3_API queryView(void* face, const v3_tuid iid, void** found);
uint32_t V3_API refView(void* face) { return viewOf(face).references.fetch_add(1) + 1; }
uint32_t V3_API unrefView(void* face) {
    View& w = viewOf(face);
    const uint32_t left = w.references.fetch_sub(1) - 1;
    if (left == 0) {
        stopTimer(w);
        w.editor.reset();
        if (w.frame) v3_cpp_obj_unref(w.frame);
        release(&w.instance->controller);
        delete &w;
    }
    return left;
}

#ifdef _WIN32
constexpr const char* kPlatform = V3_VIEW_PLATFORM_TYPE_HWND;
#else
constexpr const char* kPlatform = V3_VIEW_PLATFORM_TYPE_X11;
#endif

v3_result V3_API platformSupported(void*, const char* type) {
    return type && std::strcmp(type, kPlatform) == 0 ? V3_TRUE : V3_FALSE;
}

// A change within a drag is one edit of it; any other is an edit of its own.
void tell(void* context, uint32_t index, float value) {
    auto& v = *static_cast<Vst3Instance*>(context);
    // Sequencer and Local Off live in the host's parameters alone.
    if (!parameterInPattern(index)) v.asked.ask(index, value);
    if (!v.handler) return;
    const v3_param_id id = kFirstCoreId + index;
    if (!v.editorDrags[index]) v3_cpp_obj(v.handler)->begin_edit(v.handler, id);
    v3_cpp_obj(v.handler)->perform_edit(v.handler, id, normalisedValue(index, value));
    if (!v.editorDrags[index]) v3_cpp_obj(v.handler)->end_edit(v.handler, id);
}

void gesture(void* context, uint32_t index, bool begin) {
    auto& v = *static_cast<Vst3Instance*>(context);
    if (!v.handler || v.editorDrags[index] == begin) return;
    v.editorDrags[index] = begin;
    const v3_param_id id = kFirstCoreId + index;
    if (begin)
        v3_cpp_obj(v.handler)->begin_edit(v.handler, id);
    else
        v3_cpp_obj(v.handler)->end_edit(v.handler, id);
}

v3_result V3_API attached(void* face, void* parent, const char* type) {
    View& w = viewOf(face);
    if (w.editor || !parent || platformSupported(face, type) != V3_TRUE) return V3_FALSE;
    EditorWindow::Host host;
    host.context = w.instance;
    host.tell = tell;
    host.gesture = gesture;
    w.editor = std::make_unique<EditorWindow>(*w.instance->core, reinterpret_cast<uintptr_t>(parent), w.scale, host);
    w.editor->setVisible(true);
    // The host's run loop feeds it (on Linux); without one (on Windows) the
    // system's timer does.
    if (w.frame && v3_cpp_obj_query_interface(w.frame, v3_run_loop_iid, &w.runLoop) == V3_OK && w.runLoop) {
        v3_cpp_obj(w.runLoop)->register_timer(w.runLoop, reinterpret_cast<v3_timer_handler**>(&w.timer), kIdleMs);
    } else {
        w.runLoop = nullptr;
        w.editor->idleByItself(kIdleMs);
    }
    return V3_OK;
}

v3_result V3_API removed(void* face) {
    View& w = viewOf(face);
    stopTimer(w);
    w.editor.reset();
    return V3_OK;
}

v3_result V3_API noInput(void*, float) { return V3_FALSE; }
v3_result V3_API noKey(void*, int16_t, int16_t, int16_t) { return V3_FALSE; }

v3_result V3_API getSize(void* face, v3_view_rect* rect) {
    View& w = viewOf(face);
    uint32_t width = 0, height = 0;
    if (w.editor)
        width = w.editor->width(), height = w.editor->height();
    else
        EditorWindow::defaultSize(w.scale, width, height);
    *rect = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
    return V3_OK;
}

v3_result V3_API onSize(void* face, v3_view_rect* rect) {
    View& w = viewOf(face);
    if (w.editor && rect)
        w.editor->setSize(static_cast<uint32_t>(rect->right - rect->left), static_cast<uint32_t>(rect->bottom - rect->top));
    return V3_OK;
}

v3_result V3_API onFocus(void*, v3_bool) { return V3_OK; }

v3_result V3_API setFrame(void* face, v3_plugin_frame** frame) {
    View& w = viewOf(face);
    if (w.frame) v3_cpp_obj_unref(w.frame);
    w.frame = frame;
    if (frame) v3_cpp_obj_ref(frame);
    return V3_OK;
}

v3_result V3_API canResize(void*) { return V3_TRUE; }

v3_result V3_API checkSize(void* face, v3_view_rect* rect) {
    uint32_t width = static_cast<uint32_t>(rect->right - rect->left), height = static_cast<uint32_t>(rect->bottom - rect->top);
    EditorWindow::adjustSize(viewOf(face).scale, width, height);
    rect->right = rect->left + static_cast<int32_t>(width);
    rect->bottom = rect->top + static_cast<int32_t>(height);
    return V3_OK;
}

v3_result V3_API setScale(void* face, float factor) {
    View& w = viewOf(face);
    w.scale = factor;
    if (w.editor) w.editor->setScale(factor);
    return V3_OK;
}

void V3_API onTimer(void* face) {
    View& w = viewOf(face);
    if (w.editor) w.editor->idle();
}

const v3_plugin_view_cpp kViewFunctions = {
    {queryView, refView, unrefView},
    {platformSupported, attached, removed, noInput, noKey, noKey, getSize, onSize, onFocus, setFrame, canResize, checkSize}};
const v3_plugin_view_content_scale_cpp kScaleFunctions = {{queryView, refView, unrefView}, {setScale}};
const v3_timer_handler_cpp kTimerFunctions = {{queryView, refView, unrefView}, {onTimer}};

v3_result V3_API queryView(void* face, const v3_tuid iid, void** found) {
    View& w = viewOf(face);
    *found = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_view_iid))
        *found = &w.plugView;
    else if (v3_tuid_match(iid, v3_plugin_view_content_scale_iid))
        *found = &w.contentScale;
    else if (v3_tuid_match(iid, v3_timer_handler_iid))
        *found = &w.timer;
    else
        return V3_NO_INTERFACE;
    refView(face);
    return V3_OK;
}

}  // namespace

v3_plugin_view** createEditorView(Vst3Instance& v, const char* name) {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    auto* w = new View;
    w->plugView = {&kViewFunctions, w};
    w->contentScale = {&kScaleFunctions, w};
    w->timer = {&kTimerFunctions, w};
    w->instance = &v;
    // The instance lives as long as its view.
    addReference(&v.controller);
    return reinterpret_cast<v3_plugin_view**>(&w->plugView);
}

}  // namespace velmor
