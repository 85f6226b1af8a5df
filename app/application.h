#pragma once
// The running program's state, one instance: the synthesizer, the sound
// output and what the windows hold. Windows only.

#include <windows.h>

#include <commdlg.h>

#include <memory>

#include "audio/audio_timer.h"
#include "audio/dsound_output.h"
#include "audio/output.h"
#include "audio/wasapi_output.h"
#include "app/midi_session.h"
#include "files/file_names.h"
#include "model/synth.h"

namespace velmor {

enum IconIndex { kIconSaw, kIconSaw2, kIconSquare, kIconSine, kIconPlay, kIconStop, kIconCount };

struct App {
    HINSTANCE appInstance = nullptr;
    HWND splashWindow = nullptr;
    const BITMAPINFOHEADER* splashBitmap = nullptr;
    HPALETTE splashPalette = nullptr;
    HICON icons[kIconCount] = {};

    HWND mainWindow = nullptr;
    HBRUSH envelopeBrush = nullptr;
    char fileName[kFileNameSize] = {};
    char documentPath[kFileNameSize] = {};  // the file last saved or loaded; empty before either
    OPENFILENAMEA openFileDialog = {};
    OPENFILENAMEA saveFileDialog = {};
    uint32_t pendingBufferBytes = 0;  // the response dialog's size before OK
    bool streaming = false;           // "Stream 2 Disk..." renders: the window takes no command

    std::unique_ptr<Synth> synth;
    AudioOutput audio;
    DirectSoundDevice sound;  // the output unless "Low Latency (WASAPI)" is chosen
    WasapiDevice wasapi;
    TickContext tick;
    MidiSession midi;
};

// Start-up, the main window and shutdown; returns 0 in every case.
int runApplication(HINSTANCE instance, HINSTANCE previous, int showCommand, const char* commandLine);

// Releases what the running program holds: the sound output, the engine
// buffers and the envelope brush.
void shutdownApplication(App& app);

// The main window's dialog procedure; the dialog parameter is the App.
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmor
