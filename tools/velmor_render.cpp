// velmor-render: the synthesizer's engine without the window. Renders the
// state of the program right after start-up, or after loading a pattern
// file, exactly as "Stream 2 Disk..." would write it.

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "files/pattern_file.h"
#include "files/safe_file.h"
#include "files/stream_to_disk.h"
#include "model/units.h"

namespace velmor {
namespace {

const char kUsage[] =
    "usage: velmor-render [PATTERN.pat] -o OUT [--wav] [--frames N | --passes N] [--save SAVED.pat]\n"
    "\n"
    "Renders Velmor's output as headerless 16-bit little-endian stereo frames at\n"
    "44100 Hz (left first), the bytes that \"Stream 2 Disk...\" writes.\n"
    "\n"
    "The state is the program's right after start-up, with all defaults applied;\n"
    "given PATTERN.pat, the state right after loading that pattern file.\n"
    "\n"
    "  -o OUT          the output file (required)\n"
    "  --wav           write the same frames behind a 44-byte RIFF/WAVE header\n"
    "                  (PCM, 2 channels, 44100 Hz, 16 bits)\n"
    "  --frames N      write exactly N frames of continuous playback from the\n"
    "                  start of the pattern instead of one pass\n"
    "  --passes N      write N whole passes (N x 16 x samples-per-step frames),\n"
    "                  which loop seamlessly\n"
    "  --save SAVED    also write the pattern file that \"Save Pattern...\" would\n"
    "                  write in that state, before anything is rendered\n"
    "  --help          show this text\n"
    "\n"
    "Without --frames or --passes one pass is written as \"Stream 2 Disk...\"\n"
    "does: F - 1 frames for a pass of F = 16 x samples-per-step frames.\n"
    "Exit status 0 on success; 1 with one line on stderr when an input is\n"
    "missing or unreadable, an output cannot be written, or the arguments are\n"
    "wrong.\n";

struct Options {
    const char* pattern = nullptr;
    const char* output = nullptr;
    const char* save = nullptr;
    bool wav = false;
    bool help = false;
    int64_t frames = -1;  // -1: one pass as stream to disk writes it
    int64_t passes = -1;
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
        } else if (a == "-o") {
            if (!next) return "-o needs a file name";
            o.output = argv[++i];
        } else if (a == "--save") {
            if (!next) return "--save needs a file name";
            o.save = argv[++i];
        } else if (a == "--wav") {
            o.wav = true;
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
    if (o.help) return "";
    if (!o.output) return "no output file given (-o OUT; see --help)";
    if (o.frames >= 0 && o.passes >= 0) return "--frames and --passes exclude each other";
    return "";
}

void putLe(unsigned char* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool writeWavHeader(std::FILE* f, uint32_t dataBytes) {
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    putLe(h + 4, 36 + dataBytes, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe(h + 16, 16, 4);
    putLe(h + 20, 1, 2);       // PCM
    putLe(h + 22, 2, 2);       // channels
    putLe(h + 24, 44100, 4);   // frames per second
    putLe(h + 28, 176400, 4);  // bytes per second
    putLe(h + 32, 4, 2);       // bytes per frame
    putLe(h + 34, 16, 2);      // bits per sample
    std::memcpy(h + 36, "data", 4);
    putLe(h + 40, dataBytes, 4);
    return std::fwrite(h, 1, sizeof h, f) == sizeof h;
}

// Continuous playback from the start of the pattern.
bool renderFrames(Synth& s, std::FILE* f, int64_t frames) {
    constexpr int kBlockFrames = 512;
    int16_t block[2 * kBlockFrames];
    resetEngine(s);
    while (frames > 0) {
        const int n = frames < kBlockFrames ? static_cast<int>(frames) : kBlockFrames;
        renderBlock(s, block, static_cast<uint32_t>(n) * 4);
        if (std::fwrite(block, 4, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return false;
        frames -= n;
    }
    return std::fflush(f) == 0;
}

int run(int argc, char** argv) {
    Options o;
    const std::string problem = parseArguments(argc, argv, o);
    if (!problem.empty()) return fail(problem);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    auto s = makeSynth();
    if (!startUpState(*s)) return fail("cannot obtain the engine buffers");

    if (o.pattern) {
        std::FILE* in = std::fopen(o.pattern, "rb");
        if (!in) return fail(std::string("cannot open pattern file ") + o.pattern + ": " + std::strerror(errno));
        PatternReadStatus status;
        readPatternStream(*s, in, &status);
        // A read that fails (a folder given for the file, say) is not the
        // end of a short file.
        const bool readFailed = std::ferror(in) != 0;
        const int readError = errno;
        std::fclose(in);
        if (readFailed)
            return fail(std::string("cannot read pattern file ") + o.pattern + ": " + std::strerror(readError));
        if (status == PatternReadStatus::kShortHeader)
            return fail(std::string(o.pattern) + " is not a pattern file: it ends inside its 30-byte header");
        refreshAfterLoad(*s);
    }
    SaveResult saved;
    if (o.save && !writePatternFile(*s, o.save, &saved))
        return fail(std::string("cannot write pattern file ") + o.save + ": " + describe(saved));

    const int64_t pass = 16 * int64_t{s->store.settings.samplesPerStep};
    const int64_t frames = o.frames >= 0 ? o.frames : (o.passes >= 0 ? o.passes * pass : pass - 1);
    if (o.wav && frames * 4 > int64_t{0xFFFFFFFF} - 36) return fail("too many frames for a WAVE file");

    // An existing output file is replaced only by a complete new one.
    const SaveResult written = saveFile(o.output, [&](std::FILE* f) {
        const bool ok = !o.wav || writeWavHeader(f, static_cast<uint32_t>(frames * 4));
        return ok && (o.frames < 0 && o.passes < 0 ? streamToDisk(*s, f) == 1 : renderFrames(*s, f, frames));
    });
    if (failedToStart(written)) return fail(std::string("cannot create ") + o.output + ": " + describe(written));
    if (!written.ok()) return fail(std::string("writing ") + o.output + " failed: " + describe(written));
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) { return velmor::run(argc, argv); }
