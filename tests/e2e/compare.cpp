// velmor-e2e-compare: the comparison of the end-to-end tests' recordings.
// It computes with the engine of the Linux build what the Windows program
// should have played and compares it with what the sound system recorded.
//
//   velmor-e2e-compare sound RECORDING [PATTERN] [--max-skip FRAMES]
//                      [--move ID POS FROM TO] [--passes N] [--events FILE]
//   velmor-e2e-compare steps PATTERN PATTERN
//   velmor-e2e-compare notes PATTERN SENT [--events FILE]
//
// RECORDING (16-bit stereo) is the playback of the start-up state, or of the
// state after loading PATTERN (with --local-off, without the units of the
// mask's bits); with --move, slider ID was moved to POS while
// the recording's length in bytes went from FROM to TO. With --events, the
// program streamed from before the recording began, with the sequencer
// standing, and FILE holds the MIDI it received at frames of that stream.
//
// Exit status 0 when the check holds, 1 when it does not, 2 on a usage or
// file error, 3 when a recording came too late to tell (play again).
//
// A recording starts and ends with silence. In between it must be the
// reference from some frame on: it "locks onto" the reference where a window
// of reference frames is found, followed backwards and forwards frame by
// frame. A sound system that falls behind plays silence and then goes on
// where it stopped (an underrun); a refill or a mix too late plays stream
// buffer contents out of place (reference frames from shortly before or
// after the expected ones). Both only make the check inconclusive; any
// other wrong frame fails it. Strict (the default): the sound must begin with
// the reference's first frame. With --max-skip, up to that many frames may
// come before the lock (a small buffer's start played more than once).
// With --passes, the recording must follow the reference without a wrong
// frame over at least N whole passes (N songs in song mode) from the lock.
//
// "steps": the two pattern files play the same steps (each note's pitch,
// slide and accent, the rests) at every position of a pass in every unit.
//
// "notes": SENT (lines of a frame and three hex bytes) holds the notes the
// program sent while PATTERN played from its start: they are the engine's
// from the start on, at the same frames, up to where the playing stopped;
// then the notes still sounding end (the lines with frame -1), each once;
// and the notes of the first pass are those "Export MIDI..." writes, to the
// tick. With --events, the program streamed for a MIDI input, the sequencer
// standing until Play started it at the first note sent, and FILE holds the
// MIDI it received (a Program Change, say) at frames of that stream.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/controls.h"
#include "engine/engine_input.h"
#include "engine/mixdown.h"
#include "engine/render.h"
#include "engine/note_output.h"
#include "files/midi_events.h"
#include "files/midi_export.h"
#include "files/midi_file.h"
#include "files/pattern_file.h"
#include "files/stream_to_disk.h"
#include "model/units.h"
#include "support/played_steps.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using Frames = std::vector<uint32_t>;
constexpr int64_t kRate = 44100;
constexpr int64_t kWindow = 4096;
constexpr double kMinSeconds = 2.0;  // the shortest bit-exact run that passes

double seconds(int64_t frames) { return static_cast<double>(frames) / kRate; }
long long ll(int64_t v) { return static_cast<long long>(v); }

// The state right after start-up, or after loading a pattern file.
std::unique_ptr<Synth> state(const char* pattern) {
    auto s = makeSynth();
    if (!startUpState(*s) || (pattern && loadPatternFile(*s, pattern) != 1)) return nullptr;
    return s;
}

// Playback from step 0 as the output renders it: the prefill of the whole
// stream buffer, then one half per refill; the slider moved before frame
// `moveAt` (a refill boundary; -1 for none).
Frames playback(const char* pattern, int64_t frames, int64_t half, int id, int pos, int64_t moveAt, uint32_t localOff) {
    auto s = state(pattern);
    publishAndReset(*s);
    s->engine.localOff = localOff;
    std::vector<int16_t> samples(static_cast<size_t>(2 * (frames + 2 * half)));
    for (int64_t done = 0; done < frames; done += done == 0 ? 2 * half : half) {
        if (done == moveAt) onSliderScrolled(*s, id, pos);
        publishAndRender(*s, &samples[2 * done], static_cast<uint32_t>(4 * (done == 0 ? 2 * half : half)));
    }
    Frames out(static_cast<size_t>(frames));
    std::memcpy(out.data(), samples.data(), 4 * out.size());
    return out;
}

