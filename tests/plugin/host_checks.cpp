#include "host_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "files/pattern_file.h"
#include "plugin/base64.h"
#include "plugin/plugin_core.h"
#include "frozen_parameters.h"
#include "plugin/plugin_parameters.h"
#include "realtime_counter.h"
#include "support/sequencer_notes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace velmor::hosttest {

namespace {

int failed = 0;

// What a host plays: keys at frames of the whole run, and parameter changes
// at theirs, which go in at the first frame of the block holding them
// unless `atFrames`.
struct Script {
    uint32_t frames = 0;
    std::vector<MidiAt> keys;
    std::vector<std::pair<uint32_t, ParameterChange>> changes;
    bool atFrames = false;
};

// A parameter by its symbol.
uint32_t parameter(const char* symbol) {
    uint32_t index = 0;
    if (!pluginParameterOfSymbol(symbol, index)) fail(std::string("no parameter ") + symbol);
    return index;
}

// Held notes, a legato slide and its return, velocities on both sides of
// the accent threshold, keys on the other units' channels, and All Notes
// Off while a key is held.
Script keys(uint32_t frames, uint8_t base) {
    const auto at = [base](uint32_t frame, uint8_t status, int offset, uint8_t velocity) {
        return MidiAt{frame, {status, static_cast<uint8_t>(base + offset), velocity}};
    };
    return {frames,
            {at(100, 0x90, 0, 110),
             at(4000, 0x91, 5, 127),
             at(9000, 0x90, 3, 90),
             at(11111, 0x92, 12, 101),
             at(15000, 0x80, 3, 0),
             {17000, {0xB0, 123, 0}},
             at(18000, 0x81, 5, 0),
             at(20000, 0x93, -2, 64),
             at(20000, 0x90, -5, 101),
             at(26000, 0x80, -5, 0),
             at(26001, 0x80, 0, 0)},
            {}};
}

// A script's output in blocks of `block` frames through `process`, left and
// right interleaved; false when a block was refused.
template <class Process>
bool playThrough(const Script& s, uint32_t block, std::vector<float>& out, Process process) {
    out.assign(2 * static_cast<size_t>(s.frames), 0.0f);
    std::vector<float> l(block), r(block);
    size_t k = 0, c = 0;
    for (uint32_t done = 0; done < s.frames; done += block) {
        const uint32_t n = std::min(block, s.frames - done);
        std::vector<MidiAt> midi;
        for (; k < s.keys.size() && s.keys[k].frame < done + n; ++k) midi.push_back(s.keys[k]), midi.back().frame -= done;
        std::vector<ParameterChange> changes;
        for (; c < s.changes.size() && s.changes[c].first < done + n; ++c)
            changes.push_back(s.changes[c].second), changes.back().frame = s.atFrames ? s.changes[c].first - done : 0;
        if (!process(l.data(), r.data(), n, midi, changes)) return false;
        for (uint32_t i = 0; i < n; ++i) out[2 * (done + i)] = l[i], out[2 * (done + i) + 1] = r[i];
    }
    return true;
}

// The plugin core's own output for the same script and blocks.
std::vector<float> reference(PluginCore& core, const Script& s, uint32_t block) {
    std::vector<float> out;
    playThrough(s, block, out, [&core](float* l, float* r, uint32_t n, const std::vector<MidiAt>& midi, const std::vector<ParameterChange>& changes) {
        std::vector<HostEvent> events;
        for (const auto& [index, value, frame] : changes) events.push_back({frame, true, 0, {}, index, static_cast<float>(value)});
        for (const MidiAt& m : midi) events.push_back({m.frame, false, 3, {m.bytes[0], m.bytes[1], m.bytes[2]}});
        core.process(l, r, n, events.data(), static_cast<uint32_t>(events.size()), HostTime{});
        return true;
    });
    return out;
}

std::string hz(double rate) { return std::to_string(static_cast<int>(rate)) + " Hz"; }

// Fails with the first frame where `got` differs from `expected`.
void same(const std::vector<float>& got, const std::vector<float>& expected, const std::string& what) {
    const auto [g, e] = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    std::ostringstream line;
    if (got.size() != expected.size())
        line << what << ": " << got.size() / 2 << " frames instead of " << expected.size() / 2;
    else if (g != got.end())
        line << what << ": frame " << (g - got.begin()) / 2 << ((g - got.begin()) % 2 ? " right " : " left ") << *g << " instead of " << *e;
    if (!line.str().empty()) fail(line.str());
}

float loudest(const std::vector<float>& out, size_t fromFrame, size_t toFrame) {
    float m = 0;
    for (size_t i = 2 * fromFrame; i < 2 * toFrame && i < out.size(); ++i) m = std::max(m, std::fabs(out[i]));
    return m;
}

std::unique_ptr<Instance> started(const Format& format, double rate, uint32_t maxFrames, const std::string& what) {
    std::unique_ptr<Instance> p = format.create();
    if (p && p->activate(rate, maxFrames)) return p;
    fail(what + (p ? ": the instance did not start at " + hz(rate) : ": the plugin made no instance"));
    return nullptr;
}

bool played(Instance& p, const Script& s, uint32_t block, std::vector<float>& out, const std::string& what) {
    if (playThrough(s, block, out, [&p](auto... a) { return p.process(a...); })) return true;
    fail(what + ": a block was refused");
    return false;
}

void checkParameterChange(const Format& format) {
    const uint32_t cutoff = parameter("u1_cutoff"), tempo = parameter("tempo");
    Script s = keys(16384, 45);
    const Script unchanged = s;
    s.changes = {{4096, {tempo, 150}}, {8192, {cutoff, 20}}};
    auto p = started(format, 44100, 512, "parameter change");
    auto q = started(format, 44100, 512, "parameter change");
    std::vector<float> out, without;
    if (!p || !q || !played(*p, s, 512, out, "parameter change") || !played(*q, unchanged, 512, without, "parameter change")) return;
    PluginCore core(44100);
    same(out, reference(core, s, 512), "parameter change at a block's first frame");
    const std::vector<float> before(out.begin(), out.begin() + 2 * 8192);
    same(before, std::vector<float>(without.begin(), without.begin() + 2 * 8192), "before the cutoff changed");
    if (std::equal(out.begin() + 2 * 8192, out.end(), without.begin() + 2 * 8192)) fail("parameter change: Unit 1 Cutoff at 20 changed nothing");
    for (const auto& [index, value, frame] : {ParameterChange{cutoff, 20}, ParameterChange{tempo, 150}}) {
        double got = -1;
        if (!p->parameterValue(index, got) || got != value)
            fail(std::string("parameter change: ") + pluginParameter(index).name + " reads back " + std::to_string(got) + " instead of " +
                 std::to_string(value));
    }

    // Hosts send values again that have not changed (automation on a flat
    // line): the waveforms and the filter mode at theirs change nothing,
    // though setting them anew restarts the oscillators and clears the
    // filter.
    Script again = unchanged;
    for (uint32_t at = 0; at < again.frames; at += 512)
        for (const uint32_t index : {parameter("u1_osc_1_wave"), parameter("u1_osc_2_wave"), parameter("u1_filter")})
            again.changes.push_back({at, {index, static_cast<double>(pluginParameter(index).defaultValue)}});
    auto r = started(format, 44100, 512, "parameters sent again");
    if (r && played(*r, again, 512, out, "parameters sent again")) same(out, without, "parameters sent again at their values");
}

// Changes within blocks, before and after keys there (and in the pieces
// a long block may be rendered in), take effect at their frames as the core
// plays them there; at their blocks' first frames they would sound
// otherwise.
void checkChangesAtFrames(const Format& format) {
    const uint32_t cutoff = parameter("u1_cutoff"), resonance = parameter("u1_reso");
    Script s = keys(12000, 45), atFirst = s;
    s.changes = atFirst.changes = {{612, {cutoff, 20}}, {700, {resonance, 100}}, {3884, {cutoff, 80}}, {4034, {resonance, 10}}, {9050, {cutoff, 5}}};
    s.atFrames = true;
    for (double rate : {44100.0, 48000.0}) {
        PluginCore core(rate), early(rate);
        const std::vector<float> expected = reference(core, s, 512);
        if (reference(early, atFirst, 512) == expected) fail("changes within blocks: the same as at the blocks' first frames");
        for (uint32_t block : {512u, 37u, 10000u}) {
            const std::string what = "parameter changes within blocks of " + std::to_string(block) + " at " + hz(rate);
            auto p = started(format, rate, block, what);
            std::vector<float> out;
            if (p && played(*p, s, block, out, what)) same(out, expected, what);
        }
    }
}

std::string readFile(const std::string& path) { return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}}; }

