#pragma once
// The sequencer's notes as MIDI, step by step, by the rules of "Export
// MIDI..." (files/midi_export.h), which writes its files through the same
// rules: step pitch p is key p + 21 (kept within 0..127); an accent is
// velocity 127, a plain note 100; a note starts where its step starts and
// ends at its gate, at least one tick and at most its step long, unless its
// step slides:
//   - into a note of another key: it ends one tick after that note starts;
//   - into a note of the same key: the two are one note, which lasts to the
//     end of the step slid into (and on, if that step slides too);
//   - into a rest, or past the end of a pass: it ends 10 ticks into the
//     next step.
// A tick is a 24th of a step; times that fall on ticks are the first frame
// of their tick, so that a frame rounded to the nearest tick (half up) gives
// the tick back. While the sequencer plays, the engine reports the notes of
// each block at their frames; Stop and Start end every note sounding.

#include <cstdint>

#include "base/document.h"

namespace velmor {

struct Engine;
struct StepSpan;

constexpr int kTicksPerStep = 24;
constexpr int kKeyOfPitchZero = 21;  // step pitch 3, "C1", is key 24
// How far a slide into a rest or past the pass reaches into the next step.
constexpr int kSlideIntoRestTicks = 10;

// The nearest tick of a frame (a half tick rounds up), with steps of
// samplesPerStep frames.
int64_t tickOf(int64_t frame, int32_t samplesPerStep);
// The first frame of a tick: tickOf gives the tick back.
int64_t frameOfTick(int64_t tick, int32_t samplesPerStep);

// A step as its notes see it, its times in frames.
struct NoteStep {
    bool noteOn = false;
    uint8_t key = 0;
    uint8_t velocity = 0;
    bool slides = false;
    int64_t start = 0;          // its first frame (swung)
    int64_t straightStart = 0;  // where it would start without swing
    int64_t next = 0;           // the next step's first frame (swung)
    int64_t nextStraight = 0;
    int32_t gate = 0;  // the unit's gate, scaled for a swung step
    int32_t samplesPerStep = 1;
};

// One unit's notes between steps: the note sounding and, unless its step
// slid (then the next step decides), the frame it ends at; and a note that
// ends a little into the next step (a slide into another key or a rest).
struct UnitNotes {
    int16_t key = -1;
    bool open = false;
    int64_t end = 0;
    int16_t lateKey = -1;
    int64_t lateEnd = 0;
};

// What a step does to a unit's notes. on(frame, key, velocity) is called
// for a note that starts now; the ends are kept in `n`, to be taken by
// dueNoteOffs.
template <class On>
void beginNoteStep(UnitNotes& n, const NoteStep& s, On&& on);
// Calls off(frame, key) for every end before `until`, in frame order.
template <class Off>
void dueNoteOffs(UnitNotes& n, int64_t until, Off&& off);
// A pass ends at `end` (its straight frame): a note still sliding ends 10
// ticks into what follows.
void endNotePass(UnitNotes& n, int64_t end, int32_t samplesPerStep);

// The engine's report of one block: each message at its frame.
struct NoteOut {
    static constexpr int kMax = 1024;
    struct Message {
        int32_t frame;
        uint8_t bytes[3];
    };
    bool enabled = false;
    int32_t count = 0;
    Message messages[kMax] = {};
    UnitNotes units[kUnitSlots];
};

// The engine's side: the notes of the steps that begin in a span, and the
// ends that fall before `until` (an engine frame), into e.noteOut.
void reportStepNotes(Engine& e, int blockOffset, const StepSpan& span);
void reportNoteOffs(Engine& e, int64_t until);
// Every note sounding ends now (Stop, Start).
void endAllNotes(Engine& e);

template <class On>
void beginNoteStep(UnitNotes& n, const NoteStep& s, On&& on) {
    const int32_t sps = s.samplesPerStep;
    const int64_t startTick = tickOf(s.start - s.straightStart, sps);
    bool fresh = true;
    if (n.key >= 0 && n.open) {
        if (s.noteOn && s.key == n.key) {
            fresh = false;  // one note on through this step
        } else {
            // A slide into another key ends a tick after that note starts;
            // into a rest, 10 ticks into this step.
            n.lateKey = n.key;
            n.lateEnd = s.straightStart + frameOfTick(s.noteOn ? startTick + 1 : kSlideIntoRestTicks, sps);
            n.key = -1;
        }
    }
    if (!s.noteOn) return;
    if (fresh) {
        on(s.start, s.key, s.velocity);
        n.key = s.key;
    }
    n.open = s.slides;
    if (s.slides) return;
    // A note through steps lasts to the end of the last; a note of its own
    // ends at its gate, at least a tick and at most its step long.
    n.end = s.next;
    const int64_t gateTick = tickOf(s.start + s.gate - s.straightStart, sps);
    if (fresh && gateTick < tickOf(s.next - s.straightStart, sps))
        n.end = gateTick > startTick ? s.start + s.gate : s.straightStart + frameOfTick(startTick + 1, sps);
}

template <class Off>
void dueNoteOffs(UnitNotes& n, int64_t until, Off&& off) {
    const bool ends = n.key >= 0 && !n.open && n.end < until, lateEnds = n.lateKey >= 0 && n.lateEnd < until;
    // In frame order; at one frame the note let go late first.
    if (lateEnds && (!ends || n.lateEnd <= n.end)) off(n.lateEnd, static_cast<uint8_t>(n.lateKey)), n.lateKey = -1;
    if (ends) off(n.end, static_cast<uint8_t>(n.key)), n.key = -1;
    if (n.lateKey >= 0 && n.lateEnd < until) off(n.lateEnd, static_cast<uint8_t>(n.lateKey)), n.lateKey = -1;
}

}  // namespace velmor
