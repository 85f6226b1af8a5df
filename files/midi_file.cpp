#include "files/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmor {

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}

// A variable-length quantity: seven bits a byte, the most significant first,
// every byte but the last with its top bit set. At most 4 bytes.
void putVarLen(std::vector<uint8_t>& b, uint64_t v) {
    if (v > 0x0FFFFFFF) v = 0x0FFFFFFF;
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) b.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    b.push_back(groups[0]);
}

// One track chunk, event by event, with running status.
class TrackWriter {
public:
    void meta(int64_t tick, uint8_t type, const std::string& data) {
        delta(tick);
        body_.push_back(0xFF);
        body_.push_back(type);
        putVarLen(body_, data.size());
        body_.insert(body_.end(), data.begin(), data.end());
        status_ = 0;  // a meta event ends running status
    }
    void channel(int64_t tick, uint8_t status, uint8_t a, uint8_t b) {
        delta(tick);
        if (status != status_) body_.push_back(status);
        status_ = status;
        body_.push_back(a);
        body_.push_back(b);
    }
    void end(int64_t tick, std::vector<uint8_t>& file) {
        meta(std::max(tick, last_), 0x2F, "");
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        put32(file, static_cast<uint32_t>(body_.size()));
        file.insert(file.end(), body_.begin(), body_.end());
    }

private:
    void delta(int64_t tick) {
        if (tick < last_) tick = last_;
        putVarLen(body_, static_cast<uint64_t>(tick - last_));
        last_ = tick;
    }
    std::vector<uint8_t> body_;
    int64_t last_ = 0;
    uint8_t status_ = 0;
};

}  // namespace

std::vector<uint8_t> encodeMidiFile(const MidiFileOut& file) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    put32(out, 6);
    put16(out, 1);
    put16(out, static_cast<uint32_t>(file.tracks.size() + 1));
    put16(out, file.ticksPerQuarter & 0x7FFF);

    TrackWriter tempo;
    tempo.meta(0, 0x03, file.name);
    tempo.meta(0, 0x58, std::string("\x04\x02\x18\x08", 4));  // 4/4, 24 clocks a click, 8 32nds a quarter
    const uint32_t us = file.microsPerQuarter & 0xFFFFFF;
    tempo.meta(0, 0x51, std::string{static_cast<char>(us >> 16), static_cast<char>(us >> 8), static_cast<char>(us)});
    tempo.end(file.endTick, out);

    for (const MidiTrackOut& t : file.tracks) {
        struct Event {
            int64_t tick;
            bool on;
            uint8_t key, velocity;
        };
        std::vector<Event> events;
        for (const MidiNote& n : t.notes) {
            events.push_back({n.start, true, n.key, n.velocity});
            events.push_back({n.end, false, n.key, 64});
        }
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            if (a.tick != b.tick) return a.tick < b.tick;
            if (a.on != b.on) return !a.on;
            return a.key < b.key;
        });
        const uint8_t channel = static_cast<uint8_t>(t.channel & 15);
        TrackWriter w;
        w.meta(0, 0x03, t.name);
        w.meta(0, 0x20, std::string(1, static_cast<char>(channel)));
        for (const Event& e : events)
            w.channel(e.tick, static_cast<uint8_t>((e.on ? 0x90 : 0x80) | channel), e.key & 0x7F, e.velocity & 0x7F);
        w.end(file.endTick, out);
    }
    return out;
}

SaveResult writeFileBytes(const char* path, const std::vector<uint8_t>& bytes) {
    return saveFile(path, [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); });
}

