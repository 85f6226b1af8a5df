// A small LV2 host for the plugin binary named on its command line. It
// reads the ports from the description the plugin framework wrote beside
// the binary (BINARY.ttl), the parameters' ports checked as the other
// formats' parameters are (host_checks.h), and plays instances: keys as
// MIDI atoms, the transport as time:Position atoms, and parameters on their
// control ports, which hold one value a block. A change of rate makes a new
// instance, the rate being an instance's for its life. The MIDI messages
// the plugin sends come back as atoms.
//
// usage: velmor-lv2-host [--realtime] BUNDLE/BINARY.so

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_checks.h"
#include "lv2/atom/forge.h"
#include "lv2/atom/util.h"
#include "lv2/buf-size/buf-size.h"
#include "lv2/core/lv2.h"
#include "lv2/midi/midi.h"
#include "lv2/options/options.h"
#include "lv2/parameters/parameters.h"
#include "lv2/state/state.h"
#include "lv2/time/time.h"
#include "lv2/urid/urid.h"
#include "lv2/worker/worker.h"
#include "realtime_counter.h"

namespace velmor::hosttest {
namespace {

// The framework's ports before the parameters: two audio outputs, events in
// and out, the latency and "Step".
constexpr uint32_t kFirstParameterPort = 6;
constexpr char kPatternKey[] = "urn:distrho:pattern";

struct Port {
    uint32_t index = 0;
    std::string symbol, name, shortName, types;
    double minimum = 0, maximum = 0, defaultValue = 0;
    bool is(const char* type) const { return types.find(type) != std::string::npos; }
};

// A field of a port's description: `lv2:symbol "u1_cutoff" ;` gives u1_cutoff.
std::string field(const std::string& block, const std::string& key) {
    const size_t at = block.find("\n" + key + " ");
    if (at == std::string::npos) return "";
    const size_t from = block.find_first_not_of(' ', at + key.size() + 2), end = block.find(" ;", from);
    std::string value = block.substr(from, end - from);
    while (!value.empty() && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

// The ports of the description: its outermost [ ... ] blocks that hold an
// index, in the framework's layout of one field a line.
std::vector<Port> readPorts(const std::string& ttl) {
    std::string text;
    for (size_t i = 0; i < ttl.size(); ++i)  // each line without its indent
        if (ttl[i] != ' ' || (!text.empty() && text.back() != '\n')) text += ttl[i];
    std::vector<Port> ports;
    for (size_t i = 0, depth = 0, start = 0; i < text.size(); ++i) {
        if (text[i] == '[' && depth++ == 0) start = i;
        if (text[i] != ']' || --depth != 0) continue;
        const std::string block = text.substr(start, i - start);
        const std::string index = field(block, "lv2:index");
        if (index.empty()) continue;
        Port p;
        p.index = static_cast<uint32_t>(std::stoul(index));
        p.symbol = field(block, "lv2:symbol"), p.name = field(block, "lv2:name"), p.shortName = field(block, "lv2:shortName");
        p.types = field(block, "a");
        for (auto [key, value] : {std::pair{"lv2:minimum", &p.minimum}, {"lv2:maximum", &p.maximum}, {"lv2:default", &p.defaultValue}})
            if (const std::string v = field(block, key); !v.empty()) *value = std::stod(v);
        ports.push_back(p);
    }
    return ports;
}

// The URIs the plugin asks for, each mapped once.
std::vector<std::string> uris;
LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}
LV2_URID urid(const char* uri) { return mapUri(nullptr, uri); }
LV2_URID_Map uridMap{nullptr, mapUri};

// Work the plugin schedules (a pattern file named in a message) is none of
// these checks'.
LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }
LV2_Worker_Schedule worker{nullptr, scheduleWork};

class Lv2Instance : public Instance {
public:
    Lv2Instance(const LV2_Descriptor* d, std::string bundle, std::vector<Port> ports)
        : d_(d), bundle_(std::move(bundle)), ports_(std::move(ports)), values_(ports_.size()) {
        for (const Port& p : ports_) values_[p.index] = static_cast<float>(p.defaultValue);
        instantiate(44100);
    }
    ~Lv2Instance() override { release(); }

