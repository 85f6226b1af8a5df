// velmor-render: the synthesizer's engine without the window. Renders the
// state of the program right after start-up, or after loading a pattern
// file, exactly as "Stream 2 Disk..." would write it.

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "files/midi_events.h"
#include "files/midi_export.h"
#include "files/midi_import.h"
#include "files/midi_timeline.h"
#include "files/pattern_file.h"
#include "files/safe_file.h"
#include "files/stream_to_disk.h"
#include "files/user_wave.h"
#include "files/wave_file.h"
#include "model/parameters.h"
#include "model/song.h"
#include "model/units.h"
#include "velmor_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velmor {
namespace {

const char kUsage[] =
    "usage: velmor-render [PATTERN.pat] [--import-midi IN.mid] [--user-wave RAW]\n"
    "                     -o OUT [--wav]\n"
    "                     [--song | --pattern N] [--frames N | --passes N]\n"
    "                     [--save SAVED.pat] [--export-midi OUT.mid]\n"
    "                     [--events EVENTS.txt [--play] | --midi FILE.mid]\n"
    "\n"
    "Renders Velmor's output as headerless 16-bit little-endian stereo frames at\n"
    "44100 Hz (left first), the bytes that \"Stream 2 Disk...\" writes.\n"
    "\n"
    "The state is the program's right after start-up, with all defaults applied;\n"
    "given PATTERN.pat, the state right after loading that pattern file (pattern\n"
    "1 selected, song mode as the file holds it, its swing and accents); with\n"
    "--import-midi, what \"Import MIDI...\" makes of a MIDI file in that state;\n"
    "with --user-wave, the \"User\" waveform then loaded as \"Load...\" loads it.\n"
    "\n"
    "  -o OUT          the output file; - writes to standard output, for piping\n"
    "                  into other audio tools (required unless --save or\n"
    "                  --export-midi is given: then nothing is rendered without it)\n"
    "  --wav           write the same frames behind a 44-byte RIFF/WAVE header\n"
    "                  (PCM, 2 channels, 44100 Hz, 16 bits)\n"
    "  --song          play the song: every song position once per pass, in order\n"
    "  --pattern N     play pattern N (1 to 64) in pattern mode\n"
    "  --frames N      write exactly N frames of continuous playback from the\n"
    "                  start (following the song in song mode) instead of one pass\n"
    "  --passes N      write N whole passes (N x F frames), which loop seamlessly\n"
    "  --save SAVED    also write the pattern file that \"Save Pattern...\" would\n"
    "                  write in that state (after --song or --pattern), before\n"
    "                  anything is rendered\n"
    "  --import-midi IN.mid\n"
    "                  import a Standard MIDI File (format 0 or 1) as \"Import\n"
    "                  MIDI...\" does: its notes become the song's patterns, in\n"
    "                  song mode at the file's first tempo (channels 1 to 4 to\n"
    "                  units 1 to 4); a line on standard error tells how many\n"
    "                  notes were placed, merged and dropped, and why\n"
    "  --user-wave RAW load the \"User\" waveform from a raw file of up to 1024\n"
    "                  16-bit little-endian samples, as the oscillators'\n"
    "                  \"Load...\" button does (a shorter file sets the samples\n"
    "                  it holds)\n"
    "  --export-midi OUT.mid\n"
    "                  also write the MIDI file that \"Export MIDI...\" would\n"
    "                  write in that state: one pass, a track per unit\n"
    "  --events FILE   play MIDI into the MIDI input while rendering: each line of\n"
    "                  FILE holds a frame number in decimal, then bytes in hex,\n"
    "                  which reach the input in that order at that frame, as on a\n"
    "                  cable (\"0 90 2D 64\": the key A2 at velocity 100 at frame\n"
    "                  0; \"44100 F8\": a clock tick a second later; # starts a\n"
    "                  comment; lines in frame order). Unit n plays the keys of\n"
    "                  channel n. The sequencer stands until the events start it\n"
    "                  (Start, FA): it follows their MIDI clock. Renders --frames\n"
    "                  N frames, or up to two seconds past the last event\n"
    "  --midi FILE.mid play a Standard MIDI File through the MIDI input: channel\n"
    "                  n plays unit n (with the settings of PATTERN.pat, or of\n"
    "                  the start-up), each event at the frame nearest its time\n"
    "                  in the file's tempo map; the tempo (for slides) follows\n"
    "                  the file's. The sequencer stands. Renders --frames N\n"
    "                  frames, or up to two seconds past the file's end\n"
    "  --play          with --events: the sequencer plays from the start at the\n"
    "                  tempo, as after Play, and the events' clock is not followed\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "A pass is one round of what Play plays: the selected pattern once in\n"
    "pattern mode, F = 16 x samples-per-step frames; every song position once\n"
    "in song mode, F = positions x 16 x samples-per-step frames. Without\n"
    "--frames or --passes one pass is written as \"Stream 2 Disk...\" does:\n"
    "F - 1 frames. While it renders, a progress line is shown on standard error\n"
    "when that is a terminal.\n"
    "Exit status 0 on success; 1 with one line on stderr when an input is\n"
    "missing or unreadable, an output cannot be written, or the arguments are\n"
    "wrong.\n";

struct Options {
    const char* pattern = nullptr;
    const char* output = nullptr;
    const char* save = nullptr;
    const char* importMidi = nullptr;
    const char* exportMidi = nullptr;
    const char* userWave = nullptr;
    bool wav = false;
    bool help = false;
    bool version = false;
    bool song = false;
    int patternNumber = 0;  // --pattern 1..64; 0: as loaded
    int64_t frames = -1;    // -1: one pass as stream to disk writes it
    int64_t passes = -1;
    const char* events = nullptr;
    const char* midi = nullptr;
    bool play = false;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "velmor-render: %s\n", message.c_str());
    return 1;
}

