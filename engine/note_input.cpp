#include "engine/note_input.h"

#include "base/midi_channel.h"
#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/envelope.h"
#include "engine/mixdown.h"
#include "engine/note_output.h"
#include "engine/song_clock.h"
#include "engine/step_clock.h"

namespace velmor {

namespace {

// The length of the step the clock stands on: a legato glide lasts that.
int32_t currentStepLength(const Engine& e) {
    const int32_t sps = playedSamplesPerStep(e);
    const int32_t d = mul32(sps, clampInt(e.score->doc.settings.swing, 0, 100)) / 300;
    const int32_t length = (e.currentStep & 1) != 0 ? sub32(sps, d) : add32(sps, d);
    return length > 0 ? length : 1;
}

void glideTo(Engine& e, UnitKeys& k, int32_t pitch) {
    k.from = k.pitch;
    k.pitch = pitch;
    k.glide = k.from != pitch ? 0 : -1;
    k.glideLength = currentStepLength(e);
}

void press(Engine& e, int u, uint8_t key, uint8_t velocity) {
    UnitKeys& k = e.keys[u];
    for (int i = 0; i < k.count; ++i)
        if (k.held[i] == key) {
            for (int j = i + 1; j < k.count; ++j) k.held[j - 1] = k.held[j];
            --k.count;
            break;
        }
    k.held[k.count++] = key;
    k.keyed = true;
    const int32_t pitch = pitchOfNote(key);
    if (k.count > 1) {
        glideTo(e, k, pitch);  // legato: no new strike
        return;
    }
    k.tail = false;
    k.strike = true;
    k.accent = velocity > 100;
    k.pitch = pitch;
    k.glide = -1;
}

void release(Engine& e, int u, uint8_t key) {
    UnitKeys& k = e.keys[u];
    int at = -1;
    for (int i = 0; i < k.count; ++i)
        if (k.held[i] == key) at = i;
    if (at < 0) return;  // a note-off without its note-on
    for (int j = at + 1; j < k.count; ++j) k.held[j - 1] = k.held[j];
    --k.count;
    if (k.count == 0) {
        // The gate closes; the pattern takes over at the next step.
        k.tail = true;
        k.strike = false;
        k.glide = -1;
        e.voices[u].envStage = kRelease;
    } else if (at == k.count) {
        // The newest key let go: back to the most recent one still held.
        glideTo(e, k, pitchOfNote(k.held[k.count - 1]));
    }
}

void releaseUnit(Engine& e, int u) {
    UnitKeys& k = e.keys[u];
    if (k.count == 0) return;
    k.count = 0;
    k.tail = true;
    k.strike = false;
    k.glide = -1;
    e.voices[u].envStage = kRelease;
}

}  // namespace

void locate(Engine& e, int32_t sixteenths) {
    const EngineSettings& g = e.score->doc.settings;
    e.currentStep = sixteenths % 16;
    e.stepTick = 0;
    if (g.songMode == 0) return;
    const int32_t length = playedSongLength(g);
    const int32_t position = (sixteenths / 16) % length;
    e.song.position = position;
    e.song.pattern = songPositionPattern(g, position);
    e.song.previousPattern = songPositionPattern(g, position > 0 ? position - 1 : length - 1);
}

namespace {

void channelMessage(Engine& e, uint8_t status, uint8_t data1, uint8_t data2) {
    const int channel = status & 15;
    const int type = status & 0xF0;
    const int units = clampInt(e.score->doc.unitCount, 0, kUnitSlots);
    for (int u = 0; u < units; ++u) {
        if (unitChannel(e, u) != channel) continue;
        if (type == 0x90 && data2 > 0)
            press(e, u, data1 & 127, data2);
        else if (type == 0x80 || type == 0x90)
            release(e, u, data1 & 127);
        else if (type == 0xB0 && (data1 == 120 || data1 == 123))
            releaseUnit(e, u);
        else if (type == 0xC0)
            queueUnitPattern(e, u, data1 & 127);
    }
}

}  // namespace

int unitChannel(const Engine& e, int unit) { return listeningChannel(e.score->doc.units[unit].midiChannel, unit) - 1; }

int32_t pitchOfNote(int note) {
    while (note < 24) note += 12;
    while (note > 72) note -= 12;
    return note - 21;
}

void applySequencer(Engine& e, int32_t how) {
    ClockIn& c = e.clockIn;
    endAllNotes(e);
    if (how == 0) {
        e.running = false;
        releaseAllUnits(e);
        return;
    }
    if (how == 1) resetEngine(e);
    e.running = true;
    // Following a clock, the first tick begins the step (its count, a
    // swung step's end and the hold start anew there); until then the
    // units stay released. After Start it begins the song as Play does,
    // from the state the reset leaves, at that tick.
    c.waiting = c.sync;
    c.restart = c.sync && how == 1;
    if (c.sync) releaseAllUnits(e);
}

void applyMidi(Engine& e, const uint8_t* bytes, int size) {
    if (size <= 0) return;
    const uint8_t status = bytes[0];
    if (status >= 0x80 && status < 0xF0) {
        channelMessage(e, status, size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
        return;
    }
    // The clock's messages count only while the steps follow it.
    const ClockIn& c = e.clockIn;
    switch (status) {
        case 0xF8: clockTick(e); break;
        case 0xFA:
            if (c.sync) applySequencer(e, 1);
            break;
        case 0xFB:
            if (c.sync && !e.running) applySequencer(e, 2);
            break;
        case 0xFC:
            if (c.sync) applySequencer(e, 0);
            break;
        case 0xF2:
            if (c.sync && !e.running && size > 2) locate(e, (bytes[1] & 127) | ((bytes[2] & 127) << 7));
            break;
        default: break;
    }
}

}  // namespace velmor