// What plays with MIDI at frames from the start of the stream (the
// sequencer standing, following the events' clock), as velmor-render
// --events renders it.
Frames withEvents(const char* pattern, int64_t frames, const std::vector<TimedCommand>& events) {
    auto s = state(pattern);
    publishAndReset(*s);
    std::vector<EngineEvent> at = {{0, testing::command(EngineCommand::kClockSync, 1)}, {0, testing::command(EngineCommand::kSequencer)}};
    for (const TimedCommand& t : events) at.push_back({static_cast<int32_t>(t.frame), t.command});
    Frames out(static_cast<size_t>(frames));
    renderBlock(s->engine, reinterpret_cast<int16_t*>(out.data()), static_cast<uint32_t>(4 * frames), at);
    return out;
}

struct Outcome {
    int status = 1;         // 0 pass, 1 fail, 3 too late to tell
    int64_t wrongCap = -1;  // the first wrong frame after the lock, in the recording
    int64_t wrongRef = -1;  // where the reference stood there
};

// Where recorded frames from `c` on, expected to be the reference from
// `expected` on, lie within half a second of there, or -1: sound heard out
// of place. Silence says nothing.
int64_t displaced(const Frames& cap, int64_t c, const Frames& ref, int64_t expected) {
    constexpr int64_t kProbe = 32;
    if (c < 0 || c + kProbe > static_cast<int64_t>(cap.size())) return -1;
    if (std::all_of(&cap[c], &cap[c] + kProbe, [](uint32_t v) { return v == 0; })) return -1;
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(ref.size()) - kProbe, expected + kRate / 2);
    for (int64_t j = std::max<int64_t>(0, expected - kRate / 2); j <= last; ++j)
        if (j != expected && std::memcmp(&cap[c], &ref[j], kProbe * 4) == 0) return j;
    return -1;
}

