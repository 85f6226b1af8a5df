#include "model/undo.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <memory>

#include "engine/arith.h"
#include "model/score_diff.h"
#include "model/synth.h"

namespace velmor {

namespace {

// The selected pattern is the window's choice: it is never part of a step.
constexpr size_t kSkipAt = offsetof(Score, derived) + offsetof(Derived, currentPattern);
constexpr size_t kSkipEnd = kSkipAt + sizeof(Derived::currentPattern);
// A change this close to the last one stays inside its run.
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

std::vector<uint8_t> diff(const Score& was, const Score& now) {
    std::vector<uint8_t> runs;
    const auto add = [&](size_t at, size_t length) { addRun(runs, bytesOf(was), bytesOf(now), at, length); };
    forEachChangedRun(bytesOf(was), bytesOf(now), 0, kSkipAt, {kJoinGap, SIZE_MAX}, add);
    forEachChangedRun(bytesOf(was), bytesOf(now), kSkipEnd, sizeof(Score), {kJoinGap, SIZE_MAX}, add);
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
    while (h.applied > 0 &&
           (h.steps.size() > kMaxUndoSteps || (h.steps.size() > kKeptUndoSteps && h.runBytes > kUndoBudgetBytes)))
        dropOldest(h);
}

bool joinsLast(const UndoHistory& h, uint32_t key, int64_t t) {
    if (!h.joinable || key == 0 || h.applied == 0 || h.applied != h.steps.size()) return false;
    const UndoStep& last = h.steps.back();
    return last.key == key && t - last.lastChangeMs <= kJoinWithinMs && t >= last.lastChangeMs;
}

// The commands for the running state that follow a change of the score:
// those an undo step replays. The others (notes, transport, clock) are no
// part of the document's history.
bool followsScore(const EngineCommand& c) {
    switch (c.kind) {
        case EngineCommand::kRestartOscillators:
        case EngineCommand::kClearFilter:
        case EngineCommand::kRearmEnvelope:
        case EngineCommand::kSongInserted:
        case EngineCommand::kSongDeleted: return true;
        default: return false;
    }
}

// What takes a command back: an inserted song position is deleted and the
// other way round; a restart or a clear is made again.
EngineCommand reversed(EngineCommand c) {
    if (c.kind == EngineCommand::kSongInserted)
        c.kind = EngineCommand::kSongDeleted;
    else if (c.kind == EngineCommand::kSongDeleted)
        c.kind = EngineCommand::kSongInserted;
    return c;
}

bool sameCommand(const EngineCommand& a, const EngineCommand& b) { return a.kind == b.kind && a.value == b.value; }

// The edit's commands (gathered for the engine) that a step keeps, beside
// those it holds already: a restart needs making once.
void keepCommands(const Synth& s, std::vector<EngineCommand>& kept) {
    for (const EngineCommand& c : s.feed.pending) {
        if (!followsScore(c)) continue;
        const bool known = c.kind != EngineCommand::kSongInserted && c.kind != EngineCommand::kSongDeleted &&
                           std::any_of(kept.begin(), kept.end(), [&](const EngineCommand& k) { return sameCommand(k, c); });
        if (!known) kept.push_back(c);
    }
}

bool step(Synth& s, bool forward) {
    UndoHistory& h = s.undo;
    if (forward ? h.applied == h.steps.size() : h.applied == 0) return false;
    Edit edit(s);
    const UndoStep& st = h.steps[forward ? h.applied : h.applied - 1];
    applyRuns(s.score, st.runs, forward);
    applyRuns(h.base, st.runs, forward);
    h.applied += forward ? 1 : -1;
    h.joinable = false;
    if (forward) {
        for (const EngineCommand& c : st.commands) postToEngine(s, c);
    } else {
        for (auto c = st.commands.rbegin(); c != st.commands.rend(); ++c) postToEngine(s, reversed(*c));
    }
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
    if (s.feed.mirroring) {
        // What the engine did itself (a plugin's automation) is no step.
        std::memcpy(bytesOf(h.base), bytesOf(s.score), sizeof(Score));
        return;
    }
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
        keepCommands(s, last.commands);
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
        std::vector<EngineCommand> commands;
        keepCommands(s, commands);
        h.steps.push_back(UndoStep{name, key, t, std::move(runs), std::move(commands)});
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

size_t historyFootprint(const Synth& s) {
    const UndoHistory& h = s.undo;
    size_t bytes = sizeof(UndoHistory);
    for (const UndoStep& st : h.steps)
        bytes += sizeof(UndoStep) + st.runs.capacity() + st.commands.capacity() * sizeof(EngineCommand);
    return bytes;
}

}  // namespace velmor
