// velmor-compare-capture: checks a recording of the sound output against the
// frames velmor-render computes for the same state.
//
// The recording starts with silence (the recorder runs before the program
// plays) and ends with silence (after the program stops). In between it must
// be the reference, from some frame on: the recording "locks onto" the
// reference where a stretch of it matches exactly. The lock is found by
// searching the recording for a window of reference frames and following the
// match backwards and forwards frame by frame.
//
// A sound system that falls behind (an underrun) plays silence and then goes
// on with the stream where it stopped. Such inserted silence is told apart
// from wrong frames: the stream must go on exactly where it stopped. An
// underrun only breaks the bit-exact run. A tick or a mix that comes too late
// plays stream buffer contents once more, or after they were overwritten:
// the recording then has reference frames from shortly before or after the
// expected ones. When nothing but these two went wrong, the check is
// inconclusive (exit status 3) rather than failed, so that the caller can
// play again; any other wrong frame fails it.
//
// Strict (the default): the frames right after the leading silence must be
// the reference from its first frame on. With --max-skip N, up to N
// recorded frames after the leading silence may come before the lock (a
// sound system that plays the start of a small buffer more than once).

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: velmor-compare-capture REFERENCE.raw CAPTURE.raw [--max-skip FRAMES]\n"
    "                              [--min-seconds S]\n"
    "\n"
    "Both files hold 16-bit stereo frames (4 bytes each) at 44100 Hz. Checks that\n"
    "the sound in CAPTURE (after its leading silence) is REFERENCE from its first\n"
    "frame on (or, with --max-skip, from one of its first FRAMES frames on, after\n"
    "at most FRAMES recorded frames that do not continue into it), that it goes\n"
    "on without a wrong frame up to the trailing silence, and that it is bit for\n"
    "bit equal, without any inserted silence, over at least S seconds (default 4).\n"
    "\n"
    "Exit status: 0 when the check holds; 1 when it does not; 2 on a usage or\n"
    "file error; 3 when the sound came too late but was otherwise right (the\n"
    "sound system underran, or stream buffer contents were heard out of place),\n"
    "so that there is no bit-exact run of S seconds: play again.\n";

constexpr int64_t kRate = 44100;
constexpr int64_t kWindow = 4096;

bool readFrames(const char* path, std::vector<uint32_t>& frames, std::string& error) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        error = std::string("cannot open ") + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        error = std::string("cannot read ") + path;
        return false;
    }
    frames.resize(bytes.size() / 4);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 | uint32_t{bytes[4 * i + 2]} << 16 |
                    uint32_t{bytes[4 * i + 3]} << 24;
    return true;
}

