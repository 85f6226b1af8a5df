#pragma once
// One instance of the CLAP plugin: the plugin core, and what the layer
// between host and core keeps beside it.

#include <atomic>
#include <memory>
#include <string>

#include "clap/ext/gui.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/timer-support.h"
#include "clap/host.h"
#include "clap/plugin.h"
#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"

namespace velmor {

class EditorWindow;

// The parameter ids: the read-only "Step" first, then the core's
// parameters from 1 on (the ids the plugin has always had, which hosts
// keep in their projects).
constexpr clap_id kStepParameterId = 0;
constexpr clap_id kFirstCoreParameterId = 1;

struct ClapInstance {
    clap_plugin_t plugin{};
    const clap_host_t* host = nullptr;
    const clap_host_latency_t* hostLatency = nullptr;
    const clap_host_params_t* hostParams = nullptr;

    std::unique_ptr<PluginCore> core;
    double rate = PluginCore::kEngineRate;
    uint32_t latencyTold = 0;  // the latency the host last heard of

    // Values set from the main thread (a loaded state, a flush outside
    // process()), taken in at the next block's first frame; they read back
    // at once.
    AskedParameters asked;

    // The audio thread's events of one block.
    std::unique_ptr<HostEvent[]> events;

    // The step the sequencer plays (1 to 16), for the main thread, and the
    // one last sent to the host.
    std::atomic<float> step{1};
    float stepSent = 0;

    std::string file;  // the "file" of the last state loaded (main thread)

    // The editor, while the host shows it (main thread), and the
    // parameters it changed, which the next block or flush tells the host.
    const clap_host_gui_t* hostGui = nullptr;
    const clap_host_timer_support_t* hostTimer = nullptr;
    std::unique_ptr<EditorWindow> editor;
    double editorScale = 0;
    clap_id editorTimer = CLAP_INVALID_ID;
    std::unique_ptr<std::atomic<bool>[]> toldByEditor;
    // A drag's start and end, for each parameter: the host records
    // automation between them.
    static constexpr uint8_t kGestureBegins = 1, kGestureEnds = 2;
    std::unique_ptr<std::atomic<uint8_t>[]> editorGestures;
    std::atomic<bool> editorPending{false};  // any of the above is set

    ClapInstance();
    ~ClapInstance();
};

inline ClapInstance& instanceOf(const clap_plugin_t* plugin) { return *static_cast<ClapInstance*>(plugin->plugin_data); }

}  // namespace velmor
