#pragma once
// Where two scores differ, as runs of bytes: the one comparison behind both
// what the engine is sent (model/engine_feed.h) and what the undo history
// keeps (model/undo.h).

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmor {

struct RunRule {
    size_t join;       // a differing byte at most this far from the run's last one joins the run
    size_t maxLength;  // and only while the run stays this long at most
};

// Calls fn(at, length) for each run in which `was` and `now` differ within
// [from, to), in ascending order. A run begins and ends on a differing byte.
template <class Fn>
void forEachChangedRun(const uint8_t* was, const uint8_t* now, size_t from, size_t to, RunRule rule, Fn&& fn) {
    constexpr size_t kBlock = 64;  // equal blocks are passed over whole
    size_t start = 0, last = 0;    // the open run: [start, last]
    bool open = false;
    for (size_t i = from; i < to;) {
        const size_t end = i + kBlock < to ? i + kBlock : to;
        if (std::memcmp(was + i, now + i, end - i) == 0) {
            i = end;
            continue;
        }
        for (; i < end; ++i) {
            if (was[i] == now[i]) continue;
            if (open && i - last <= rule.join && i - start < rule.maxLength) {
                last = i;
                continue;
            }
            if (open) fn(start, last - start + 1);
            start = last = i;
            open = true;
        }
    }
    if (open) fn(start, last - start + 1);
}

}  // namespace velmor
