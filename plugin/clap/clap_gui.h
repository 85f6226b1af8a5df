#pragma once
// The CLAP editor: the plugin's editor window as a child of the host's
// (X11 on Linux, Win32 on Windows), fed by the host's timer; what it
// changes reaches the host as parameter events.

#include "clap/ext/gui.h"
#include "clap/ext/timer-support.h"
#include "clap/events.h"
#include "plugin/clap/clap_instance.h"

namespace velmor {

extern const clap_plugin_gui_t kClapGui;
extern const clap_plugin_timer_support_t kClapTimer;

// The parameters the editor changed since the last call, as events.
void tellEditorChanges(ClapInstance& v, const clap_output_events_t* out, uint32_t frame);

}  // namespace velmor
