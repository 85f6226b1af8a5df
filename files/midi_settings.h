#pragma once
// The MIDI choice kept between sessions: a small text file of "key=value"
// lines beside the program (input and output device names, the two clock
// switches, and, written only when chosen, "Send Notes" and the units whose
// own sound is off). A file that is missing, cut short or not of this form
// means the start-up choice: no device, no clock.
//
//   input=USB Keyboard
//   output=Drum Machine
//   sync=1
//   send-clock=0
//   send-notes=1
//   local-off=5      (a bit per unit: here units 1 and 3)

#include <cstdio>
#include <string>

namespace velmor {

constexpr size_t kMaxDeviceName = 200;

struct MidiSettings {
    std::string input;       // the input device's name; empty for none
    std::string output;      // the output device's name; empty for none
    bool sync = false;       // "Sync to MIDI Clock"
    bool sendClock = false;  // "Send MIDI Clock"
    bool sendNotes = false;  // "Send Notes"
    int localOff = 0;        // "Local Off": bit u for unit u + 1
    bool operator==(const MidiSettings&) const = default;
};

// Reads the settings; anything unreadable gives the start-up choice.
MidiSettings readMidiSettings(std::FILE* f);
MidiSettings loadMidiSettings(const char* path);

// Writes them; false when the file could not be written (it is then as it was).
bool writeMidiSettings(std::FILE* f, const MidiSettings& m);
bool saveMidiSettings(const char* path, const MidiSettings& m);

}  // namespace velmor
