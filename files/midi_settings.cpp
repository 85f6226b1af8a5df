#include "files/midi_settings.h"

#include "files/safe_file.h"

namespace velmor {

namespace {

constexpr size_t kMaxLine = 256;
constexpr int kMaxLines = 16;

bool isSwitch(const std::string& v) { return v == "0" || v == "1"; }
bool isUnitMask(const std::string& v) {
    return !v.empty() && v.size() <= 2 && v.find_first_not_of("0123456789") == std::string::npos && std::stoi(v) < 16;
}

// A device name as winmm gives it: printable, no line breaks.
bool isName(const std::string& v) {
    if (v.size() > kMaxDeviceName) return false;
    for (unsigned char c : v)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

MidiSettings readMidiSettings(std::FILE* f) {
    MidiSettings m;
    if (!f) return {};
    std::string line;
    int lines = 0;
    for (int c = 0; c != EOF;) {
        line.clear();
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
            if (line.size() >= kMaxLine) return {};
            line.push_back(static_cast<char>(c));
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (++lines > kMaxLines) return {};
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return {};
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "input" && isName(value))
            m.input = value;
        else if (key == "output" && isName(value))
            m.output = value;
        else if (key == "sync" && isSwitch(value))
            m.sync = value == "1";
        else if (key == "send-clock" && isSwitch(value))
            m.sendClock = value == "1";
        else if (key == "send-notes" && isSwitch(value))
            m.sendNotes = value == "1";
        else if (key == "local-off" && isUnitMask(value))
            m.localOff = std::stoi(value);
        else
            return {};
    }
    if (std::ferror(f)) return {};
    return m;
}

MidiSettings loadMidiSettings(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return {};
    const MidiSettings m = readMidiSettings(f);
    std::fclose(f);
    return m;
}

bool writeMidiSettings(std::FILE* f, const MidiSettings& m) {
    if (!isName(m.input) || !isName(m.output)) return false;
    if (m.localOff < 0 || m.localOff > 15) return false;
    if (std::fprintf(f, "# Velmor's MIDI devices and clock switches\ninput=%s\noutput=%s\nsync=%d\nsend-clock=%d\n",
                     m.input.c_str(), m.output.c_str(), m.sync ? 1 : 0, m.sendClock ? 1 : 0) <= 0)
        return false;
    // What a user who chose neither never sees.
    if (m.sendNotes && std::fprintf(f, "send-notes=1\n") <= 0) return false;
    return m.localOff == 0 || std::fprintf(f, "local-off=%d\n", m.localOff) > 0;
}

bool saveMidiSettings(const char* path, const MidiSettings& m) {
    return saveFile(path, [&](std::FILE* f) { return writeMidiSettings(f, m); }).ok();
}

}  // namespace velmor
