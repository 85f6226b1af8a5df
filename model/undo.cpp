#include "model/undo.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <memory>

#include "engine/arith.h"
#include "model/synth.h"

namespace velmor {

namespace {

// The selected pattern is the window's choice: it is never part of a step.
constexpr size_t kSkipAt = offsetof(Score, derived) + offsetof(Derived, currentPattern);
constexpr size_t kSkipEnd = kSkipAt + sizeof(Derived::currentPattern);
// Equal bytes shorter than this between two changes stay inside one run.
constexpr size_t kJoinGap = 12;
constexpr size_t kRunHeader = 8;

int64_t now(const UndoHistory& h) {
    if (h.clock) return h.clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const uint8_t* bytesOf(const Score& s) { return reinterpret_cast<const uint8_t*>(&s); }
uint8_t* bytesOf(Score& s) { return reinterpret_cast<uint8_t*>(&s); }

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void addRun(std::vector<uint8_t>& runs, const uint8_t* was, const uint8_t* now, size_t at, size_t length) {
    put32(runs, static_cast<uint32_t>(at));
    put32(runs, static_cast<uint32_t>(length));
    runs.insert(runs.end(), was + at, was + at + length);
    runs.insert(runs.end(), now + at, now + at + length);
}

// The runs that turn `was` into `now` within [from, to).
void diffRange(const uint8_t* was, const uint8_t* now, size_t from, size_t to, std::vector<uint8_t>& runs) {
    constexpr size_t kBlock = 64;
    size_t start = 0, last = 0;  // the open run: [start, last]
    bool open = false;
    for (size_t i = from; i < to;) {
        const size_t end = i + kBlock < to ? i + kBlock : to;
        if (std::memcmp(was + i, now + i, end - i) == 0) {
            i = end;
            continue;
        }
        for (; i < end; ++i) {
            if (was[i] == now[i]) continue;
            if (open && i - last <= kJoinGap) {
                last = i;
                continue;
            }
            if (open) addRun(runs, was, now, start, last - start + 1);
            start = last = i;
            open = true;
        }
    }
    if (open) addRun(runs, was, now, start, last - start + 1);
}

std::vector<uint8_t> diff(const Score& was, const Score& now) {
    std::vector<uint8_t> runs;
    diffRange(bytesOf(was), bytesOf(now), 0, kSkipAt, runs);
    diffRange(bytesOf(was), bytesOf(now), kSkipEnd, sizeof(Score), runs);
    runs.shrink_to_fit();  // kept for long: no room to spare
    return runs;
}

// Writes each run's bytes before (or after) into `to`.
void applyRuns(Score& to, const std::vector<uint8_t>& runs, bool after) {
    for (size_t i = 0; i + kRunHeader <= runs.size();) {
        const uint32_t at = get32(&runs[i]);
        const uint32_t length = get32(&runs[i + 4]);
        const uint8_t* before = &runs[i + kRunHeader];
        std::memcpy(bytesOf(to) + at, after ? before + length : before, length);
        i += kRunHeader + 2 * static_cast<size_t>(length);
    }
}

void dropOldest(UndoHistory& h) {
    h.runBytes -= h.steps.front().runs.size();
    h.steps.pop_front();
    --h.applied;
}

void dropRedoSteps(UndoHistory& h) {
    while (h.steps.size() > h.applied) {
        h.runBytes -= h.steps.back().runs.size();
        h.steps.pop_back();
    }
}

void keepWithinBounds(UndoHistory& h) {
    while (h.applied > 0 && (h.steps.size() > kMaxUndoSteps ||
                             (h.steps.size() > kKeptUndoSteps && h.runBytes > kUndoBudgetBytes)))
        dropOldest(h);
}

bool joinsLast(const UndoHistory& h, uint32_t key, int64_t t) {
    if (!h.joinable || key == 0 || h.applied == 0 || h.applied != h.steps.size()) return false;
    const UndoStep& last = h.steps.back();
    return last.key == key && t - last.lastChangeMs <= kJoinWithinMs && t >= last.lastChangeMs;
}

// What the engine is told besides the bytes, as the setters tell it: the
// oscillators restart when a waveform or the phase changed, the filter
// memories clear when the filter mode changed.
void postSideEffects(Synth& s, const Document& was) {
    const Document& d = s.score.doc;
    for (int u = 0; u < kUnitSlots; ++u) {
        const UnitRecord& a = was.units[u];
        const UnitRecord& b = d.units[u];
        if (a.osc1Wave != b.osc1Wave || a.osc2Wave != b.osc2Wave || a.osc2Phase != b.osc2Phase)
            postToEngine(s, EngineCommand::of(EngineCommand::kRestartOscillators, u));
        if (a.filterMode != b.filterMode) postToEngine(s, EngineCommand::of(EngineCommand::kClearFilter, u));
    }
}

bool step(Synth& s, bool forward) {
    UndoHistory& h = s.undo;
    if (forward ? h.applied == h.steps.size() : h.applied == 0) return false;
    Edit edit(s);
    const UndoStep& st = h.steps[forward ? h.applied : h.applied - 1];
    auto was = std::make_unique<Document>(s.score.doc);
    applyRuns(s.score, st.runs, forward);
    applyRuns(h.base, st.runs, forward);
    h.applied += forward ? 1 : -1;
    h.joinable = false;
    postSideEffects(s, *was);
    // A step that changed the units in use may leave the current one behind.
    s.selection.currentUnit = clampInt(s.selection.currentUnit, 0, clampInt(s.score.doc.unitCount, 1, kUnitSlots) - 1);
    return true;
}

}  // namespace

void recordEdit(Synth& s) {
    UndoHistory& h = s.undo;
    const char* name = h.pendingName ? h.pendingName : "Change";
    const uint32_t key = h.pendingKey;
    h.pendingName = nullptr;
    h.pendingKey = 0;
    if (!h.recording) return;
    std::vector<uint8_t> runs = diff(h.base, s.score);
    if (runs.empty()) return;
    const int64_t t = now(h);
    if (joinsLast(h, key, t)) {
        // The step now spans from before its first edit to here.
        UndoStep& last = h.steps.back();
        auto before = std::make_unique<Score>(h.base);
        applyRuns(*before, last.runs, false);
        h.runBytes -= last.runs.size();
        last.runs = diff(*before, s.score);
        last.lastChangeMs = t;
        h.runBytes += last.runs.size();
        // Back where it started: nothing to undo.
        if (last.runs.empty()) {
            h.steps.pop_back();
            --h.applied;
            h.joinable = false;
        }
    } else {
        dropRedoSteps(h);
        h.runBytes += runs.size();
        h.steps.push_back(UndoStep{name, key, t, std::move(runs)});
        ++h.applied;
        h.joinable = true;
        keepWithinBounds(h);
    }
    std::memcpy(bytesOf(h.base), bytesOf(s.score), sizeof(Score));
}

bool undo(Synth& s) { return step(s, false); }
bool redo(Synth& s) { return step(s, true); }

const char* undoName(const Synth& s) {
    const UndoHistory& h = s.undo;
    return h.applied > 0 ? h.steps[h.applied - 1].name : nullptr;
}

const char* redoName(const Synth& s) {
    const UndoHistory& h = s.undo;
    return h.applied < h.steps.size() ? h.steps[h.applied].name : nullptr;
}

void clearHistory(Synth& s) {
    UndoHistory& h = s.undo;
    h.steps.clear();
    h.applied = 0;
    h.runBytes = 0;
    h.joinable = false;
    std::memcpy(bytesOf(h.base), bytesOf(s.score), sizeof(Score));
}

void markSaved(Synth& s) {
    std::memcpy(&s.undo.saved, &s.score.doc, sizeof(Document));
    s.undo.savedKnown = true;
    s.undo.joinable = false;
}

void forgetSaved(Synth& s) { s.undo.savedKnown = false; }

bool documentChanged(const Synth& s) {
    return !s.undo.savedKnown || std::memcmp(&s.undo.saved, &s.score.doc, sizeof(Document)) != 0;
}

void sealHistory(Synth& s) { s.undo.joinable = false; }

size_t historyFootprint(const Synth& s) {
    const UndoHistory& h = s.undo;
    size_t bytes = sizeof(UndoHistory);
    for (const UndoStep& st : h.steps) bytes += sizeof(UndoStep) + st.runs.capacity();
    return bytes;
}

}  // namespace velmor
