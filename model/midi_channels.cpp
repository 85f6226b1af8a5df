#include "model/midi_channels.h"

#include "model/synth.h"

namespace velmor {

int unitListeningChannel(const Synth& s, int unit) {
    if (unit < 0 || unit >= kUnitSlots) return 0;
    return listeningChannel(s.score.doc.units[unit].midiChannel, unit);
}

void setUnitChannel(Synth& s, int unit, int channel) {
    if (unit < 0 || unit >= kUnitSlots || channel < 0 || channel > 16) return;
    if (unitListeningChannel(s, unit) == channel) return;
    Edit edit(s);
    s.score.doc.units[unit].midiChannel = static_cast<uint16_t>(channel == 0 ? kChannelOff : channel);
}

}  // namespace velmor