// The plugin's state as it has always been framed: keys and values
// (no pattern file, and the pattern), each ending in a zero byte, between
// markers, then a 0xFE byte. With `values`, the parameters follow as the
// plugin saves them.
std::string stateBlob(const std::string& pattern, const PluginCore* values = nullptr) {
    std::string blob;
    const auto add = [&blob](const std::string& text) { blob.append(text).push_back('\0'); };
    add("__dpf_state_begin__"), add("file"), add(""), add("pattern"), add(pattern), add("__dpf_state_end__");
    if (values) {
        add("__dpf_parameters_begin__");
        for (uint32_t i = 0; i < kPluginParameterCount; ++i)
            add(pluginParameter(i).symbol), add(std::to_string(static_cast<int>(values->parameterValue(i))));
        add("__dpf_parameters_end__");
    }
    return blob + "\xfe" + '\0';
}

// Every parameter reads back as the core has it; a value outside the range
// (from a pattern file) may read back at the range's end, VST3's values
// being fractions of the range.
bool sameParameters(Instance& p, const PluginCore& core, const std::string& what) {
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        double value = -1;
        const PluginParameter& range = pluginParameter(i);
        const double expected = core.parameterValue(i);
        const double shown = std::clamp(expected, static_cast<double>(range.minimum), static_cast<double>(range.maximum));
        if (!p.parameterValue(i, value) || (value != expected && value != shown))
            return fail(what + ": " + range.name + " reads back " + std::to_string(value) + " instead of " + std::to_string(expected)), false;
    }
    return true;
}