bool parseCount(const char* text, int64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

int16_t left(uint32_t frame) { return static_cast<int16_t>(frame & 0xFFFF); }
int16_t right(uint32_t frame) { return static_cast<int16_t>(frame >> 16); }
double seconds(int64_t frames) { return static_cast<double>(frames) / kRate; }
long long ll(int64_t v) { return static_cast<long long>(v); }

// The first position at or after `from` where ref[at .. at + kWindow) lies in
// cap; -1 when nowhere.
int64_t findWindow(const std::vector<uint32_t>& cap, int64_t from, const std::vector<uint32_t>& ref, int64_t at) {
    const int64_t last = static_cast<int64_t>(cap.size()) - kWindow;
    for (int64_t c = from; c <= last; ++c) {
        if (cap[c] == ref[at] && std::memcmp(&cap[c], &ref[at], kWindow * 4) == 0) return c;
    }
    return -1;
}

struct Gap {
    int64_t capFrame, refFrame, frames;
};

// The recording followed along the reference in one direction: equal frames
// match; a silent recorded frame where the reference has sound is inserted
// silence; anything else is a wrong frame.
struct Walk {
    int64_t cap = 0, ref = 0;   // one past the last matched pair (backwards: the first),
                                // or forwards the wrong frame
    bool wrongFrame = false;    // stopped at a wrong frame (else at an end)
    std::vector<Gap> gaps;      // inserted silence followed by more of the stream
    int64_t longestRun = 0;     // the longest stretch without inserted silence
    int64_t longestRunRef = 0;  // where it starts in the reference (forwards only)
};

Walk forward(const std::vector<uint32_t>& cap, const std::vector<uint32_t>& ref, int64_t c, int64_t r) {
    Walk w;
    const int64_t capEnd = static_cast<int64_t>(cap.size());
    const int64_t refEnd = static_cast<int64_t>(ref.size());
    int64_t run = 0, runStart = r, silence = 0;
    while (c < capEnd && r < refEnd) {
        if (cap[c] == ref[r]) {
            if (silence > 0) {
                w.gaps.push_back({c - silence, r, silence});
                silence = 0;
                run = 0;
                runStart = r;
            }
            ++run;
            if (run > w.longestRun) {
                w.longestRun = run;
                w.longestRunRef = runStart;
            }
            ++c;
            ++r;
        } else if (cap[c] == 0) {
            ++silence;
            ++c;
        } else {
            w.wrongFrame = true;
            break;
        }
    }
    w.cap = w.wrongFrame ? c : c - silence;  // trailing silence is the end, not a gap
    w.ref = r;
    return w;
}

Walk backward(const std::vector<uint32_t>& cap, const std::vector<uint32_t>& ref, int64_t c, int64_t r) {
    Walk w;
    int64_t silence = 0;
    while (c > 0 && r > 0) {
        if (cap[c - 1] == ref[r - 1]) {
            if (silence > 0) {
                w.gaps.push_back({c, r, silence});
                silence = 0;
            }
            --c;
            --r;
        } else if (cap[c - 1] == 0) {
            ++silence;
            --c;
        } else {
            w.wrongFrame = true;
            break;
        }
    }
    w.cap = c + silence;
    w.ref = r;
    return w;
}

// Where the recorded frames from `c` on, expected to be the reference from
// `expected` on, lie in the reference within half a second of there, or -1.
// Such displaced sound is stream buffer contents heard once more, or after
// they had been overwritten: a tick or a mix too late. A silent stretch says
// nothing.
int64_t displacedFrom(const std::vector<uint32_t>& cap, int64_t c, const std::vector<uint32_t>& ref,
                      int64_t expected) {
    constexpr int64_t kProbe = 32;
    if (c < 0 || c + kProbe > static_cast<int64_t>(cap.size())) return -1;
    bool sound = false;
    for (int64_t i = 0; i < kProbe; ++i) sound = sound || cap[c + i] != 0;
    if (!sound) return -1;
    const int64_t first = std::max<int64_t>(0, expected - kRate / 2);
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(ref.size()) - kProbe, expected + kRate / 2);
    for (int64_t j = first; j <= last; ++j) {
        if (j != expected && std::memcmp(&cap[c], &ref[j], kProbe * 4) == 0) return j;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* refPath = nullptr;
    const char* capPath = nullptr;
    int64_t maxSkip = 0;
    double minSeconds = 4.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--max-skip") {
            if (!parseCount(next, maxSkip)) {
                std::fprintf(stderr, "velmor-compare-capture: --max-skip needs a whole number\n");
                return 2;
            }
            ++i;
        } else if (a == "--min-seconds") {
            char* end = nullptr;
            minSeconds = next ? std::strtod(next, &end) : -1.0;
            if (!next || *end != '\0' || !(minSeconds >= 0.0)) {
                std::fprintf(stderr, "velmor-compare-capture: --min-seconds needs a number\n");
                return 2;
            }
            ++i;
        } else if (!refPath) {
            refPath = argv[i];
        } else if (!capPath) {
            capPath = argv[i];
        } else {
            std::fprintf(stderr, "velmor-compare-capture: unexpected argument %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (!capPath) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<uint32_t> ref, cap;
    std::string error;
    if (!readFrames(refPath, ref, error) || !readFrames(capPath, cap, error)) {
        std::fprintf(stderr, "velmor-compare-capture: %s\n", error.c_str());
        return 2;
    }
    const int64_t refFrames = static_cast<int64_t>(ref.size());
    const int64_t capFrames = static_cast<int64_t>(cap.size());
    std::printf("reference: %lld frames (%.3f s); recording: %lld frames (%.3f s)\n", ll(refFrames),
                seconds(refFrames), ll(capFrames), seconds(capFrames));

    int64_t capStart = 0;  // the first recorded frame that is not silent
    while (capStart < capFrames && cap[capStart] == 0) ++capStart;
    if (capStart == capFrames) {
        std::printf("FAIL: the recording is silent\n");
        return 1;
    }
    int64_t capEnd = capFrames;  // one past the last recorded frame that is not silent
    while (cap[capEnd - 1] == 0) --capEnd;
    std::printf("leading silence: %lld frames (%.3f s); sound: %lld frames (%.3f s); trailing silence: %lld frames\n",
                ll(capStart), seconds(capStart), ll(capEnd - capStart), seconds(capEnd - capStart),
                ll(capFrames - capEnd));

    // Search windows from the start of the reference's sound on, then one
    // every second, so that an underrun inside one window does not hide the
    // lock. A window found in more than one place (a repeating sound) is
    // taken at its first.
    int64_t refStart = 0;
    while (refStart < refFrames && ref[refStart] == 0) ++refStart;
    std::vector<int64_t> windows;
    if (maxSkip == 0) windows.push_back(refStart);
    for (int64_t at = kRate; at + kWindow <= refFrames && windows.size() < 6; at += kRate) windows.push_back(at);
    int64_t windowRef = -1, windowCap = -1;
    for (const int64_t at : windows) {
        if (at + kWindow > refFrames) continue;
        windowCap = findWindow(cap, capStart, ref, at);
        if (windowCap >= 0) {
            windowRef = at;
            break;
        }
    }
    if (windowRef < 0) {
        std::printf("FAIL: the recording never matches the reference (no 4096-frame window found)\n");
        return 1;
    }

    const Walk back = backward(cap, ref, windowCap, windowRef);
    const int64_t lockCap = back.cap;
    const int64_t lockRef = back.ref;
    // Recorded sound before the lock that does not continue into the stream.
    const int64_t skipped = lockCap > capStart ? lockCap - capStart : 0;
    std::printf("lock: recording frame %lld = reference frame %lld; %lld frames (%.3f s) of sound before it skipped\n",
                ll(lockCap), ll(lockRef), ll(skipped), seconds(skipped));

    const Walk from = forward(cap, ref, lockCap, lockRef);
    std::printf("stream followed: reference frames %lld..%lld (%.3f s)\n", ll(lockRef), ll(from.ref - 1),
                seconds(from.ref - lockRef));
    std::printf("longest bit-exact run: %lld frames (%.3f s), reference frames %lld..%lld\n", ll(from.longestRun),
                seconds(from.longestRun), ll(from.longestRunRef), ll(from.longestRunRef + from.longestRun - 1));
    if (!from.gaps.empty()) {
        int64_t total = 0;
        for (const Gap& g : from.gaps) total += g.frames;
        std::printf("underruns: %zu (%lld frames of silence inserted by the sound system; the stream went on where it "
                    "stopped each time)\n",
                    from.gaps.size(), ll(total));
        for (size_t i = 0; i < from.gaps.size() && i < 5; ++i)
            std::printf("  %lld frames of silence at recording frame %lld, before reference frame %lld\n",
                        ll(from.gaps[i].frames), ll(from.gaps[i].capFrame), ll(from.gaps[i].refFrame));
    }

    // Displaced reference frames come from timing, as does inserted silence;
    // any other wrong frame is a fault.
    bool timing = !from.gaps.empty();
    bool fault = false;
    bool ok = true;
    if (from.wrongFrame) {
        std::printf("first differing frame: recording frame %lld = reference frame %lld (%.3f s into the reference): "
                    "recorded %d/%d, expected %d/%d; %lld frames of sound follow\n",
                    ll(from.cap), ll(from.ref), seconds(from.ref), left(cap[from.cap]), right(cap[from.cap]),
                    left(ref[from.ref]), right(ref[from.ref]), ll(capEnd - from.cap));
        ok = false;
        const int64_t displaced = displacedFrom(cap, from.cap, ref, from.ref);
        if (displaced >= 0) {
            std::printf("there the recording has reference frames from %lld on (%+lld frames off): stream "
                        "buffer contents heard before their refill or after they were overwritten (a tick or a mix "
                        "too late)\n",
                        ll(displaced), ll(displaced - from.ref));
            timing = true;
        } else {
            fault = true;
        }
    } else if (from.ref == refFrames) {
        std::printf("the recording's sound goes on past the reference's end: render a longer reference\n");
        ok = false;
        fault = true;
    } else {
        std::printf("no differing frame up to the recording's trailing silence\n");
    }
    const bool lateLock = maxSkip == 0 ? lockRef != 0 || skipped != 0 : skipped > maxSkip || lockRef > maxSkip;
    if (lateLock) {
        if (maxSkip == 0)
            std::printf("the sound does not start with the reference's first frame\n");
        else
            std::printf("the lock comes later than %lld frames into the sound or the reference\n", ll(maxSkip));
        ok = false;
        const int64_t displaced = back.wrongFrame ? displacedFrom(cap, lockCap - 32, ref, lockRef - 32) : -1;
        if (displaced >= 0) {
            std::printf("before the lock the recording has reference frames from %lld on (%+lld frames off): "
                        "stream buffer contents heard before their refill or after they were overwritten (a tick or "
                        "a mix too late)\n",
                        ll(displaced), ll(displaced - (lockRef - 32)));
            timing = true;
        } else {
            fault = true;
        }
    }
    if (seconds(from.longestRun) < minSeconds) {
        std::printf("no bit-exact run of %.3f s\n", minSeconds);
        ok = false;
    }
    if (ok) {
        std::printf("PASS\n");
        return 0;
    }
    if (timing && !fault) {
        std::printf("INCONCLUSIVE: the sound was right but came too late (underruns or a late refill)\n");
        return 3;
    }
    std::printf("FAIL\n");
    return 1;
}
