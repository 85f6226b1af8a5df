// MIDI in the running program: the input window that winmm posts the
// input's messages to, the stream that runs for the input, Play and Stop
// within it, the clock output's Start, Stop and position, Options > MIDI...
// and the figures the end-to-end tests ask for.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/midi_session.h"
#include "app/window_logic.h"
#include "engine/mixdown.h"
#include "engine/note_output.h"
#include "model/midi_channels.h"
#include "model/parameters.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

const char kInputWindowClass[] = "Velmor.MidiInput";
const char kSettingsFile[] = "velmor-midi.ini";
const char kSyncedTip[] = "Velmor follows MIDI clock: the clock's Start, Continue and Stop play and stop it (Options > MIDI...)";

// The settings file beside the program (and its demos folder).
std::string settingsPath() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n < sizeof path ? n : 0);
    const size_t slash = folder.find_last_of("\\/");
    folder.resize(slash == std::string::npos ? 0 : slash + 1);
    return folder + kSettingsFile;
}

bool streamRuns(const App& app) { return app.audio.playing.load() == 1; }

// The frame at the speaker now.
int64_t frameNow(App& app) { return app.audio.clock.frameAt(app.audio.device->playPosition(), systemMicroseconds()); }

// A command at the frame a message arriving now gets.
int64_t timedCommand(App& app, std::initializer_list<EngineCommand> commands) {
    return app.midi.receiver.command(app.synth->engine, app.audio.clock, commands, frameNow(app));
}

// Every note the output sent and has not ended ends now (the gate closed).
void endSentNotes(MidiSession& m) {
    uint32_t offs[64];
    for (int n; (n = m.clock.endNotes(offs, 64)) > 0;)
        for (int i = 0; i < n; ++i) m.thread.send(offs[i], -1);
}

// The output's switches, for the engine and the MIDI thread; "Local Off".
void applyOutputSwitches(App& app) {
    MidiSession& m = app.midi;
    m.gate.close();
    m.thread.output = m.output;
    m.thread.sending = m.outputOpen();
    m.gate.open();
    Synth& s = *app.synth;
    postToEngine(s, EngineCommand::of(EngineCommand::kClockOut, m.sendsClock() ? 1 : 0));
    if (m.sendsNotes() != m.notesOn) {
        m.notesOn = m.sendsNotes();
        postToEngine(s, EngineCommand::of(EngineCommand::kNoteOut, m.notesOn ? 1 : 0));
    }
    postToEngine(s, EngineCommand::of(EngineCommand::kLocalOff, m.settings.localOff));
    if (m.inputOpen() || m.outputOpen())
        m.thread.start(app.audio, m.receiver, m.clock, m.gate);
    else
        m.thread.stop();
}

// The stream for the input, with the sequencer standing: only keys (or the
// clock's Start) are heard.
void startInputStream(App& app) {
    MidiSession& m = app.midi;
    if (!m.inputOpen() || m.suspended || streamRuns(app)) return;
    Synth& s = *app.synth;
    m.gate.close();
    prepareToPlay(s);
    postToEngine(s, EngineCommand::of(EngineCommand::kClockSync, m.synced() ? 1 : 0));
    postToEngine(s, EngineCommand::of(EngineCommand::kSequencer, 0));
    m.receiver.reset();
    m.sequencerPlays = false;
    startOutput(app.audio, s.engine);
    m.gate.open();
}

// The Stop of the program without MIDI, and the engine as it has it: the
// internal clock, the sequencer ready to play. The clock output says Stop
// where the clock stands when the sequencer played.
void stopStream(App& app) {
    MidiSession& m = app.midi;
    Synth& s = *app.synth;
    m.gate.close();
    const bool played = m.sequencerPlays && streamRuns(app);
    stopAndReset(app.audio, s.engine);
    m.clock.drop();
    endSentNotes(m);
    // The notes the engine had sounding ended with the output's.
    endAllNotes(s.engine);
    s.engine.noteOut.count = 0;
    if (played && m.sendsClock()) {
        // Stop puts the clock back at the start (the engine reset).
        m.thread.send(ClockSender::kStop, -1);
        m.thread.send(songPositionMessage(0), -1);
    }
    postToEngine(s, EngineCommand::of(EngineCommand::kClockSync, 0));
    postToEngine(s, EngineCommand::of(EngineCommand::kSequencer, 2));
    m.sequencerPlays = false;
    m.gate.open();
}

