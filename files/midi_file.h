#pragma once
// Standard MIDI Files (*.mid): the bytes of a file written from notes, and
// the notes, tempo changes and track facts read from the bytes of a file.
// Nothing here knows units or steps: files/midi_export.h and
// files/midi_import.h map between them and the document.
//
// The reader takes format 0 and 1 with any division, running status, system
// exclusive and meta events of any kind; it checks every byte and refuses a
// file that is damaged anywhere, saying at which byte and in which track.
// Its memory is bounded by the file's size, which is at most kMaxMidiFileSize.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/safe_file.h"

namespace velmor {

// Files above this size are refused before they are read.
constexpr size_t kMaxMidiFileSize = 4 * 1024 * 1024;
constexpr uint32_t kDefaultMicrosPerQuarter = 500000;  // 120 BPM, when a file sets no tempo

struct MidiNote {
    int64_t start = 0;    // ticks from the file's start
    int64_t end = 0;      // the tick of its note-off (or of its track's end)
    uint8_t channel = 0;  // 0..15
    uint8_t key = 0;
    uint8_t velocity = 0;
};

// ---- Writing -------------------------------------------------------------

struct MidiTrackOut {
    std::string name;
    int channel = 0;  // 0..15: the channel of its notes, named by a channel prefix event
    std::vector<MidiNote> notes;
};

// A format 1 file: a tempo track (the name, a 4/4 time signature and the
// tempo at tick 0), then one track per entry of `tracks`. Every track ends
// at `endTick` or after its last note-off, whichever is later.
struct MidiFileOut {
    uint16_t ticksPerQuarter = 96;
    uint32_t microsPerQuarter = kDefaultMicrosPerQuarter;
    std::string name;
    int64_t endTick = 0;
    std::vector<MidiTrackOut> tracks;
};

// The file's bytes. Events at one tick go note-offs first, then note-ons,
// each by ascending key; a channel event whose status byte is the one before
// it in its track leaves that byte out (running status). Note-offs are
// written as such (status 8n, velocity 64).
std::vector<uint8_t> encodeMidiFile(const MidiFileOut& file);

// Writes the bytes through files/safe_file.h: the old file stays as it was
// unless the new one was written whole.
SaveResult writeFileBytes(const char* path, const std::vector<uint8_t>& bytes);

// ---- Reading -------------------------------------------------------------

struct MidiTempo {
    int64_t tick = 0;
    uint32_t microsPerQuarter = 0;
};

struct MidiFileIn {
    int format = 0;
    int trackCount = 0;
    // Metrical time: ticks per quarter note (smpteFrames 0). SMPTE time:
    // frames per second as stored (24, 25, 29 for 29.97, 30) and ticks per frame.
    int ticksPerQuarter = 0;
    int smpteFrames = 0;
    int ticksPerFrame = 0;
    std::vector<MidiNote> notes;          // in order of their note-on, track by track
    std::vector<MidiTempo> tempos;        // every tempo event, by tick (a tie keeps the file's order)
    int64_t endTick = 0;                  // the latest end of a track
    uint16_t namedChannels = 0;           // bit c: a channel prefix event names channel c
    uint16_t channelsWithNotes = 0;       // bit c: channel c has a note
    std::vector<std::string> trackNames;  // one per track ("" without a name)
};

// Reads a whole file held in memory. Returns true with `out` filled, or
// false with `error` saying where and what is wrong, for example "byte 22
// (track 1): the track claims 4294967295 bytes, but 40 follow". A note still
// sounding at the end of its track ends there; a note-off ends the earliest
// sounding note of its key and channel in its track.
bool readMidiBytes(const uint8_t* data, size_t size, MidiFileIn& out, std::string& error);

// Reads a file from disk into `bytes` (at most kMaxMidiFileSize). False with
// `error` when it cannot be opened or read, or is larger.
bool loadFileBytes(const char* path, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace velmor
