#pragma once
// The editor in a host's window on an X display, whatever the format: at a
// scale it is drawn (a picture under the folder given) with the layout in
// place, clicks and a drag with real X input (XTest) give the state and
// the next block that the same edits made directly give, the host hears of
// the parameter changed, and a host's change shows in the next picture.
// Opened and closed many times, the memory it holds stays flat.

#include <string>

#include "host_checks.h"

namespace velmor::hosttest {

void runEditorChecks(const Format& format, double scale, const std::string& pictures);
void runReopenCheck(const Format& format, int times);
// What editorAsked() asks.
void runAskedEditorChecks(const Format& format);

}  // namespace velmor::hosttest
