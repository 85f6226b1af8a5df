#include "files/midi_events.h"

#include <cctype>
#include <cstdlib>

#include "engine/midi_parser.h"

namespace velmor {

namespace {

constexpr int64_t kMaxFrame = int64_t{1} << 40;
constexpr size_t kMaxEvents = 1 << 22;

std::string lineError(long line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

}  // namespace

std::string readMidiEvents(std::FILE* f, std::vector<TimedCommand>& out) {
    std::vector<TimedCommand> events;
    MidiParser parser;
    std::string text;
    long line = 0;
    int64_t lastFrame = 0;
    for (int c = 0; c != EOF;) {
        text.clear();
        while ((c = std::fgetc(f)) != EOF && c != '\n') text.push_back(static_cast<char>(c));
        if (c == EOF && text.empty()) break;
        ++line;
        const size_t hash = text.find('#');
        if (hash != std::string::npos) text.resize(hash);
        const char* p = text.c_str();
        while (std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (*p == '\0') continue;
        if (!std::isdigit(static_cast<unsigned char>(*p))) return lineError(line, "a frame number must come first");
        char* end = nullptr;
        const long long frame = std::strtoll(p, &end, 10);
        if (frame > kMaxFrame || !(std::isspace(static_cast<unsigned char>(*end)) || *end == '\0'))
            return lineError(line, "the frame number is not a whole number of at most 2^40");
        if (frame < lastFrame) return lineError(line, "frame " + std::to_string(frame) + " comes before the line above");
        lastFrame = frame;
        p = end;
        for (;;) {
            while (std::isspace(static_cast<unsigned char>(*p))) ++p;
            if (*p == '\0') break;
            const char* tokenEnd = p;
            while (*tokenEnd != '\0' && !std::isspace(static_cast<unsigned char>(*tokenEnd))) ++tokenEnd;
            const std::string token(p, tokenEnd);
            const unsigned long value = std::strtoul(token.c_str(), &end, 16);
            if (token.size() > 2 || *end != '\0' || !std::isxdigit(static_cast<unsigned char>(token[0])))
                return lineError(line, "\"" + token + "\" is not a byte in hex");
            p = tokenEnd;
            MidiMessage m;
            if (!parser.feed(static_cast<uint8_t>(value), m)) continue;
            if (events.size() >= kMaxEvents) return lineError(line, "more than 4194304 messages");
            events.push_back({frame, EngineCommand::midi(m.status, m.data1, m.data2, m.size)});
        }
    }
    if (std::ferror(f)) return "the file could not be read";
    out.swap(events);
    return "";
}

}  // namespace velmor