// After the devices or the switches changed: the stream runs while an input
// is open, and a change of following MIDI clock stops the sequencer (the
// clock's Start plays it).
void applyChoice(App& app, bool wasOpen, bool wasSynced) {
    MidiSession& m = app.midi;
    if (wasOpen && !m.inputOpen()) {
        if (streamRuns(app)) stopStream(app);
    } else if (m.inputOpen() && !streamRuns(app)) {
        startInputStream(app);
    } else if (m.inputOpen() && (m.synced() != wasSynced || !wasOpen)) {
        postToEngine(*app.synth, EngineCommand::of(EngineCommand::kClockSync, m.synced() ? 1 : 0));
        if (m.synced() || wasSynced) {
            postToEngine(*app.synth, EngineCommand::of(EngineCommand::kSequencer, 0));
            m.sequencerPlays = false;
        }
    }
    applyOutputSwitches(app);
    refreshMidiStatus(app.mainWindow, app);
}

void midiError(HWND owner, const std::string& what, const std::string& name, const std::string& problem) {
    const std::string text =
        "The MIDI " + what + " \"" + name + "\" cannot be opened: " + problem + "\nThe " + what + " stays None.";
    MessageBoxA(owner, text.c_str(), "MIDI", MB_ICONEXCLAMATION);
}

// Opens the input of that name in place of the one open (none for "").
void chooseInput(App& app, HWND owner, const std::string& name) {
    MidiSession& m = app.midi;
    closeMidiInput(m.input);
    m.input = nullptr;
    m.testInput = false;
    m.settings.input.clear();
    if (name.empty()) return;
    std::string problem;
    m.input = openMidiInput(name, m.inputWindow, problem);
    if (m.input)
        m.settings.input = name;
    else
        midiError(owner, "input", name, problem);
}

void chooseOutput(App& app, HWND owner, const std::string& name) {
    MidiSession& m = app.midi;
    m.gate.close();
    m.thread.output = nullptr;
    m.gate.open();
    closeMidiOutput(m.output);
    m.output = nullptr;
    m.testOutput = false;
    m.settings.output.clear();
    if (name.empty()) return;
    std::string problem;
    m.output = openMidiOutput(name, problem);
    if (m.output)
        m.settings.output = name;
    else
        midiError(owner, "clock output", name, problem);
}

LRESULT CALLBACK inputWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message != MM_MIM_DATA || !app) return DefWindowProcA(window, message, wParam, lParam);
    // What arrives while the stream is at rest (an output command runs) is
    // dropped; the stream starts again with every unit released.
    if (app->midi.inputOpen() && streamRuns(*app)) {
        const int64_t now = systemMicroseconds();
        const int64_t frame = app->audio.clock.frameAt(app->audio.device->playPosition(), now);
        app->midi.receiver.receive(app->synth->engine, app->audio.clock, static_cast<uint32_t>(lParam), frame, now);
    }
    return 0;
}

void createTooltip(HWND mainWindow, MidiSession& m) {
    m.tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, mainWindow, nullptr, nullptr, nullptr);
    if (!m.tooltip) return;
    SendMessageA(m.tooltip, TTM_SETMAXTIPWIDTH, 0, 300);
    // Greyed buttons get no mouse messages: the tips belong to the main
    // window's areas under them.
    for (int id : {IDC_PLAY, IDC_STOP}) {
        TOOLINFOA tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = mainWindow;
        tool.uId = static_cast<UINT_PTR>(id);
        tool.lpszText = const_cast<char*>(kSyncedTip);
        GetWindowRect(GetDlgItem(mainWindow, id), &tool.rect);
        MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&tool.rect), 2);
        SendMessageA(m.tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageA(m.tooltip, TTM_ACTIVATE, FALSE, 0);
}

UINT registered(const char* name) { return RegisterWindowMessageA(name); }

