#include "engine/midi_parser.h"

namespace velmor {

int midiMessageSize(uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // program change and channel pressure: one data byte
    switch (status) {
        case 0xF1:
        case 0xF3: return 2;
        case 0xF2: return 3;
        case 0xF6:
        case 0xF8:
        case 0xFA:
        case 0xFB:
        case 0xFC: return 1;
        default: return 0;  // F0 and F7 (SysEx), F4, F5, F9, FD, Active Sensing, Reset
    }
}

bool MidiParser::feed(uint8_t byte, MidiMessage& out) {
    if (byte >= 0xF8) {
        // Real-Time: a message of its own, wherever it falls.
        if (midiMessageSize(byte) == 0) return false;
        out = MidiMessage{byte, 0, 0, 1};
        return true;
    }
    if (byte >= 0x80) {
        // Any other status ends a SysEx and what was cut short.
        inSysEx_ = byte == 0xF0;
        have_ = 0;
        const int size = midiMessageSize(byte);
        if (byte >= 0xF0) {
            // System Common cancels running status.
            status_ = 0;
            if (size == 1) {
                out = MidiMessage{byte, 0, 0, 1};
                return true;
            }
            if (size > 1) status_ = byte;
            return false;
        }
        status_ = byte;
        return false;
    }
    if (inSysEx_ || status_ == 0) return false;  // SysEx data, or data without a status
    data_[have_++] = byte;
    const int size = midiMessageSize(status_);
    if (have_ < size - 1) return false;
    out = MidiMessage{status_, data_[0], size == 3 ? data_[1] : uint8_t{0}, static_cast<uint8_t>(size)};
    have_ = 0;
    // System Common takes no running status.
    if (status_ >= 0xF0) status_ = 0;
    return true;
}

}  // namespace velmor