// An instance with a pattern and settings saves its state; a fresh one
// loads it, reads back every parameter at once, and plays as the first
// does; damaged states then change nothing.
void checkState(const Format& format, const std::string& patternFile) {
    const std::string tag = "Velmor pattern 1\n";
    std::string pattern;
    if (!patternFile.empty()) {
        pattern = readFile(patternFile);
        if (pattern.empty()) return fail("state: cannot read " + patternFile);
    }
    PluginCore core(44100);
    auto a = started(format, 44100, 512, "state");
    if (!a) return;
    if (!pattern.empty()) {
        // As a host saves it: the pattern, and its values.
        const std::string text = tag + base64Encode(pattern);
        std::string why;
        if (!core.loadState(text, why)) return fail("state: the core refuses " + patternFile + ": " + why);
        core.process(nullptr, nullptr, 0, nullptr, 0, HostTime{});
        if (!a->loadState(stateBlob(text, &core))) return fail("state: the plugin refuses the pattern of " + patternFile);
    } else if (!base64Decode(core.state().substr(tag.size()), pattern)) {
        return fail("state: the core's own state is not base64");
    }
    // Settings on top, in a block without keys.
    const Script settings{
        512,
        {},
        {{0, {parameter("u1_cutoff"), 100}}, {0, {parameter("u1_decay"), 30}}, {0, {parameter("u2_reso"), 120}}, {0, {parameter("tempo"), 97}}}};
    std::vector<float> outA, outB;
    if (!played(*a, settings, 512, outA, "state")) return;
    reference(core, settings, 512);
    if (!sameParameters(*a, core, "a pattern state and settings")) return;

    std::string saved;
    if (!a->saveState(saved)) return fail("state: the plugin saves no state");
    auto b = started(format, 44100, 512, "state");
    if (!b) return;
    if (!b->loadState(saved)) return fail("state: a fresh instance refuses the saved state");
    sameParameters(*b, core, "state loaded into a fresh instance");
    const Script second = keys(20000, 52);
    // The block the first instance played, without the settings.
    if (!played(*b, Script{512, {}, {}}, 512, outB, "state") || !played(*a, second, 512, outA, "state") || !played(*b, second, 512, outB, "state"))
        return;
    if (loudest(outA, 100, second.frames) < 0.01f) fail("state: the keys after the state make no sound");
    same(outA, reference(core, second, 512), "keys after a pattern state and settings");
    same(outB, outA, "a fresh instance with the saved state");
    std::string again;
    if (!b->saveState(again) || again != saved) fail("state: the fresh instance saves other bytes");

    // Damaged states: each leaves the instance as it was.
    const size_t at = saved.find(std::string("pattern") + '\0');
    std::string noise(4096, '\0');
    uint32_t seed = 12345;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"cut inside the pattern", saved.substr(0, at == std::string::npos ? saved.size() / 2 : at + 40)},
        {"cut inside the pattern's steps", saved.substr(0, at == std::string::npos ? saved.size() / 2 : at + 8 + (saved.find('\0', at + 8) - at - 8) * 2 / 3)},
        {"a pattern that is not base64", stateBlob(tag + "!!!!")},
        {"a pattern that ends inside its header", stateBlob(tag + base64Encode(pattern.substr(0, 20)))},
        {"a state of another kind", stateBlob("Other synth 1\n" + base64Encode(pattern))},
        {"random bytes", noise}};
    // clang-format on
    for (const auto& [name, blob] : damaged) {
        const std::string what = "damaged state (" + name + ")";
        if (b->loadState(blob) && name.rfind("cut", 0) == 0) fail(what + ": loading it reports success");
        std::string now;
        if (!b->saveState(now) || now != saved) fail(what + ": the state changed");
        sameParameters(*b, core, what);
        const Script more = keys(6000, 47);
        if (!played(*a, more, 512, outA, what) || !played(*b, more, 512, outB, what)) return;
        same(outB, outA, what + ", the output");
    }
}

}  // namespace