bool parseCount(const char* text, int64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > (int64_t{1} << 40)) return false;
    value = v;
    return true;
}

// Returns an empty string on success, else what is wrong with the arguments.
std::string parseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "-o") {
            if (!next) return "-o needs a file name";
            o.output = argv[++i];
        } else if (a == "--save") {
            if (!next) return "--save needs a file name";
            o.save = argv[++i];
        } else if (a == "--import-midi" || a == "--export-midi") {
            if (!next) return a + " needs a file name";
            (a == "--import-midi" ? o.importMidi : o.exportMidi) = argv[++i];
        } else if (a == "--user-wave") {
            if (!next) return "--user-wave needs a file name";
            o.userWave = argv[++i];
        } else if (a == "--wav") {
            o.wav = true;
        } else if (a == "--events") {
            if (!next) return "--events needs a file name";
            o.events = argv[++i];
        } else if (a == "--midi") {
            if (!next) return "--midi needs a file name";
            o.midi = argv[++i];
        } else if (a == "--play") {
            o.play = true;
        } else if (a == "--song") {
            o.song = true;
        } else if (a == "--pattern") {
            int64_t n = 0;
            if (!parseCount(next, n) || n < 1 || n > 64) return "--pattern needs a pattern number from 1 to 64";
            o.patternNumber = static_cast<int>(n);
            ++i;
        } else if (a == "--frames" || a == "--passes") {
            int64_t& target = a == "--frames" ? o.frames : o.passes;
            if (!parseCount(next, target)) return a + " needs a whole number of at most 2^40";
            ++i;
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option " + a + " (see --help)";
        } else if (o.pattern) {
            return "more than one pattern file given: " + a;
        } else {
            o.pattern = argv[i];
        }
    }
    if (o.help || o.version) return "";
    if (!o.output && !o.save && !o.exportMidi) return "no output file given (-o OUT; see --help)";
    if (o.frames >= 0 && o.passes >= 0) return "--frames and --passes exclude each other";
    if (o.song && o.patternNumber > 0) return "--song and --pattern exclude each other";
    if (o.events && o.passes >= 0) return "--events and --passes exclude each other";
    if (o.play && !o.events) return "--play goes with --events";
    if (o.midi && (o.events || o.passes >= 0)) return "--midi excludes --events and --passes";
    return "";
}

