#include "model/engine_feed.h"

#include <cstdint>
#include <cstring>
#include <thread>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/score_diff.h"
#include "model/synth.h"

namespace velmor {

namespace {

// A transaction larger than this goes as the whole score.
constexpr size_t kWholeScoreAbove = 512;

// The bytes that differ between the score and the copy last sent, as
// patches of up to 16 bytes; the copy is brought up to date.
void collectChanges(Synth& s) {
    const auto* now = reinterpret_cast<const uint8_t*>(&s.score);
    auto* was = reinterpret_cast<uint8_t*>(&s.feed.sent);
    forEachChangedRun(was, now, 0, sizeof(Score), {SIZE_MAX, EngineCommand::kMaxWrite}, [&](size_t at, size_t length) {
        s.feed.pending.push_back(EngineCommand::write(static_cast<uint32_t>(at), now + at, static_cast<int>(length)));
        std::memcpy(was + at, now + at, length);
    });
}

void forgetTakenScores(EngineFeed& f, const Engine& e) {
    const uint64_t taken = e.input.swapsApplied.load(std::memory_order_acquire);
    while (!f.swaps.empty() && f.swaps.front().first <= taken) f.swaps.pop_front();
}

// The transaction as the queue takes it: the patches, or, when they are
// many, the whole score; the other commands keep their order after them.
void queueTransaction(Synth& s) {
    EngineFeed& f = s.feed;
    EngineInput& in = s.engine.input;
    forgetTakenScores(f, s.engine);
    if (f.pending.size() > kWholeScoreAbove || !in.queue.fits(static_cast<uint32_t>(f.pending.size()))) {
        std::vector<EngineCommand> whole;
        EngineCommand swap;
        swap.kind = EngineCommand::kSwap;
        swap.sequence = ++f.swapSequence;
        auto copy = std::make_unique<Score>(s.score);
        swap.score = copy.get();
        f.swaps.emplace_back(swap.sequence, std::move(copy));
        whole.push_back(swap);
        for (const EngineCommand& c : f.pending)
            if (c.kind != EngineCommand::kWrite) whole.push_back(c);
        f.pending.swap(whole);
    }
    // Room comes at the audio thread's next block.
    while (!in.queue.fits(static_cast<uint32_t>(f.pending.size()))) std::this_thread::yield();
    for (const EngineCommand& c : f.pending) in.queue.stage(c);
    in.queue.commit();
}

void send(Synth& s) {
    EngineFeed& f = s.feed;
    if (f.pending.empty()) return;
    if (f.mirroring) {
        // Already in the engine.
    } else if (f.deliver) {
        f.deliver(f.deliverTo, s.score, f.pending);
    } else if (s.engine.input.audioTakes) {
        queueTransaction(s);
    } else {
        for (const EngineCommand& c : f.pending) applyCommand(s.engine, c);
        forgetTakenScores(f, s.engine);
    }
    f.pending.clear();
}

}  // namespace

Edit::Edit(Synth& s, const char* name, uint32_t joinKey) : s_(s) {
    ++s_.feed.depth;
    if (name && !s_.undo.pendingName) {
        s_.undo.pendingName = name;
        s_.undo.pendingKey = joinKey;
    }
}

Edit::~Edit() {
    if (--s_.feed.depth > 0) return;
    recordEdit(s_);
    publish(s_);
}

void postToEngine(Synth& s, const EngineCommand& c) {
    collectChanges(s);
    s.feed.pending.push_back(c);
    if (s.feed.depth == 0) send(s);
}

void publish(Synth& s) {
    collectChanges(s);
    send(s);
}

void publishAndRender(Synth& s, int16_t* out, uint32_t byteCount) {
    publish(s);
    renderBlock(s.engine, out, byteCount);
}

void publishAndReset(Synth& s) {
    publish(s);
    resetEngine(s.engine);
}

}  // namespace velmor