bool Instance::loadPattern(const std::string& pattern) { return loadState(stateBlob(pattern)); }

void fail(const std::string& what) {
    ++failed;
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
}

void checkNotes(const Format& format, const std::string& label, const std::vector<uint32_t>& blocks) {
    Script s = keys(30000, 45);
    s.changes = {{0, {parameter("u1_cutoff"), 90}}, {0, {parameter("u1_reso"), 100}}};
    for (double rate : {44100.0, 48000.0}) {
        PluginCore core(rate);
        const std::vector<float> expected = reference(core, s, 4096);
        for (uint32_t block : blocks) {
            const std::string what = label + " in blocks of " + std::to_string(block) + " at " + hz(rate);
            auto p = started(format, rate, 4096, what);
            std::vector<float> out;
            if (!p || !played(*p, s, block, out, what)) continue;
            if (p->latency() != core.latency())
                fail(what + ": latency " + std::to_string(p->latency()) + " instead of " + std::to_string(core.latency()));
            if (loudest(out, 0, 100) != 0 || loudest(out, 100, s.frames) < 0.01f)
                fail(what + ": silence before the first key and sound after it expected");
            same(out, expected, what);
        }
    }
}

void checkSequencerNotes(const Format& format) {
    constexpr uint32_t kBlock = 300;
    // The song at 125 BPM (a sixteenth is 5292 frames) as a state, and the
    // notes "Export MIDI..." writes of what the state holds.
    const auto song = testing::slidingSong(125);
    std::string bytes, why;
    writePatternBytes(song->score.doc, bytes);
    const std::string pattern = "Velmor pattern 1\n" + base64Encode(bytes);
    PluginCore core(44100);
    if (!core.loadState(pattern, why)) return fail("sequencer notes: the core refuses the song: " + why);
    const int32_t sps = core.model().score.derived.samplesPerStep;
    const MidiFileOut file = midiFromScore(core.model().score);
    const std::vector<testing::Note> exported = testing::exportedNotes(file);
    // The transport stops in the second pass, in a note of six ticks or
    // more after the first few steps.
    const auto held = std::find_if(exported.begin(), exported.end(), [](const testing::Note& n) {
        return std::get<3>(n) >= 4 * kTicksPerStep && std::get<4>(n) - std::get<3>(n) >= 6;
    });
    if (held == exported.end()) return fail("sequencer notes: the song has no long note");
    const int64_t stop = (frameOfTick(file.endTick + std::get<3>(*held) + 2, sps) + kBlock - 1) / kBlock * kBlock;

    auto p = started(format, 44100, kBlock, "sequencer notes");
    if (!p || !p->loadPattern(pattern)) return fail("sequencer notes: no instance with the song");
    // Every unit's Local Off On: the notes go out, and nothing sounds. The
    // core plays along: the plugin sends what it sends, at its frames.
    std::vector<ParameterChange> first = {{kSequencerParameter, 1}};
    for (uint32_t u = 0; u < kPluginUnits; ++u) first.push_back({kFirstLocalOffParameter + u, 1});
    std::vector<HostEvent> firstEvents;
    for (const auto& [index, value, frame] : first) firstEvents.push_back({frame, true, 0, {}, index, static_cast<float>(value)});
    std::vector<testing::Note> sent;
    std::vector<float> l(kBlock), r(kBlock);
    int64_t last = -1, elsewhere = -1;
    float loudest = 0;
    for (int64_t done = 0; done < stop + 4 * sps; done += kBlock) {
        const Transport t{done < stop, 125, done * 125.0 / 60 / 44100, done};
        const HostTime time{t.playing, true, 4 * t.quarters, t.beatsPerMinute};
        core.process(l.data(), r.data(), kBlock, firstEvents.data(), done == 0 ? static_cast<uint32_t>(firstEvents.size()) : 0, time);
        p->setTransport(t);
        if (!p->process(l.data(), r.data(), kBlock, {}, done == 0 ? first : std::vector<ParameterChange>{}))
            return fail("sequencer notes: a block was refused");
        const auto same = [](const MidiAt& m, const SentMessage& c) { return m.frame == c.frame && std::equal(m.bytes, m.bytes + 3, c.bytes); };
        if (!std::equal(p->sent().begin(), p->sent().end(), core.notesOut().begin(), core.notesOut().end(), same) && elsewhere < 0) elsewhere = done;
        for (uint32_t i = 0; i < kBlock; ++i) loudest = std::max({loudest, std::fabs(l[i]), std::fabs(r[i])});
        for (const MidiAt& m : p->sent()) testing::addSent(sent, done + m.frame, m.bytes, sps), last = done + m.frame;
    }
    if (loudest != 0) fail("sequencer notes: sound with every unit's Local Off On");
    if (elsewhere >= 0) fail("sequencer notes: in the block at frame " + std::to_string(elsewhere) + " other than the core's");
    const std::vector<testing::Note> pass = testing::byChannel(sent, file.endTick);
    if (pass != exported)
        fail("sequencer notes: " + std::to_string(pass.size()) + " sent, " + std::to_string(exported.size()) + " exported, the first " +
             std::to_string(std::mismatch(pass.begin(), pass.end(), exported.begin(), exported.end()).first - pass.begin()) + " alike");
    if (last != stop || std::any_of(sent.begin(), sent.end(), [](const testing::Note& n) { return std::get<4>(n) < 0; }))
        fail("sequencer notes: the transport stopped at frame " + std::to_string(stop) + ", the last message at " + std::to_string(last) +
             ", notes left sounding");
}