    bool activate(double rate, uint32_t maxFrames) override {
        if (rate != rate_ || maxFrames > maxFrames_) release(), maxFrames_ = std::max(maxFrames, maxFrames_), instantiate(rate);
        if (handle_ && d_->activate) d_->activate(handle_);
        return active_ = handle_ != nullptr;
    }
    void deactivate() override {
        if (active_ && d_->deactivate) d_->deactivate(handle_);
        active_ = false;
    }
    uint32_t latency() override { return static_cast<uint32_t>(values_[4]); }

    std::vector<ParameterInfo> parameters() override {
        std::vector<ParameterInfo> shown;
        for (const Port& p : ports_)
            if (p.index >= kFirstParameterPort && p.is("lv2:InputPort") && p.is("lv2:ControlPort"))
                shown.push_back({p.index, p.name, p.minimum, p.maximum, p.defaultValue, p.symbol, p.shortName});
        return shown;
    }

    bool process(float* left, float* right, uint32_t frames, const std::vector<MidiAt>& midi, const std::vector<ParameterChange>& changes) override {
        if (!active_ || frames > maxFrames_ || !left || !right) return false;
        for (const ParameterChange& c : changes) values_[kFirstParameterPort + c.index] = static_cast<float>(c.value);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(in_.data()), in_.size() * sizeof(uint64_t));
        lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
        if (transport_) forgePosition(*transport_);
        for (const MidiAt& m : midi) {
            lv2_atom_forge_frame_time(&forge_, m.frame);
            lv2_atom_forge_atom(&forge_, 3, urid(LV2_MIDI__MidiEvent));
            lv2_atom_forge_write(&forge_, m.bytes, 3);
        }
        lv2_atom_forge_pop(&forge_, &sequence);
        auto* out = reinterpret_cast<LV2_Atom*>(out_.data());
        *out = {static_cast<uint32_t>(out_.size() * sizeof(uint64_t) - sizeof(LV2_Atom)), urid(LV2_ATOM__Chunk)};
        d_->connect_port(handle_, 0, left);
        d_->connect_port(handle_, 1, right);
        {
            const AudioCallback inside;
            d_->run(handle_, frames);
        }
        sent_.clear();
        const auto* sent = reinterpret_cast<const LV2_Atom_Sequence*>(out_.data());
        if (sent->atom.type != urid(LV2_ATOM__Sequence)) return true;
        LV2_ATOM_SEQUENCE_FOREACH(sent, e) {
            const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&e->body));
            if (e->body.type == urid(LV2_MIDI__MidiEvent) && e->body.size == 3)
                keep({static_cast<uint32_t>(e->time.frames), {bytes[0], bytes[1], bytes[2]}});
        }
        return true;
    }

    bool parameterValue(uint32_t, double&) override { return false; }

    bool saveState(std::string& bytes) override {
        const auto* state = static_cast<const LV2_State_Interface*>(d_->extension_data(LV2_STATE__interface));
        saved_.clear();
        if (!state || state->save(handle_, store, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_) != LV2_STATE_SUCCESS) return false;
        bytes = saved_;
        return !bytes.empty();
    }
    bool loadState(const std::string& bytes) override {
        const auto* state = static_cast<const LV2_State_Interface*>(d_->extension_data(LV2_STATE__interface));
        saved_ = bytes;
        return state && state->restore(handle_, retrieve, this, 0, features_) == LV2_STATE_SUCCESS;
    }
    // The state is the pattern alone.
    bool loadPattern(const std::string& pattern) override { return loadState(pattern); }
    // LV2 restores a state only while no block runs.
    bool loadsWhilePlaying() const override { return false; }

