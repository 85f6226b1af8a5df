#pragma once
// The editor as a child of a host's window, for the formats the framework
// does not wrap (CLAP and VST3): made on the host's main thread, fed there
// by the host's timer, its size in physical pixels. Parameter indices are
// the core's; what the editor changes reaches the host through `Host`. A
// scale of 0 is the host's silence: the system's on Windows.

#include <cstdint>
#include <memory>

#include "plugin/plugin_core.h"

namespace velmor {

class EditorWindow {
public:
    struct Host {
        void* context = nullptr;
        // A parameter the editor changed, and the start and end of a drag.
        void (*tell)(void* context, uint32_t index, float value) = nullptr;
        void (*gesture)(void* context, uint32_t index, bool begin) = nullptr;
        // The editor asks for a new size (its zoom); true if the host agreed.
        bool (*resize)(void* context, uint32_t width, uint32_t height) = nullptr;
    };

    // `parent`: the host's window (an X11 window id, an HWND).
    EditorWindow(PluginCore& core, uintptr_t parent, double scale, const Host& host);
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // The editor's size at a scale, before it is made.
    static void defaultSize(double scale, uint32_t& width, uint32_t& height);
    // A size brought to the editor's proportions and least size.
    static void adjustSize(double scale, uint32_t& width, uint32_t& height);

    uint32_t width() const;
    uint32_t height() const;
    void setSize(uint32_t width, uint32_t height);
    void setScale(double scale);
    void setVisible(bool visible);
    // Events, and a redraw where something changed.
    void idle();
    // For a host without a timer for it (VST3 on Windows): the system's
    // timer calls idle() every so many milliseconds. Nothing elsewhere.
    void idleByItself(uint32_t milliseconds);
    // The host changed a parameter.
    void parameterChanged(uint32_t index, float value);

private:
    struct Window;
    std::unique_ptr<Window> window_;
};

}  // namespace velmor