Outcome compareSound(const Frames& cap, const Frames& ref, int64_t maxSkip, bool print, int64_t minFollowed = 0) {
#define say(...) (print ? std::printf(__VA_ARGS__) : 0)
    Outcome o;
    const int64_t capFrames = static_cast<int64_t>(cap.size()), refFrames = static_cast<int64_t>(ref.size());
    int64_t capStart = 0;
    while (capStart < capFrames && cap[capStart] == 0) ++capStart;
    if (capStart == capFrames) return say("the recording is silent\n"), o;
    // The lock: a window of the reference from its start (strict) or from
    // each of its first seconds, so that an underrun does not hide it.
    int64_t refStart = 0;
    while (refStart < refFrames && ref[refStart] == 0) ++refStart;
    int64_t c = -1, r = maxSkip == 0 ? refStart : kRate;
    for (; r + kWindow <= refFrames && r <= 6 * kRate; r = r < kRate ? kRate : r + kRate) {
        for (int64_t i = capStart; i + kWindow <= capFrames && c < 0; ++i)
            if (cap[i] == ref[r] && std::memcmp(&cap[i], &ref[r], kWindow * 4) == 0) c = i;
        if (c >= 0) break;
    }
    if (c < 0) return say("the recording never matches the reference\n"), o;
    // Backwards to where the stream begins, passing over inserted silence.
    int64_t silence = 0;
    while (c > 0 && r > 0 && (cap[c - 1] == ref[r - 1] || cap[c - 1] == 0)) {
        if (cap[c - 1] == ref[r - 1])
            silence = 0, --c, --r;
        else
            ++silence, --c;
    }
    const bool stoppedBack = c > 0 && r > 0;
    c += silence;
    const int64_t lockCap = c, lockRef = r, skipped = std::max<int64_t>(0, lockCap - capStart);
    say("lock: recording frame %lld = reference frame %lld after %lld frames of sound\n", ll(lockCap), ll(lockRef), ll(skipped));
    // Forwards to the trailing silence or a wrong frame.
    int64_t run = 0, longest = 0, gaps = 0;
    silence = 0;
    while (c < capFrames && r < refFrames && (cap[c] == ref[r] || cap[c] == 0)) {
        if (cap[c] != ref[r]) {
            ++silence, ++c;
            continue;
        }
        if (silence > 0) ++gaps, run = 0, silence = 0;
        longest = std::max(longest, ++run);
        ++c, ++r;
    }
    say("followed to reference frame %lld; %lld underrun(s); longest bit-exact run %.3f s\n", ll(r), ll(gaps), seconds(longest));
    bool timing = gaps > 0, fault = false, ok = seconds(longest) >= kMinSeconds;
    if (c < capFrames && r < refFrames) {
        o.wrongCap = c, o.wrongRef = r;
        say("first differing frame: recording frame %lld = reference frame %lld\n", ll(c), ll(r));
        ok = false;
        (displaced(cap, c, ref, r) >= 0 ? timing : fault) = true;
    } else if (r == refFrames) {
        say("the recording goes on past the reference\n");
        ok = false, fault = true;
    }
    if (r - lockRef < minFollowed) {
        say("the recording follows the reference over %.3f s, not the %.3f s asked for\n", seconds(r - lockRef), seconds(minFollowed));
        ok = false;
    }
    if (maxSkip == 0 ? lockRef != 0 || skipped != 0 : skipped > maxSkip || lockRef > maxSkip) {
        say("the sound does not begin with the reference's first frames\n");
        ok = false;
        (stoppedBack && displaced(cap, lockCap - 32, ref, lockRef - 32) >= 0 ? timing : fault) = true;
    }
    o.status = ok ? 0 : (timing && !fault ? 3 : 1);
    say("%s\n", o.status == 0 ? "PASS" : o.status == 3 ? "INCONCLUSIVE: the sound came too late" : "FAIL");
    return o;
#undef say
}

int usage() {
    std::fputs(
        "usage: velmor-e2e-compare sound RECORDING [PATTERN] [--max-skip FRAMES] [--move ID POS FROM TO]\n"
        "                          [--passes N] [--events FILE]\n"
        "       velmor-e2e-compare steps PATTERN PATTERN\n"
        "       velmor-e2e-compare notes PATTERN SENT\n",
        stderr);
    return 2;
}

// The steps of a pass, a line per position and unit ("" when the file
// cannot be loaded).
std::string playedSteps(const char* pattern) {
    const auto s = state(pattern);
    return s ? testing::played(*s) : "";
}

// The notes of a pass that the sent messages hold, in ticks (24 a step),
// each ended before `until`; sorted by start, channel and key.
using Notes = std::vector<MidiNote>;
Notes sortedNotes(Notes notes) {
    std::sort(notes.begin(), notes.end(), [](const MidiNote& a, const MidiNote& b) {
        return std::tie(a.start, a.channel, a.key, a.end) < std::tie(b.start, b.channel, b.key, b.end);
    });
    return notes;
}

