#include "model/engine_feed.h"

#include <cstring>
#include <thread>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/synth.h"

namespace velmor {

namespace {

// A transaction larger than this goes as the whole score.
constexpr size_t kWholeScoreAbove = 512;

// The bytes that differ between the score and the copy last sent, as
// patches of up to 16 bytes; the copy is brought up to date.
void collectChanges(Synth& s) {
    const auto* now = reinterpret_cast<const unsigned char*>(&s.score);
    auto* was = reinterpret_cast<unsigned char*>(&s.feed.sent);
    constexpr size_t size = sizeof(Score);
    constexpr size_t kBlock = 64;
    size_t i = 0;
    while (i < size) {
        const size_t end = i + kBlock < size ? i + kBlock : size;
        if (std::memcmp(now + i, was + i, end - i) == 0) {
            i = end;
            continue;
        }
        size_t j = i;
        while (j < end) {
            if (now[j] == was[j]) {
                ++j;
                continue;
            }
            const size_t limit = j + EngineCommand::kMaxWrite < size ? j + EngineCommand::kMaxWrite : size;
            size_t last = j;
            for (size_t k = j; k < limit; ++k)
                if (now[k] != was[k]) last = k;
            const int length = static_cast<int>(last - j + 1);
            s.feed.pending.push_back(EngineCommand::write(static_cast<uint32_t>(j), now + j, length));
            std::memcpy(was + j, now + j, static_cast<size_t>(length));
            j = last + 1;
        }
        i = j > end ? j : end;
    }
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
    if (s.engine.input.audioTakes) {
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

void renderBlock(Synth& s, int16_t* out, uint32_t byteCount) {
    publish(s);
    renderBlock(s.engine, out, byteCount);
}

void resetEngine(Synth& s) {
    publish(s);
    resetEngine(s.engine);
}

}  // namespace velmor