// ---- Options > MIDI... ---------------------------------------------------

App& appOf(HWND dialog) { return *reinterpret_cast<App*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void fillDevices(HWND dialog, int id, const std::vector<std::string>& names, const std::string& open) {
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("None"));
    int selected = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
        if (!open.empty() && names[i] == open) selected = static_cast<int>(i) + 1;
    }
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, selected, 0);
}

// The device chosen in a list: "" for None.
std::string chosenDevice(HWND dialog, int id) {
    const LRESULT i = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    if (i <= 0) return "";
    char name[256] = {};
    if (SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof name)) return "";
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
    return name;
}

void setUpDialog(HWND dialog, App& app) {
    const MidiSession& m = app.midi;
    fillDevices(dialog, IDC_MIDI_INPUT, midiInputNames(), m.input ? m.settings.input : "");
    fillDevices(dialog, IDC_MIDI_OUTPUT, midiOutputNames(), m.output ? m.settings.output : "");
    CheckDlgButton(dialog, IDC_MIDI_SYNC, m.settings.sync ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_MIDI_SEND_CLOCK, m.settings.sendClock ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_MIDI_SEND_NOTES, m.settings.sendNotes ? BST_CHECKED : BST_UNCHECKED);
    const Synth& s = *app.synth;
    for (int u = 0; u < kMaxUnitsInUse; ++u) {
        const int id = IDC_MIDI_CHANNEL_FIRST + u;
        for (int c = 1; c <= 16; ++c)
            SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_string(c).c_str()));
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Off"));
        const int channel = unitListeningChannel(s, u);
        SendDlgItemMessageA(dialog, id, CB_SETCURSEL, channel == 0 ? 16 : channel - 1, 0);
        EnableWindow(GetDlgItem(dialog, id), u < s.score.doc.unitCount);
        CheckDlgButton(dialog, IDC_MIDI_LOCAL_OFF_FIRST + u, (m.settings.localOff >> u & 1) != 0 ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, IDC_MIDI_LOCAL_OFF_FIRST + u), u < s.score.doc.unitCount);
    }
    char text[160];
    const int64_t ahead =
        app.audio.device && app.audio.device->aheadFrames() >= 0 ? app.audio.device->aheadFrames() : app.audio.bufferBytes / 4;
    std::snprintf(text, sizeof text,
                  "Keys are heard %d ms after they arrive: one stream buffer, set with Options > Adjust Response.",
                  static_cast<int>(ahead * 1000 / kFrameRate));
    SetDlgItemTextA(dialog, IDC_MIDI_LATENCY, text);
}

void applyDialog(HWND dialog, App& app) {
    MidiSession& m = app.midi;
    Synth& s = *app.synth;
    for (int u = 0; u < kMaxUnitsInUse && u < s.score.doc.unitCount; ++u) {
        const LRESULT i = SendDlgItemMessageA(dialog, IDC_MIDI_CHANNEL_FIRST + u, CB_GETCURSEL, 0, 0);
        if (i >= 0) setUnitChannel(s, u, i < 16 ? static_cast<int>(i) + 1 : 0);
    }
    const bool wasOpen = m.inputOpen(), wasSynced = m.synced();
    // A list left as it was keeps its device open.
    const std::string input = chosenDevice(dialog, IDC_MIDI_INPUT), output = chosenDevice(dialog, IDC_MIDI_OUTPUT);
    if (input != (m.input ? m.settings.input : "")) chooseInput(app, dialog, input);
    if (output != (m.output ? m.settings.output : "")) chooseOutput(app, dialog, output);
    m.settings.sync = IsDlgButtonChecked(dialog, IDC_MIDI_SYNC) == BST_CHECKED;
    m.settings.sendClock = IsDlgButtonChecked(dialog, IDC_MIDI_SEND_CLOCK) == BST_CHECKED;
    m.settings.sendNotes = IsDlgButtonChecked(dialog, IDC_MIDI_SEND_NOTES) == BST_CHECKED;
    m.settings.localOff = 0;
    for (int u = 0; u < kMaxUnitsInUse; ++u)
        if (IsDlgButtonChecked(dialog, IDC_MIDI_LOCAL_OFF_FIRST + u) == BST_CHECKED) m.settings.localOff |= 1 << u;
    applyChoice(app, wasOpen, wasSynced);
    const std::string path = settingsPath();
    if (!saveMidiSettings(path.c_str(), m.settings)) {
        const std::string text = "The MIDI choice cannot be kept in " + path + ": it holds until Velmor ends.";
        MessageBoxA(dialog, text.c_str(), "MIDI", MB_ICONEXCLAMATION);
    }
}

}  // namespace

