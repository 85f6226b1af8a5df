#include "plugin/standalone/standalone_window.h"

#include "DistrhoUIInternal.hpp"
#include "plugin/editor/editor_core.h"

namespace velmor {

// The editor's instance pointer is the core itself.
PluginCore& editorCore(void* instance) { return *static_cast<PluginCore*>(instance); }

namespace {

// The framework's parameter 0 is "Step"; the core's follow from 1 on.
constexpr uint32_t kFirstCoreParameter = 1;

struct Loop : DGL_NAMESPACE::IdleCallback {
    DISTRHO::UIExporter* ui = nullptr;
    const std::atomic<bool>* quit = nullptr;
    void idleCallback() override {
        if (quit->load()) return ui->quit();
        ui->exec_idle();
    }
};

void edit(void*, uint32_t, bool) {}
void set(void* asked, uint32_t index, float value) {
    if (index >= kFirstCoreParameter) static_cast<AskedParameters*>(asked)->ask(index - kFirstCoreParameter, value);
}
void setState(void*, const char*, const char*) {}
void sendNote(void*, uint8_t, uint8_t, uint8_t) {}
void setSize(void*, uint, uint) {}
bool fileRequest(void*, const char*) { return false; }

}  // namespace

void runWindow(PluginCore& core, AskedParameters& asked, const std::atomic<bool>& quit) {
    DISTRHO::UIExporter ui(&asked, 0, PluginCore::kEngineRate, edit, set, setState, sendNote, setSize, fileRequest, nullptr,
                           &core, 0.0);
    ui.setWindowTitle("Velmor");
    Loop loop;
    loop.ui = &ui;
    loop.quit = &quit;
    ui.exec(&loop);
}

}  // namespace velmor