// A progress line on standard error, when that is a terminal: renders of
// long songs take a while.
class Progress {
public:
    explicit Progress(int64_t total) : total_(total), shown_(isTerminal(stderr)) {}
    ~Progress() {
        if (shown_ && drawn_) std::fputc('\n', stderr);
    }
    void update(int64_t done) {
        if (!shown_ || total_ <= 0) return;
        const int percent = static_cast<int>(done * 100 / total_);
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        drawn_ = true;
        std::fprintf(stderr, "\rvelmor-render: %3d%% (%.1f of %.1f s)", percent, done / 44100.0, total_ / 44100.0);
        std::fflush(stderr);
    }
    static bool callback(void* context, int64_t done, int64_t) {
        static_cast<Progress*>(context)->update(done);
        return true;
    }

private:
    static bool isTerminal(std::FILE* f) {
#ifdef _WIN32
        return _isatty(_fileno(f)) != 0;
#else
        return isatty(fileno(f)) != 0;
#endif
    }
    int64_t total_;
    bool shown_;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

// Continuous playback from the start of the pattern or song.
bool renderFrames(Synth& s, std::FILE* f, int64_t frames, bool wav) {
    constexpr int kBlockFrames = 512;
    int16_t block[2 * kBlockFrames];
    if (wav && !writeWaveHeader(f, static_cast<uint32_t>(frames * 4))) return false;
    Progress progress(frames);
    publishAndReset(s);
    for (int64_t done = 0; done < frames;) {
        const int n = frames - done < kBlockFrames ? static_cast<int>(frames - done) : kBlockFrames;
        publishAndRender(s, block, static_cast<uint32_t>(n) * 4);
        if (std::fwrite(block, 4, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return false;
        done += n;
        progress.update(done);
    }
    return std::fflush(f) == 0;
}

// Playback with commands (MIDI) at their frames, `first` at frame 0; a
// tempo change ends the block before it.
bool renderTimed(Synth& s, std::FILE* f, int64_t frames, const std::vector<TimedCommand>& events,
                 const std::vector<MidiTempoAt>& tempos, std::vector<EngineEvent> first, bool wav) {
    constexpr int kBlockFrames = 512;
    int16_t block[2 * kBlockFrames];
    if (wav && !writeWaveHeader(f, static_cast<uint32_t>(frames * 4))) return false;
    Progress progress(frames);
    publishAndReset(s);
    std::vector<EngineEvent> inBlock = std::move(first);
    size_t next = 0, tempo = 0;
    for (int64_t done = 0; done < frames;) {
        int n = frames - done < kBlockFrames ? static_cast<int>(frames - done) : kBlockFrames;
        if (tempo < tempos.size() && tempos[tempo].frame <= done) {
            setLinked(s, Param::kTempo, tempos[tempo++].beatsPerMinute);
            continue;
        }
        if (tempo < tempos.size() && tempos[tempo].frame < done + n) n = static_cast<int>(tempos[tempo].frame - done);
        for (; next < events.size() && events[next].frame < done + n; ++next)
            inBlock.push_back({static_cast<int32_t>(events[next].frame - done), events[next].command});
        renderBlock(s.engine, block, static_cast<uint32_t>(n) * 4, inBlock);
        inBlock.clear();
        if (std::fwrite(block, 4, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return false;
        done += n;
        progress.update(done);
    }
    return std::fflush(f) == 0;
}

// Playback with MIDI at frames: the sequencer stands and follows the
// events' clock, or (play) runs from the start.
bool renderEvents(Synth& s, std::FILE* f, int64_t frames, const std::vector<TimedCommand>& events, bool play, bool wav) {
    std::vector<EngineEvent> first;
    if (!play)
        first = {{0, EngineCommand::of(EngineCommand::kClockSync, 1)}, {0, EngineCommand::of(EngineCommand::kSequencer, 0)}};
    return renderTimed(s, f, frames, events, {}, first, wav);
}

// A MIDI file through the note input, the sequencer standing, the tempo
// following the file's.
bool renderMidi(Synth& s, std::FILE* f, int64_t frames, const MidiTimeline& t, bool wav) {
    return renderTimed(s, f, frames, t.messages, t.tempos, {{0, EngineCommand::of(EngineCommand::kSequencer, 0)}}, wav);
}

// One pass as "Stream 2 Disk..." writes it.
bool renderPass(Synth& s, std::FILE* f, bool wav) {
    Progress progress(passFrames(s) - 1);
    StreamOptions options;
    options.wave = wav;
    options.progress = Progress::callback;
    options.context = &progress;
    return streamToDisk(s, f, options) == 1;
}

int run(int argc, char** argv) {
    Options o;
    const std::string problem = parseArguments(argc, argv, o);
    if (!problem.empty()) return fail(problem);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::puts("velmor-render " VELMOR_VERSION_TEXT);
        return 0;
    }

    auto s = makeSynth();
    if (!startUpState(*s)) return fail("cannot obtain the engine buffers");

    if (o.pattern) {
        std::FILE* in = std::fopen(o.pattern, "rb");
        if (!in) return fail(std::string("cannot open pattern file ") + o.pattern + ": " + std::strerror(errno));
        PatternReadStatus status;
        loadPatternStream(*s, in, &status);
        // A read that fails (a folder given for the file, say) is not the
        // end of a short file.
        const bool readFailed = std::ferror(in) != 0;
        const int readError = errno;
        std::fclose(in);
        if (readFailed) return fail(std::string("cannot read pattern file ") + o.pattern + ": " + std::strerror(readError));
        if (status == PatternReadStatus::kShortHeader)
            return fail(std::string(o.pattern) + " is not a pattern file: it ends inside its 30-byte header");
    }
    if (o.importMidi) {
        std::string report;
        if (!importMidiFile(*s, o.importMidi, report)) return fail(std::string("cannot import ") + o.importMidi + ": " + report);
        std::fprintf(stderr, "velmor-render: imported %s: %s\n", o.importMidi, report.c_str());
    }
    errno = 0;
    if (o.userWave && !loadUserWave(*s, o.userWave))
        return fail(std::string("cannot read the user waveform ") + o.userWave + ": " +
                    (errno != 0 ? std::strerror(errno) : "a read failed"));
    if (o.song) setSongMode(*s, true);
    if (o.patternNumber > 0) {
        setSongMode(*s, false);
        selectPattern(*s, o.patternNumber - 1);
    }
    SaveResult saved;
    if (o.save && !writePatternFile(s->score.doc, o.save, &saved))
        return fail(std::string("cannot write pattern file ") + o.save + ": " + describe(saved));
    if (o.exportMidi && !exportMidiFile(s->score, o.exportMidi, &saved))
        return fail(std::string("cannot write MIDI file ") + o.exportMidi + ": " + describe(saved));
    if (!o.output) return 0;

    std::vector<TimedCommand> events;
    if (o.events) {
        std::FILE* in = std::fopen(o.events, "r");
        if (!in) return fail(std::string("cannot open events file ") + o.events + ": " + std::strerror(errno));
        const std::string problem = readMidiEvents(in, events);
        std::fclose(in);
        if (!problem.empty()) return fail(std::string(o.events) + ", " + problem);
    }

    const int64_t pass = passFrames(*s);
    int64_t frames = o.frames >= 0 ? o.frames : (o.passes >= 0 ? o.passes * pass : pass - 1);
    if (o.events && o.frames < 0) frames = (events.empty() ? 0 : events.back().frame) + 88200;
    MidiTimeline timeline;
    if (o.midi) {
        std::vector<uint8_t> bytes;
        MidiFileIn file;
        std::string problem;
        if (!loadFileBytes(o.midi, bytes, problem) || !readMidiBytes(bytes.data(), bytes.size(), file, problem))
            return fail(std::string("cannot play ") + o.midi + ": " + problem);
        timeline = timelineOf(file);
        if (o.frames < 0) frames = timeline.endFrame + 88200;
    }
    if (o.wav && frames > kMaxWaveFrames) return fail("too many frames for a WAVE file");

    const auto content = [&](std::FILE* f) {
        if (o.events) return renderEvents(*s, f, frames, events, o.play, o.wav);
        if (o.midi) return renderMidi(*s, f, frames, timeline, o.wav);
        return o.frames < 0 && o.passes < 0 ? renderPass(*s, f, o.wav) : renderFrames(*s, f, frames, o.wav);
    };
    if (std::strcmp(o.output, "-") == 0) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (!content(stdout) || std::fflush(stdout) != 0) return fail("writing to standard output failed");
        return 0;
    }
    // An existing output file is replaced only by a complete new one.
    const SaveResult written = saveFile(o.output, content);
    if (failedToStart(written)) return fail(std::string("cannot create ") + o.output + ": " + describe(written));
    if (!written.ok()) return fail(std::string("writing ") + o.output + " failed: " + describe(written));
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