// The sent notes against "Export MIDI..." of the same state: every note of
// the first pass that ended before the last message sent, to the tick.
int compareWithExport(const Synth& s, const std::vector<std::array<int64_t, 4>>& sent) {
    const int32_t sps = s.score.derived.samplesPerStep;
    const int64_t passTicks = tickOf(passFrames(s), sps), until = tickOf(sent.back()[0], sps) - 1;
    MidiFileIn file;
    std::string error;
    const std::vector<uint8_t> bytes = exportMidiBytes(s.score);
    if (!readMidiBytes(bytes.data(), bytes.size(), file, error)) return std::printf("FAIL: the export cannot be read: %s\n", error.c_str()), 1;
    Notes exported, played;
    for (const MidiNote& n : file.notes)
        if (n.end <= until) exported.push_back(n);
    int64_t open[16][128];
    uint8_t velocities[16][128];
    for (auto& row : open) std::fill(std::begin(row), std::end(row), -1);
    for (const auto& [frame, status, key, velocity] : sent) {
        const int c = static_cast<int>(status & 15), k = static_cast<int>(key & 127);
        const int64_t tick = tickOf(frame, sps);
        if ((status & 0xF0) == 0x90 && velocity != 0) {
            open[c][k] = tick, velocities[c][k] = static_cast<uint8_t>(velocity);
        } else if (open[c][k] >= 0) {
            if (open[c][k] < passTicks && tick <= until)
                played.push_back({open[c][k], tick, static_cast<uint8_t>(c), static_cast<uint8_t>(k), velocities[c][k]});
            open[c][k] = -1;
        }
    }
    exported = sortedNotes(exported), played = sortedNotes(played);
    for (size_t i = 0; i < std::max(exported.size(), played.size()); ++i) {
        const auto text = [](const Notes& v, size_t i) {
            if (i >= v.size()) return std::string("none");
            return "key " + std::to_string(v[i].key) + " on channel " + std::to_string(v[i].channel + 1) + " at velocity " +
                   std::to_string(v[i].velocity) + ", ticks " + std::to_string(v[i].start) + " to " + std::to_string(v[i].end);
        };
        if (i >= exported.size() || i >= played.size() || exported[i].start != played[i].start || exported[i].end != played[i].end ||
            exported[i].channel != played[i].channel || exported[i].key != played[i].key || exported[i].velocity != played[i].velocity)
            return std::printf("FAIL: note %zu sent is %s; exported, %s\n", i, text(played, i).c_str(), text(exported, i).c_str()), 1;
    }
    std::printf("%zu notes of the pass as Export MIDI writes them (to tick %lld of %lld)\n", played.size(), ll(until), ll(passTicks));
    return played.empty() ? 1 : 0;
}