bool loadFileBytes(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        error = std::string("cannot open the file: ") + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, f);
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > kMaxMidiFileSize) {
            error = "the file is larger than " + std::to_string(kMaxMidiFileSize / (1024 * 1024)) +
                    " MiB, too large for a MIDI file of patterns";
            ok = false;
            break;
        }
        if (got < sizeof buffer) {
            if (std::ferror(f)) {
                error = std::string("cannot read the file: ") + std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    std::fclose(f);
    if (!ok) bytes.clear();
    return ok;
}

// ---- Reading ---------------------------------------------------------------

namespace {

std::string hexByte(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// The whole file, chunk by chunk. Every read checks the bytes left; the
// first damage ends the parse with its place and what is wrong.
class Parser {
public:
    Parser(const uint8_t* data, size_t size, MidiFileIn& out) : data_(data), size_(size), out_(out) {}

    bool parse(std::string& error) {
        if (!parseFile()) {
            error = "byte " + std::to_string(damageAt_) + (track_ > 0 ? " (track " + std::to_string(track_) + ")" : "") + ": " +
                    damage_;
            return false;
        }
        std::stable_sort(out_.tempos.begin(), out_.tempos.end(),
                         [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
        return true;
    }

private:
    bool fail(size_t at, std::string what) {
        damageAt_ = at;
        damage_ = std::move(what);
        return false;
    }
    uint32_t be(size_t at, int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | data_[at + static_cast<size_t>(i)];
        return v;
    }
    // A chunk's type and length at at_; false when the file ends inside it
    // or the length runs past the file's end.
    bool chunk(char type[5], size_t& begin, size_t& end) {
        if (size_ - at_ < 8) return fail(at_, "the file ends inside a chunk header");
        std::memcpy(type, data_ + at_, 4);
        type[4] = '\0';
        const uint32_t length = be(at_ + 4, 4);
        begin = at_ + 8;
        if (length > size_ - begin)
            return fail(at_ + 4, "the chunk claims " + std::to_string(length) + " bytes, but " + std::to_string(size_ - begin) +
                                     " follow");
        end = begin + length;
        return true;
    }

    bool parseFile() {
        if (size_ < 4 || std::memcmp(data_, "MThd", 4) != 0) return fail(0, "not a MIDI file (it does not begin with MThd)");
        char type[5];
        size_t begin = 0, end = 0;
        if (!chunk(type, begin, end)) return false;
        if (end - begin < 6) return fail(4, "a header of " + std::to_string(end - begin) + " bytes (at least 6)");
        out_.format = static_cast<int>(be(begin, 2));
        out_.trackCount = static_cast<int>(be(begin + 2, 2));
        const uint32_t division = be(begin + 4, 2);
        if (out_.format == 2) return fail(begin, "format 2 (independent sequences) is not taken: only format 0 and 1");
        if (out_.format > 2) return fail(begin, "unknown format " + std::to_string(out_.format));
        if (out_.trackCount == 0) return fail(begin + 2, "the header announces no track");
        if (out_.format == 0 && out_.trackCount != 1)
            return fail(begin + 2, "format 0 with " + std::to_string(out_.trackCount) + " tracks (it has one)");
        if (division & 0x8000) {
            out_.smpteFrames = 256 - static_cast<int>(division >> 8);
            out_.ticksPerFrame = static_cast<int>(division & 0xFF);
            const int f = out_.smpteFrames;
            if ((f != 24 && f != 25 && f != 29 && f != 30) || out_.ticksPerFrame == 0)
                return fail(begin + 4, "an SMPTE division of " + std::to_string(f) + " frames and " +
                                           std::to_string(out_.ticksPerFrame) + " ticks per frame");
        } else {
            out_.ticksPerQuarter = static_cast<int>(division);
            if (division == 0) return fail(begin + 4, "a division of 0 ticks per quarter note");
        }
        at_ = end;
        out_.trackNames.assign(static_cast<size_t>(out_.trackCount), std::string());
        head_.assign(16 * 128, -1);
        tail_.assign(16 * 128, -1);
        int tracks = 0;
        while (at_ < size_) {
            track_ = tracks + 1;  // a damaged chunk header is counted as the next track's
            if (!chunk(type, begin, end)) return false;
            if (std::strcmp(type, "MTrk") == 0) {
                if (tracks == out_.trackCount)
                    return fail(at_, "a track beyond the " + std::to_string(out_.trackCount) + " the header announces");
                ++tracks;
                if (!parseTrack(begin, end)) return false;
            }
            track_ = 0;
            at_ = end;  // chunks of other types are passed over
        }
        if (tracks < out_.trackCount)
            return fail(size_, "the file ends after " + std::to_string(tracks) + " of the " + std::to_string(out_.trackCount) +
                                   " tracks the header announces");
        return true;
    }

    bool varLen(uint64_t& v, const char* what) {
        const size_t start = at_;
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (at_ >= end_) return fail(start, std::string("the track ends inside ") + what);
            const uint8_t b = data_[at_++];
            v = (v << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return fail(start, std::string(what) + " longer than 4 bytes");
    }
    bool body(uint64_t length, const char* what) {
        if (length > end_ - at_)
            return fail(at_, std::string(what) + " of " + std::to_string(length) + " bytes, but the track has " +
                                 std::to_string(end_ - at_) + " left");
        at_ += static_cast<size_t>(length);
        return true;
    }

    bool parseTrack(size_t begin, size_t end) {
        at_ = begin;
        end_ = end;
        int64_t tick = 0;
        uint8_t running = 0;
        bool ended = false;
        touched_.clear();
        while (at_ < end_) {
            const size_t eventAt = at_;
            if (ended) return fail(eventAt, "data after the end-of-track event");
            uint64_t delta = 0;
            if (!varLen(delta, "a delta time")) return false;
            tick += static_cast<int64_t>(delta);
            if (at_ >= end_) return fail(at_, "the track ends where an event should begin");
            const size_t statusAt = at_;
            uint8_t status = data_[at_];
            if (status >= 0x80) {
                ++at_;
            } else if (running == 0) {
                return fail(statusAt, "data byte " + hexByte(status) + " where an event should begin (no running status)");
            } else {
                status = running;
            }
            if (status < 0xF0) {
                running = status;
                const int count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                uint8_t d[2] = {0, 0};
                for (int i = 0; i < count; ++i) {
                    if (at_ >= end_) return fail(at_, "the track ends inside a channel event");
                    d[i] = data_[at_++];
                    if (d[i] >= 0x80)
                        return fail(at_ - 1, "byte " + hexByte(d[i]) + " inside a channel event (data bytes are below 0x80)");
                }
                noteEvent(status, d[0], d[1], tick);
                continue;
            }
            running = 0;  // system exclusive and meta events end running status
            if (status == 0xF0 || status == 0xF7) {
                uint64_t length = 0;
                if (!varLen(length, "a system exclusive length") || !body(length, "a system exclusive event")) return false;
                continue;
            }
            if (status != 0xFF) return fail(statusAt, "status byte " + hexByte(status) + ", which has no place in a MIDI file");
            if (at_ >= end_) return fail(at_, "the track ends inside a meta event");
            const uint8_t type = data_[at_++];
            uint64_t length = 0;
            if (!varLen(length, "a meta event length")) return false;
            const size_t dataAt = at_;
            if (!body(length, "a meta event")) return false;
            const uint8_t* p = data_ + dataAt;
            if (type == 0x2F) {
                if (length != 0) return fail(eventAt, "an end-of-track event with data");
                ended = true;
            } else if (type == 0x51) {
                if (length != 3) return fail(dataAt, "a tempo event of " + std::to_string(length) + " bytes (not 3)");
                const uint32_t us = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
                if (us == 0) return fail(dataAt, "a tempo of 0 microseconds per quarter note");
                out_.tempos.push_back({tick, us});
            } else if (type == 0x03) {
                out_.trackNames[static_cast<size_t>(track_ - 1)].assign(reinterpret_cast<const char*>(p), length);
            } else if (type == 0x20) {
                if (length != 1 || p[0] > 15) return fail(dataAt, "a channel prefix that names no channel 0..15");
                out_.namedChannels = static_cast<uint16_t>(out_.namedChannels | (1u << p[0]));
            }
        }
        if (!ended) return fail(at_, "the track ends without an end-of-track event");
        // Notes still sounding end with their track.
        for (int key : touched_) {
            for (int32_t i = head_[static_cast<size_t>(key)]; i >= 0; i = next_[static_cast<size_t>(i)])
                out_.notes[static_cast<size_t>(i)].end = tick;
            head_[static_cast<size_t>(key)] = tail_[static_cast<size_t>(key)] = -1;
        }
        if (tick > out_.endTick) out_.endTick = tick;
        return true;
    }

    // Note-ons append to their key's list of sounding notes; a note-off (or
    // a note-on of velocity 0) ends the earliest of them.
    void noteEvent(uint8_t status, uint8_t key, uint8_t velocity, int64_t tick) {
        const int kind = status & 0xF0, channel = status & 0x0F;
        const size_t k = static_cast<size_t>(channel * 128 + key);
        if (kind == 0x90 && velocity > 0) {
            const int32_t index = static_cast<int32_t>(out_.notes.size());
            out_.notes.push_back({tick, tick, static_cast<uint8_t>(channel), key, velocity});
            next_.push_back(-1);
            out_.channelsWithNotes = static_cast<uint16_t>(out_.channelsWithNotes | (1u << channel));
            if (head_[k] < 0) {
                head_[k] = index;
                touched_.push_back(static_cast<int>(k));
            } else {
                next_[static_cast<size_t>(tail_[k])] = index;
            }
            tail_[k] = index;
        } else if ((kind == 0x80 || kind == 0x90) && head_[k] >= 0) {
            const int32_t first = head_[k];
            out_.notes[static_cast<size_t>(first)].end = tick;
            head_[k] = next_[static_cast<size_t>(first)];
        }
    }

    const uint8_t* data_;
    size_t size_;
    MidiFileIn& out_;
    size_t at_ = 0, end_ = 0;
    int track_ = 0;
    size_t damageAt_ = 0;
    std::string damage_;
    // The sounding notes of each channel and key: a list through next_.
    std::vector<int32_t> head_, tail_, next_;
    std::vector<int> touched_;
};

}  // namespace

bool readMidiBytes(const uint8_t* data, size_t size, MidiFileIn& out, std::string& error) {
    out = MidiFileIn{};
    if (size > kMaxMidiFileSize) {
        error = "the file is larger than " + std::to_string(kMaxMidiFileSize / (1024 * 1024)) + " MiB";
        return false;
    }
    Parser p(data, size, out);
    if (p.parse(error)) return true;
    out = MidiFileIn{};
    return false;
}

}  // namespace velmor