void checkParameterList(const Format& format) {
    auto p = format.create();
    if (!p) return fail("parameters: the plugin made no instance");
    const std::vector<ParameterInfo> shown = p->parameters();
    const std::vector<FrozenParameter>& list = frozenParameters();
    if (list.empty() || shown.size() != list.size())
        return fail("parameters: " + std::to_string(shown.size()) + " shown instead of " + std::to_string(list.size()));
    const auto text = [](const std::string& symbol, uint32_t id, const std::string& name, const std::string& shortName, double minimum,
                         double maximum, double defaultValue) {
        std::ostringstream line;
        line << symbol << " " << id << " \"" << name << "\" (" << shortName << ") " << minimum << ".." << maximum << " at " << defaultValue;
        return line.str();
    };
    for (size_t i = 0; i < list.size(); ++i) {
        const FrozenParameter& f = list[i];
        const ParameterInfo& s = shown[i];
        const std::string expected = text(f.symbol, format.firstParameterId + f.id, f.name, f.shortName, f.minimum, f.maximum, f.defaultValue);
        const std::string got =
            text(s.symbol.value_or(f.symbol), s.id, s.name, s.shortName.value_or(f.shortName), s.minimum, s.maximum, s.defaultValue);
        if (got != expected) fail("parameters: " + got + " instead of " + expected);
    }
}