// The notes sent against the engine's notes of the same playback, and
// against the MIDI file export.
int compareNotes(const char* pattern, const char* sentFile, const char* eventsFile) {
    struct Note {
        int64_t frame;
        unsigned status, key, velocity;
        bool operator==(const Note&) const = default;
    };
    std::vector<Note> sent, atStop;
    std::FILE* f = std::fopen(sentFile, "r");
    auto s = state(pattern);
    if (!f || !s) return std::printf("cannot read %s, or set up the state to compare with\n", sentFile), 2;
    long long frame;
    unsigned status, key, velocity;
    while (std::fscanf(f, "%lld %x %x %x", &frame, &status, &key, &velocity) == 4)
        (frame < 0 ? atStop : sent).push_back({frame, status, key, velocity});
    std::fclose(f);
    if (sent.empty()) return std::printf("FAIL: no note was sent\n"), 1;
    // With MIDI in, the stream ran for the input, the sequencer standing,
    // until Play started it where the first note went out.
    std::vector<TimedCommand> timed, standing;
    if (eventsFile) {
        std::FILE* e = std::fopen(eventsFile, "r");
        const std::string problem = e ? readMidiEvents(e, timed) : "cannot be opened";
        if (e) std::fclose(e);
        if (!problem.empty()) return std::printf("%s: %s\n", eventsFile, problem.c_str()), 2;
        standing = {{0, testing::command(EngineCommand::kSequencer, 0)}, {sent[0].frame, testing::command(EngineCommand::kSequencer, 1)}};
        timed.insert(timed.begin(), standing.begin(), standing.end());
        std::stable_sort(timed.begin(), timed.end(), [](const TimedCommand& a, const TimedCommand& b) { return a.frame < b.frame; });
    }
    // The engine's notes of the same playback, with the commands of `timed`.
    const auto playedNotes = [&](const std::vector<TimedCommand>& timed) {
        auto e = state(pattern);
        publishAndReset(*e);
        applyCommand(e->engine, testing::command(EngineCommand::kNoteOut, 1));
        std::vector<Note> notes;
        std::vector<int16_t> block(2 * 4096);
        size_t next = 0;
        for (int64_t at = 0; at <= sent.back().frame; at += 4096) {
            std::vector<EngineEvent> events;
            for (; next < timed.size() && timed[next].frame < at + 4096; ++next)
                events.push_back({static_cast<int32_t>(timed[next].frame - at), timed[next].command});
            renderBlock(e->engine, block.data(), 4 * 4096, events);
            const NoteOut& out = e->engine.noteOut;
            for (int i = 0; i < out.count; ++i)
                notes.push_back({at + out.messages[i].frame, out.messages[i].bytes[0], out.messages[i].bytes[1], out.messages[i].bytes[2]});
        }
        return notes;
    };
    const std::vector<Note> engine = playedNotes(timed);
    if (eventsFile && playedNotes(standing) == engine)
        return std::printf("FAIL: the MIDI received changes none of the notes up to frame %lld\n", ll(sent.back().frame)), 1;
    // A Stop within a stream for the input ends the notes at its frame:
    // the note-offs that close the list, at one frame, the engine's not.
    size_t played = 0;
    while (played < sent.size() && played < engine.size() && sent[played] == engine[played]) ++played;
    if (eventsFile && played > 0 && played < sent.size() &&
        std::all_of(sent.begin() + static_cast<std::ptrdiff_t>(played), sent.end(),
                    [&](const Note& n) { return (n.status & 0xF0) == 0x80 && n.frame == sent.back().frame && n.frame >= sent[played - 1].frame; })) {
        atStop.insert(atStop.begin(), sent.begin() + static_cast<std::ptrdiff_t>(played), sent.end());
        sent.resize(played);
    }
    bool sounding[16][128] = {};
    for (size_t i = 0; i < sent.size(); ++i) {
        const Note& n = sent[i];
        if (i >= engine.size() || !(n == engine[i]))
            return std::printf("FAIL: note %zu sent is %lld %02X %02X %02X, the engine's is %lld %02X %02X %02X\n", i, ll(n.frame), n.status, n.key,
                               n.velocity, i < engine.size() ? ll(engine[i].frame) : -1LL, i < engine.size() ? engine[i].status : 0,
                               i < engine.size() ? engine[i].key : 0, i < engine.size() ? engine[i].velocity : 0),
                   1;
        sounding[n.status & 15][n.key & 127] = (n.status & 0xF0) == 0x90 && n.velocity != 0;
    }
    for (const Note& n : atStop) {
        if ((n.status & 0xF0) != 0x80 || !sounding[n.status & 15][n.key & 127])
            return std::printf("FAIL: the Stop ends %02X %02X, which was not sounding\n", n.status, n.key), 1;
        sounding[n.status & 15][n.key & 127] = false;
    }
    for (int c = 0; c < 16; ++c)
        for (int k = 0; k < 128; ++k)
            if (sounding[c][k]) return std::printf("FAIL: key %d on channel %d still sounds after the Stop\n", k, c + 1), 1;
    std::printf("%zu notes sent as the engine played them (to frame %lld), %zu ended by the Stop\n", sent.size(), ll(sent.back().frame),
                atStop.size());
    std::vector<std::array<int64_t, 4>> messages;
    for (const Note& n : sent) messages.push_back({n.frame, n.status, n.key, n.velocity});
    return eventsFile ? 0 : compareWithExport(*state(pattern), messages);
}

