#include "plugin/editor/editor_window.h"

#include <algorithm>
#include <cmath>

#ifdef _WIN32
#include <windows.h>
#endif

#include "DistrhoUIInternal.hpp"
#include "plugin/editor/editor_core.h"
#include "plugin/editor/editor_layout.h"

namespace velmor {

// CLAP's and VST3's instance pointer is the core itself.
PluginCore& editorCore(void* instance) { return *static_cast<PluginCore*>(instance); }

namespace {

// The framework's parameter 0 is "Step"; the core's follow from 1 on.
constexpr uint32_t kFirstCoreParameter = 1;

// A scale the host did not tell (0): on Windows the system's, its screens'
// pixels per inch over 96; elsewhere the framework's own guess stays.
double effectiveScale(double scale) {
#ifdef _WIN32
    if (scale > 0) return scale;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi / 96.0 : 1.0;
#else
    return scale;
#endif
}

}  // namespace

struct EditorWindow::Window
#ifdef _WIN32
    : DGL_NAMESPACE::IdleCallback
#endif
{
    Host host;
    std::unique_ptr<DISTRHO::UIExporter> ui;
#ifdef _WIN32
    bool idlingByItself = false;
    void idleCallback() override { ui->idleFromNativeIdle(); }
#endif

    static void edit(void* self, uint32_t index, bool started) {
        const Host& h = static_cast<Window*>(self)->host;
        if (index >= kFirstCoreParameter && h.gesture) h.gesture(h.context, index - kFirstCoreParameter, started);
    }
    static void set(void* self, uint32_t index, float value) {
        const Host& h = static_cast<Window*>(self)->host;
        if (index >= kFirstCoreParameter && h.tell) h.tell(h.context, index - kFirstCoreParameter, value);
    }
    static void setState(void*, const char*, const char*) {}
    static void sendNote(void*, uint8_t, uint8_t, uint8_t) {}
    static void setSize(void* self, uint width, uint height) {
        auto& w = *static_cast<Window*>(self);
        if (w.host.resize && w.host.resize(w.host.context, width, height)) w.ui->setWindowSizeFromHost(width, height);
    }
    static bool fileRequest(void*, const char*) { return false; }
};

EditorWindow::EditorWindow(PluginCore& core, uintptr_t parent, double scale, const Host& host) : window_(new Window) {
    window_->host = host;
    window_->ui = std::make_unique<DISTRHO::UIExporter>(window_.get(), parent, PluginCore::kEngineRate, Window::edit, Window::set,
                                                        Window::setState, Window::sendNote, Window::setSize, Window::fileRequest,
                                                        nullptr, &core, effectiveScale(scale));
}

EditorWindow::~EditorWindow() {
#ifdef _WIN32
    if (window_->idlingByItself) window_->ui->removeIdleCallbackForNativeIdle(window_.get());
#endif
}

void EditorWindow::idleByItself(uint32_t milliseconds) {
#ifdef _WIN32
    if (window_->idlingByItself) return;
    window_->ui->addIdleCallbackForNativeIdle(window_.get(), milliseconds);
    window_->idlingByItself = true;
#else
    (void)milliseconds;
#endif
}

void EditorWindow::defaultSize(double scale, uint32_t& width, uint32_t& height) {
    const double k = effectiveScale(scale) > 0 ? effectiveScale(scale) : 1.0;
    width = static_cast<uint32_t>(std::lround(kEditorWidth * k));
    height = static_cast<uint32_t>(std::lround(kEditorHeight * k));
}

void EditorWindow::adjustSize(double scale, uint32_t& width, uint32_t& height) {
    uint32_t least = 0, leastHeight = 0;
    defaultSize(scale, least, leastHeight);
    const double k = std::max({static_cast<double>(width) / kEditorWidth, static_cast<double>(height) / kEditorHeight,
                               static_cast<double>(least) / kEditorWidth});
    width = static_cast<uint32_t>(std::lround(kEditorWidth * k));
    height = static_cast<uint32_t>(std::lround(kEditorHeight * k));
}

uint32_t EditorWindow::width() const { return window_->ui->getWidth(); }
uint32_t EditorWindow::height() const { return window_->ui->getHeight(); }
void EditorWindow::setSize(uint32_t width, uint32_t height) { window_->ui->setWindowSizeFromHost(width, height); }
void EditorWindow::setScale(double scale) { window_->ui->notifyScaleFactorChanged(effectiveScale(scale)); }
void EditorWindow::setVisible(bool visible) { window_->ui->setWindowVisible(visible); }
void EditorWindow::idle() { window_->ui->plugin_idle(); }

void EditorWindow::parameterChanged(uint32_t index, float value) {
    window_->ui->parameterChanged(kFirstCoreParameter + index, value);
}

}  // namespace velmor
