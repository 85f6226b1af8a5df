#pragma once
// The life of the unit slots: initialisation, the start-up defaults, the
// "&Velmor" menu's add, delete, copy and paste, the choice of the current
// unit, and the release of the engine buffers. The window shows the tabs and
// messages; these operations change only the model.

#include "model/synth.h"

namespace velmor {

// Obtains the delay line (zeroed) and the unit buffers, gives every slot its
// start values and builds the pitch, wave and filter tables. Returns 1 on
// success, 0 when a buffer cannot be obtained (the unit fields are then
// untouched).
int initialiseUnits(Synth& s);

// The start-up defaults: unitCount 0 then 1 (the first tab) and the default
// position of every control through its setter.
void applyDefaults(Synth& s);

// Brings the next slot into use without selecting it. Returns 1, or 0 when
// four units are already in use ("Maximum # reached"; nothing changes).
int addUnit(Synth& s);

// Removes the current unit, moving the later units down one slot; unit 0
// becomes current. Returns 1, or 0 (nothing changes) with only one unit.
int deleteCurrentUnit(Synth& s);

// Remembers the current unit as the source of the next paste.
void copySettings(Synth& s);

// Copies the settings of unit `source` into the current unit (and its
// waveform choices into the units it links).
void pasteSettings(Synth& s, int source);

// "Link Generators": flips the link from the current unit to `unit` and
// returns it (1 linked, 0 not). The current unit's own link stays.
int toggleLink(Synth& s, int unit);

// Makes the unit of a tab index current.
void selectUnit(Synth& s, int index);

// The whole state of the program right after start-up, as the splash and the
// main window's set-up build it, for every front end: the distortion
// curves (unless the splash built them already), unit initialisation, the
// engine reset, the step editor's random tables and the defaults, with an
// empty undo history and nothing unsaved. Returns 0 when the engine buffers
// cannot be obtained.
int startUpState(Synth& s);

// A document read from a file takes the place of the current one, whole:
// the step timing is recomputed, the units in use have their envelopes
// re-armed and their waveforms set again through the setters (with the
// loaded links, which restarts their oscillators), pattern 1 is selected and
// unit 0 is current. The undo history begins anew; whether the document
// counts as saved is the caller's to say (model/undo.h).
void installDocument(Synth& s, const Document& loaded);
// The same as an edit of its own, which Undo takes back (a preset loaded
// in the plugin's editor).
void replaceDocument(Synth& s, const Document& loaded);

// Frees the two engine buffers.
void releaseBuffers(Synth& s);

}  // namespace velmor