void runChecks(const Format& format, const std::string& patternFile) {
    checkParameterList(format);
    checkNotes(format, "notes", {4096, 512, 37, 1});
    checkParameterChange(format);
    checkChangesAtFrames(format);
    checkState(format, patternFile);
    checkSequencerNotes(format);
}

#ifdef _WIN32
Library::Library(const std::string& path) : handle_(reinterpret_cast<void*>(LoadLibraryA(path.c_str()))) {}
Library::~Library() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}
void* Library::symbol(const char* name) const { return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)); }
#else
Library::Library(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
Library::~Library() {
    if (handle_) dlclose(handle_);
}
void* Library::symbol(const char* name) const { return dlsym(handle_, name); }
#endif

namespace {
EditorAsked asked;
}

const EditorAsked& editorAsked() { return asked; }

int hostMain(int argc, char** argv, const char* usage,
             void (*run)(const Library& library, const std::string& path, const std::string& patternFile, bool realtime)) {
    const bool realtime = argc > 1 && std::string(argv[1]) == "--realtime";
    argv += realtime, argc -= realtime;
    if (argc > 3 && std::string(argv[1]) == "--editor") {
        asked.scale = std::atof(argv[2]), asked.pictures = argv[3];
        argv += 3, argc -= 3;
    } else if (argc > 2 && std::string(argv[1]) == "--editor-cpu") {
        asked.cpuSeconds = std::atof(argv[2]);
        argv += 2, argc -= 2;
    } else if (argc > 2 && std::string(argv[1]) == "--reopen") {
        asked.reopen = std::atoi(argv[2]);
        argv += 2, argc -= 2;
    }
    if (argc < 2 || argc > 3) return std::fprintf(stderr, "usage: %s\n", usage), 2;
    const std::string name = std::string(usage).substr(0, std::string(usage).find(' '));
    if (realtime && !realtimeCounting())
        return std::printf(
                   "%s: this build does not count calls (only natively on Linux, without sanitizers): "
                   "the real-time run is skipped\n",
                   name.c_str()),
               77;
    const Library library(argv[1]);
    if (library.handle())
        run(library, argv[1], argc > 2 ? argv[2] : "", realtime);
    else
        fail(std::string("cannot load ") + argv[1]);
    if (failed == 0) std::printf("%s: every check passed\n", name.c_str());
    return failed == 0 ? 0 : 1;
}

}  // namespace velmor::hosttest
