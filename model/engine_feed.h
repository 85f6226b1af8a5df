#pragma once
// How the model's changes reach the engine. Every operation that changes
// the score is an edit; when the outermost edit ends, what changed since the
// last one (found by comparing the score with the copy last sent) travels to
// the engine as one transaction of patches, together with the commands the
// edit posted for the running state, in the order they were made. While the
// audio thread renders, the transaction goes through the engine's queue and
// applies at the start of its next block; otherwise it applies at once.

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "base/document.h"
#include "engine/engine_input.h"

namespace velmor {

struct Synth;

struct EngineFeed {
    Score sent;                          // the score as the engine has it once all is applied
    std::vector<EngineCommand> pending;  // the transaction being gathered
    int depth = 0;                       // open edits
    uint64_t swapSequence = 0;
    std::deque<std::pair<uint64_t, std::unique_ptr<Score>>> swaps;  // sent whole, not yet taken
    // A front end that hands the engine to a thread of its own making (a
    // plugin's audio thread) takes each transaction here instead, with the
    // score it leads to.
    void (*deliver)(void* to, const Score& score, const std::vector<EngineCommand>& transaction) = nullptr;
    void* deliverTo = nullptr;
    // The edits now made repeat what the engine did itself (a plugin's
    // automation): the copy last sent takes them, and nothing is sent.
    bool mirroring = false;
};

// An edit: opened by every operation that changes the score; nested edits
// belong to the outermost one. When the outermost edit ends, what it changed
// becomes a step of the undo history (model/undo.h) named after the first
// edit that gave a name; edits with the same join key that follow closely
// make one step.
class Edit {
public:
    explicit Edit(Synth& s, const char* name = nullptr, uint32_t joinKey = 0);
    ~Edit();
    Edit(const Edit&) = delete;
    Edit& operator=(const Edit&) = delete;

private:
    Synth& s_;
};

// A command for the engine's running state, applied after the changes made
// so far (a phase restart reads the new phase, for instance).
void postToEngine(Synth& s, const EngineCommand& c);

// Sends what changed and what was posted, as one transaction. The edits do
// this themselves; it is for code that wrote the score directly (tests).
void publish(Synth& s);

// For front ends with one thread (the renderer, tests): what changed is
// sent, then the engine renders or resets.
void publishAndRender(Synth& s, int16_t* out, uint32_t byteCount);
void publishAndReset(Synth& s);

}  // namespace velmor
