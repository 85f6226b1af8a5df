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
// Two instances' editors open at once, each changing its own.
void checkTwoEditors(const Format& format);
// The share of a core the host's process takes with the editor open and
// idle, and open while the sequencer plays at 180 BPM (printed).
void measureEditorCpu(const Format& format, double seconds);
// What editorAsked() asks (with --reopen, the two editors too).
void runAskedEditorChecks(const Format& format);

}  // namespace velmor::hosttest
