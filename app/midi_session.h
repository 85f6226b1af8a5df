#pragma once
// MIDI in the running program: the devices chosen in Options > MIDI...,
// the stream that also runs while stopped as long as an input is open (so
// that keys sound), Play and Stop within that stream, the clock following
// and the clock sent out. Windows only.

#include <windows.h>

#include "audio/midi_devices.h"
#include "audio/midi_stream.h"
#include "files/midi_settings.h"

namespace velmor {

struct App;

struct MidiSession {
    MidiSettings settings;       // the choice as kept: the devices open, the two switches
    HWND inputWindow = nullptr;  // receives the input's messages (MM_MIM_DATA)
    HWND tooltip = nullptr;      // says why Play and Stop are greyed while synced
    HMIDIIN input = nullptr;
    HMIDIOUT output = nullptr;
    // The end-to-end tests have no MIDI device: they arm an input whose
    // messages they post to the input window themselves, and an output
    // that only keeps what it would send.
    bool testInput = false;
    bool testOutput = false;
    bool sequencerPlays = false;  // after Play, until Stop
    bool suspended = false;       // an output command has stopped the stream
    bool tempoShown = false;      // the tempo field shows the clock's tempo
    bool notesOn = false;         // the engine reports its notes
    MidiReceiver receiver;
    ClockSender clock;
    MidiGate gate;
    MidiThread thread;

    bool inputOpen() const { return input || testInput; }
    bool outputOpen() const { return output || testOutput; }
    // Following MIDI clock: Play and Stop are the clock's.
    bool synced() const { return inputOpen() && settings.sync; }
    bool sendsClock() const { return outputOpen() && settings.sendClock && !synced(); }
    bool sendsNotes() const { return outputOpen() && settings.sendNotes; }
};

// After the sound output and the engine exist: the input window, the
// choice kept from the last session, and the stream when an input is open.
void setUpMidi(HWND mainWindow, App& app);
// Before the sound output goes: the devices closed, the MIDI thread ended.
void shutDownMidi(App& app);

// Play and Stop; false when they do nothing (synced to MIDI clock).
bool playCommand(App& app);
bool stopCommand(App& app);

// Around the commands that need the sound output at rest (device, response,
// Stream 2 Disk): the stream that runs for the input stops before and runs
// again after.
void suspendMidiStream(App& app);
void resumeMidiStream(App& app);

// Every status refresh: the tempo field and the Play and Stop buttons.
void refreshMidiStatus(HWND mainWindow, App& app);

// The registered messages the end-to-end tests send; true when `message`
// is one of them, with its answer in `result`.
bool answerMidiQuery(App& app, UINT message, WPARAM wParam, LRESULT& result);

INT_PTR CALLBACK midiDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmor
