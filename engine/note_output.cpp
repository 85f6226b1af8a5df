#include "engine/note_output.h"

#include <utility>

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/step_clock.h"

namespace velmor {

namespace {

void report(Engine& e, int64_t frame, uint8_t status, uint8_t key, uint8_t velocity) {
    NoteOut& n = e.noteOut;
    if (n.count == NoteOut::kMax) return;
    const int64_t at = frame - e.framePosition;
    n.messages[n.count++] = {static_cast<int32_t>(at < 0 ? 0 : at), {status, key, velocity}};
}

}  // namespace

int64_t tickOf(int64_t frame, int32_t samplesPerStep) {
    const int64_t twice = 2 * frame * kTicksPerStep + samplesPerStep;
    const int64_t divisor = 2 * int64_t{samplesPerStep};
    return twice >= 0 ? twice / divisor : -((-twice + divisor - 1) / divisor);
}

int64_t frameOfTick(int64_t tick, int32_t samplesPerStep) { return (tick * samplesPerStep + kTicksPerStep - 1) / kTicksPerStep; }

void endNotePass(UnitNotes& n, int64_t end, int32_t samplesPerStep) {
    if (n.key < 0 || !n.open) return;
    n.lateKey = n.key;
    n.lateEnd = end + frameOfTick(kSlideIntoRestTicks, samplesPerStep);
    n.key = -1;
}

void reportNoteOffs(Engine& e, int64_t until) {
    NoteOut& out = e.noteOut;
    if (!out.enabled) return;
    const int32_t first = out.count;
    for (int u = 0; u < kUnitSlots; ++u)
        dueNoteOffs(out.units[u], until,
                    [&](int64_t frame, uint8_t key) { report(e, frame, static_cast<uint8_t>(0x80 | u), key, 0); });
    // In frame order across the units.
    for (int32_t i = first + 1; i < out.count; ++i)
        for (int32_t k = i; k > first && out.messages[k - 1].frame > out.messages[k].frame; --k)
            std::swap(out.messages[k - 1], out.messages[k]);
}

void reportStepNotes(Engine& e, int blockOffset, const StepSpan& span) {
    NoteOut& out = e.noteOut;
    if (!out.enabled || !span.advancing || span.tick != 0) return;
    const Score& score = *e.score;
    const Document& d = score.doc;
    NoteStep s;
    s.start = e.framePosition + blockOffset + span.offset;
    s.straightStart = s.start - ((span.step & 1) != 0 ? span.swingDelay : 0);
    s.next = s.start + span.stepLength;
    s.samplesPerStep = span.samplesPerStep > 0 ? span.samplesPerStep : 1;
    // What ended before this step goes first, then what it starts. A note
    // lasts its step at most: one still sounding ends here, its step having
    // ended sooner than foreseen (the steps following an outside clock).
    for (UnitNotes& n : out.units)
        if (n.key >= 0 && !n.open && n.end > s.start) n.end = s.start;
    reportNoteOffs(e, s.start + 1);
    const int units = clampInt(d.unitCount, 0, kUnitSlots);
    for (int u = 0; u < units; ++u) {
        const int at = stepIndex(u, patternsOf(e, u, span).playing, span.step);
        s.noteOn = d.stepNoteOn[at] != 0;
        s.key = static_cast<uint8_t>(clampInt(d.stepPitch[at] + kKeyOfPitchZero, 0, 127));
        s.velocity = (d.stepSpare[at] & 1) != 0 ? 127 : 100;
        s.slides = d.stepSlide[at] != 0;
        const int32_t gate = score.derived.units[u].gateSamples;
        s.gate = span.swingDelay != 0 ? static_cast<int32_t>(int64_t{gate} * span.stepLength / span.samplesPerStep) : gate;
        beginNoteStep(out.units[u], s, [&](int64_t frame, uint8_t key, uint8_t velocity) {
            report(e, frame, static_cast<uint8_t>(0x90 | u), key, velocity);
        });
    }
}

void endAllNotes(Engine& e) {
    NoteOut& out = e.noteOut;
    const int64_t now = e.framePosition + e.eventOffset;
    for (int u = 0; u < kUnitSlots; ++u) {
        UnitNotes& n = out.units[u];
        if (out.enabled && n.lateKey >= 0) report(e, now, static_cast<uint8_t>(0x80 | u), static_cast<uint8_t>(n.lateKey), 0);
        if (out.enabled && n.key >= 0) report(e, now, static_cast<uint8_t>(0x80 | u), static_cast<uint8_t>(n.key), 0);
        n = UnitNotes{};
    }
}

}  // namespace velmor