int run(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "notes") return compareNotes(argv[2], argv[3], nullptr);
    if (argc == 6 && std::string(argv[1]) == "notes" && std::string(argv[4]) == "--events") return compareNotes(argv[2], argv[3], argv[5]);
    if (argc == 4 && std::string(argv[1]) == "steps") {
        const std::string a = playedSteps(argv[2]), b = playedSteps(argv[3]);
        if (a != b) std::printf("%sdiffer from\n%s", a.c_str(), b.c_str());
        return a.empty() ? 2 : (a == b ? 0 : 1);
    }
    if (argc < 3 || std::string(argv[1]) != "sound") return usage();
    const char* pattern = nullptr;
    const char* eventsFile = nullptr;
    int64_t maxSkip = 0, moveFrom = -1, moveTo = -1, passes = 0;
    int id = 0, pos = 0;
    uint32_t localOff = 0;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--max-skip" && i + 1 < argc) {
            maxSkip = std::atoll(argv[++i]);
        } else if (a == "--events" && i + 1 < argc) {
            eventsFile = argv[++i];
        } else if (a == "--local-off" && i + 1 < argc) {
            localOff = static_cast<uint32_t>(std::atoi(argv[++i]));
        } else if (a == "--passes" && i + 1 < argc) {
            passes = std::atoll(argv[++i]);
        } else if (a == "--move" && i + 4 < argc) {
            id = std::atoi(argv[i + 1]), pos = std::atoi(argv[i + 2]);
            moveFrom = std::atoll(argv[i + 3]) / 4, moveTo = std::atoll(argv[i + 4]) / 4;
            i += 4;
        } else if (!pattern && a[0] != '-') {
            pattern = argv[i];
        } else {
            return usage();
        }
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in || !state(pattern)) return std::printf("cannot read %s, or set up the state to compare with\n", argv[2]), 2;
    Frames cap(bytes.size() / 4);
    std::memcpy(cap.data(), bytes.data(), 4 * cap.size());
    int64_t frames = static_cast<int64_t>(cap.size()) + kRate;  // more than can have been played
    if (eventsFile) {
        std::vector<TimedCommand> events;
        std::FILE* f = std::fopen(eventsFile, "r");
        const std::string problem = f ? readMidiEvents(f, events) : "cannot be opened";
        if (f) std::fclose(f);
        if (!problem.empty()) return std::printf("%s: %s\n", eventsFile, problem.c_str()), 2;
        if (!events.empty()) frames = std::max(frames, events.back().frame + 2 * kRate);
        return compareSound(cap, withEvents(pattern, frames, events), maxSkip, true).status;
    }
    constexpr int64_t kHalf = 4096;  // frames in half of the start-up stream buffer
    const Frames plain = playback(pattern, frames, kHalf, 0, 0, -1, localOff);
    if (moveFrom < 0) return compareSound(cap, plain, maxSkip, true, passes * passFrames(*state(pattern))).status;

    // A slider moved while playing is heard from the refill after the move on:
    // the recording leaves the unchanged sound at a refill boundary, within
    // one stream buffer (and slack for the sound system) after the move, and
    // from there it is the sound with the slider moved.
    const Outcome before = compareSound(cap, plain, 0, false);
    if (before.wrongCap < 0) {
        std::printf(before.status == 3 ? "INCONCLUSIVE: the sound came too late\n" : "FAIL: the recording never leaves the unchanged sound\n");
        return before.status == 3 ? 3 : 1;
    }
    std::printf(
        "the move was made at recording frames %lld..%lld; the sound changes at recording frame %lld "
        "(reference frame %lld)\n",
        ll(moveFrom), ll(moveTo), ll(before.wrongCap), ll(before.wrongRef));
    if (before.wrongCap < moveFrom) return std::printf("FAIL: the sound changes before the move\n"), 1;
    if (before.wrongCap > moveTo + 2 * kHalf + kRate / 4)
        return std::printf("INCONCLUSIVE: the change is heard later than a stream buffer after the move\n"), 3;
    const int64_t at = before.wrongRef / kHalf * kHalf;
    if (at < 2 * kHalf) return 1;
    std::printf("against the sound with the slider moved at frame %lld:\n", ll(at));
    const int status = compareSound(cap, playback(pattern, frames, kHalf, id, pos, at, localOff), 0, true).status;
    if (status == 1 && before.wrongRef % kHalf != 0) return std::printf("INCONCLUSIVE: the move landed while a half was being rendered\n"), 3;
    return status;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