private:
    void instantiate(double rate) {
        rate_ = rate;
        const LV2_URID intType = urid(LV2_ATOM__Int), floatType = urid(LV2_ATOM__Float);
        rateOption_ = static_cast<float>(rate);
        options_ = {{LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &maxFrames_},
                    {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType, &maxFrames_},
                    {LV2_OPTIONS_INSTANCE, 0, urid(LV2_PARAMETERS__sampleRate), sizeof(float), floatType, &rateOption_},
                    {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        featureList_ = {{LV2_URID__map, &uridMap}, {LV2_OPTIONS__options, options_.data()}, {LV2_WORKER__schedule, &worker}};
        for (size_t i = 0; i < featureList_.size(); ++i) features_[i] = &featureList_[i];
        lv2_atom_forge_init(&forge_, &uridMap);
        handle_ = d_->instantiate(d_, rate, bundle_.c_str(), features_);
        for (uint32_t i = 2; handle_ && i < ports_.size(); ++i)
            d_->connect_port(handle_, i, i == 2 ? static_cast<void*>(in_.data()) : i == 3 ? static_cast<void*>(out_.data()) : &values_[i]);
    }
    void release() {
        deactivate();
        if (handle_) d_->cleanup(handle_);
        handle_ = nullptr;
    }

    // Where the transport stands, in 4/4.
    void forgePosition(const Transport& t) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge_, 0);
        lv2_atom_forge_object(&forge_, &object, 0, urid(LV2_TIME__Position));
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__frame)), lv2_atom_forge_long(&forge_, t.frame);
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__speed)), lv2_atom_forge_float(&forge_, t.playing ? 1 : 0);
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__bar)), lv2_atom_forge_long(&forge_, static_cast<int64_t>(t.quarters / 4));
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__barBeat)), lv2_atom_forge_float(&forge_, static_cast<float>(std::fmod(t.quarters, 4)));
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__beatUnit)), lv2_atom_forge_int(&forge_, 4);
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__beatsPerBar)), lv2_atom_forge_float(&forge_, 4);
        lv2_atom_forge_key(&forge_, urid(LV2_TIME__beatsPerMinute)), lv2_atom_forge_float(&forge_, static_cast<float>(t.beatsPerMinute));
        lv2_atom_forge_pop(&forge_, &object);
    }

    static LV2_State_Status store(LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t, uint32_t) {
        if (key == urid(kPatternKey)) static_cast<Lv2Instance*>(h)->saved_.assign(static_cast<const char*>(value), size);
        return LV2_STATE_SUCCESS;
    }
    static const void* retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
        const std::string& saved = static_cast<Lv2Instance*>(h)->saved_;
        if (key != urid(kPatternKey)) return nullptr;
        *size = saved.size(), *type = urid(LV2_ATOM__String), *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return saved.c_str();
    }

    const LV2_Descriptor* d_;
    std::string bundle_;
    std::vector<Port> ports_;
    std::vector<float> values_;  // each control port's value
    std::vector<uint64_t> in_ = std::vector<uint64_t>(16384), out_ = std::vector<uint64_t>(1024);
    LV2_Atom_Forge forge_{};
    LV2_Handle handle_ = nullptr;
    bool active_ = false;
    double rate_ = 0;
    float rateOption_ = 0;
    uint32_t maxFrames_ = 4096;
    std::vector<LV2_Options_Option> options_;
    std::vector<LV2_Feature> featureList_;
    const LV2_Feature* features_[4] = {};
    std::string saved_;  // the pattern state, saved or to load
};

void run(const Library& library, const std::string& path, const std::string&, bool realtime) {
    const auto entry = reinterpret_cast<LV2_Descriptor_Function>(library.symbol("lv2_descriptor"));
    const LV2_Descriptor* d = entry ? entry(0) : nullptr;
    if (!d || std::strcmp(d->URI, "urn:velmor:velmor") != 0) return fail(path + " does not describe the plugin urn:velmor:velmor");
    const std::string ttlPath = path.substr(0, path.rfind('.')) + ".ttl";
    const std::vector<Port> ports = readPorts({std::istreambuf_iterator<char>(std::ifstream(ttlPath).rdbuf()), {}});
    if (ports.empty()) return fail("no ports in " + ttlPath);
    for (uint32_t i = 0; i < ports.size(); ++i)
        if (ports[i].index != i) return fail(ttlPath + ": the ports are not in the order of their indices");
    const Format format{[&] { return std::make_unique<Lv2Instance>(d, path.substr(0, path.rfind('/') + 1), ports); }, kFirstParameterPort};
    if (realtime) return runRealtimeChecks(format);
    checkParameterList(format);
    checkNotes(format, "notes", {512, 37});
    checkSequencerNotes(format);
}

}  // namespace
}  // namespace velmor::hosttest

int main(int argc, char** argv) {
    return velmor::hosttest::hostMain(argc, argv, "velmor-lv2-host [--realtime] BUNDLE/BINARY.so", velmor::hosttest::run);
}
