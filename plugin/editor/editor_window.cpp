#include "plugin/editor/editor_window.h"

#include <algorithm>
#include <cmath>

#include "DistrhoUIInternal.hpp"
#include "plugin/editor/editor_core.h"
#include "plugin/editor/editor_layout.h"

namespace velmor {

// CLAP's and VST3's instance pointer is the core itself.
PluginCore& editorCore(void* instance) { return *static_cast<PluginCore*>(instance); }

namespace {

// The framework's parameter 0 is "Step"; the core's follow from 1 on.
constexpr uint32_t kFirstCoreParameter = 1;

}  // namespace

struct EditorWindow::Window {
    Host host;
    std::unique_ptr<DISTRHO::UIExporter> ui;

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

EditorWindow::EditorWindow(PluginCore& core, uintptr_t parent, double scale, const Host& host) : window_(new Window{host, {}}) {
    window_->ui = std::make_unique<DISTRHO::UIExporter>(window_.get(), parent, PluginCore::kEngineRate, Window::edit, Window::set,
                                                        Window::setState, Window::sendNote, Window::setSize, Window::fileRequest,
                                                        nullptr, &core, scale);
}

EditorWindow::~EditorWindow() = default;

void EditorWindow::defaultSize(double scale, uint32_t& width, uint32_t& height) {
    const double k = scale > 0 ? scale : 1.0;
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
void EditorWindow::setScale(double scale) { window_->ui->notifyScaleFactorChanged(scale); }
void EditorWindow::setVisible(bool visible) { window_->ui->setWindowVisible(visible); }
void EditorWindow::idle() { window_->ui->plugin_idle(); }

void EditorWindow::parameterChanged(uint32_t index, float value) {
    window_->ui->parameterChanged(kFirstCoreParameter + index, value);
}

}  // namespace velmor