void setUpMidi(HWND mainWindow, App& app) {
    MidiSession& m = app.midi;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = inputWindowProc;
    wc.hInstance = app.appInstance;
    wc.lpszClassName = kInputWindowClass;
    RegisterClassA(&wc);
    m.inputWindow = CreateWindowExA(0, kInputWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, app.appInstance, nullptr);
    SetWindowLongPtrA(m.inputWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&app));
    createTooltip(mainWindow, m);
    app.audio.clockTicks = &m.clock;

    const MidiSettings kept = loadMidiSettings(settingsPath().c_str());
    m.settings.sync = kept.sync;
    m.settings.sendClock = kept.sendClock;
    m.settings.sendNotes = kept.sendNotes;
    m.settings.localOff = kept.localOff;
    if (!kept.input.empty()) chooseInput(app, mainWindow, kept.input);
    if (!kept.output.empty()) chooseOutput(app, mainWindow, kept.output);
    applyChoice(app, false, false);
}

void shutDownMidi(App& app) {
    MidiSession& m = app.midi;
    m.thread.stop();
    closeMidiInput(m.input);
    closeMidiOutput(m.output);
    m.input = nullptr;
    m.output = nullptr;
    m.testInput = m.testOutput = false;
    if (m.inputWindow) DestroyWindow(m.inputWindow);
    m.inputWindow = nullptr;
}

bool playCommand(App& app) {
    MidiSession& m = app.midi;
    if (m.synced()) return false;
    Synth& s = *app.synth;
    if (m.inputOpen() && streamRuns(app)) {
        // The stream runs on: the sequencer starts in it, from the start
        // where Stop left the clock, else where a stream to disk left it.
        if (m.sequencerPlays) return true;
        const bool fromStart = s.engine.currentStep == 0 && s.engine.stepTick == 0;
        const int64_t at = timedCommand(app, {EngineCommand::of(EngineCommand::kSequencer, fromStart ? 1 : 2)});
        m.gate.close();
        if (m.sendsClock()) m.clock.at(at, ClockSender::kStart);
        m.gate.open();
        m.sequencerPlays = true;
        return true;
    }
    m.gate.close();
    const bool wasPlaying = streamRuns(app);
    if (!wasPlaying) prepareToPlay(s);
    startOutput(app.audio, s.engine);
    if (m.sendsClock() && !wasPlaying) m.clock.at(app.audio.clock.first(), ClockSender::kStart);
    m.sequencerPlays = streamRuns(app);
    m.gate.open();
    return true;
}

bool stopCommand(App& app) {
    MidiSession& m = app.midi;
    if (m.synced()) return false;
    if (m.inputOpen() && streamRuns(app)) {
        // The engine reset, then the sequencer stands, at one frame; the
        // stream runs on.
        const int64_t at =
            timedCommand(app, {EngineCommand::of(EngineCommand::kSequencer, 1), EngineCommand::of(EngineCommand::kSequencer, 0)});
        m.gate.close();
        if (m.sendsClock() && m.sequencerPlays) {
            m.clock.at(at, ClockSender::kStop);
            m.clock.at(at, songPositionMessage(0));
        }
        m.gate.open();
        m.sequencerPlays = false;
        return true;
    }
    stopStream(app);
    return true;
}

void suspendMidiStream(App& app) {
    MidiSession& m = app.midi;
    // The MIDI thread rests while the output changes.
    if (m.inputOpen() && streamRuns(app)) stopStream(app);
    m.suspended = true;
    m.gate.close();
}

void resumeMidiStream(App& app) {
    MidiSession& m = app.midi;
    m.gate.open();
    m.suspended = false;
    startInputStream(app);
}

