#pragma once
// The VST3 editor: a plug view that holds the plugin's editor window as a
// child of the host's (X11 on Linux), fed by the host's run loop; what it
// changes reaches the host through the component handler.

#include "plugin/vst3/vst3_instance.h"
#include "travesty/view.h"

namespace velmor {

// A new view of the instance (the host holds the one reference), or null
// for a kind of view other than "editor".
v3_plugin_view** createEditorView(Vst3Instance& v, const char* name);

}  // namespace velmor