void refreshMidiStatus(HWND mainWindow, App& app) {
    MidiSession& m = app.midi;
    const bool synced = m.synced();
    for (int id : {IDC_PLAY, IDC_STOP}) EnableWindow(GetDlgItem(mainWindow, id), synced ? FALSE : TRUE);
    if (m.tooltip) SendMessageA(m.tooltip, TTM_ACTIVATE, synced ? TRUE : FALSE, 0);
    char text[32];
    if (synced) {
        const int tempo = app.synth->engine.syncedTempo;
        if (tempo > 0)
            std::snprintf(text, sizeof text, "%d BPM", tempo);
        else
            std::snprintf(text, sizeof text, "MIDI");
    } else if (m.tempoShown) {
        std::snprintf(text, sizeof text, "%d BPM", getCurrent(*app.synth, Param::kTempo));
    } else {
        return;
    }
    m.tempoShown = synced;
    SetDlgItemTextA(mainWindow, IDC_TEMPO_TEXT, text);
}

bool answerMidiQuery(App& app, UINT message, WPARAM wParam, LRESULT& result) {
    MidiSession& m = app.midi;
    static const UINT devices = registered("Velmor.MidiTestDevices");
    static const UINT stamp = registered("Velmor.MidiStamp");
    static const UINT latency = registered("Velmor.MidiKeyLatency");
    static const UINT sent = registered("Velmor.MidiSent");
    static const UINT sentFrame = registered("Velmor.MidiSentFrame");
    if (message == devices) {
        // Bit 1: an input, bit 2: an output, as if such devices were open.
        const bool wasOpen = m.inputOpen(), wasSynced = m.synced();
        if ((wParam & 1) && !m.testInput) chooseInput(app, app.mainWindow, "");
        if ((wParam & 2) && !m.testOutput) chooseOutput(app, app.mainWindow, "");
        m.testInput = (wParam & 1) != 0;
        m.testOutput = (wParam & 2) != 0;
        applyChoice(app, wasOpen, wasSynced);
        result = 1;
    } else if (message == stamp) {
        // The frame message n was queued at, from the stream's start; for
        // -1, how many the stream has received.
        const int64_t at = m.receiver.stampOf(static_cast<uint32_t>(wParam));
        if (wParam == static_cast<WPARAM>(-1))
            result = static_cast<LRESULT>(m.receiver.received());
        else
            result = at < 0 ? -1 : static_cast<LRESULT>(at - app.audio.clock.first());
    } else if (message == latency) {
        result = static_cast<LRESULT>(m.thread.keyLatencyMicros.load());
    } else if (message == sent) {
        // 0: how many messages the clock output sent; 1: the ticks' jitter
        // in microseconds; 2 + n: message n.
        m.gate.close();
        const SentLog& log = m.thread.sent;
        const uint32_t n = static_cast<uint32_t>(wParam) - 2;
        if (wParam == 0)
            result = static_cast<LRESULT>(log.count);
        else if (wParam == 1)
            result = static_cast<LRESULT>(log.tickJitter(256));
        else
            result = n < log.count && log.count - n <= SentLog::kSize ? log.entries[n % SentLog::kSize].message : -1;
        m.gate.open();
    } else if (message == sentFrame) {
        // The frame message n was due at, from the stream's start; -1 when
        // it went out at once (a Stop's).
        m.gate.close();
        const SentLog& log = m.thread.sent;
        const uint32_t n = static_cast<uint32_t>(wParam);
        const int64_t frame = n < log.count && log.count - n <= SentLog::kSize ? log.entries[n % SentLog::kSize].frame : -1;
        result = frame < 0 ? -1 : static_cast<LRESULT>(frame - app.audio.clock.first());
        m.gate.open();
    } else {
        return false;
    }
    return true;
}

INT_PTR CALLBACK midiDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        setUpDialog(window, appOf(window));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
        case IDOK:
            applyDialog(window, appOf(window));
            EndDialog(window, 1);
            return TRUE;
        case IDCANCEL: EndDialog(window, 0); return TRUE;
        default: return FALSE;
    }
}

}  // namespace velmor
