#include "plugin/clap/clap_state.h"

#include <cstring>
#include <string>

#include "plugin/clap/clap_instance.h"
#include "plugin/saved_state.h"

namespace velmor {

namespace {

bool CLAP_ABI save(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    const ClapInstance& v = instanceOf(plugin);
    const std::string bytes = saveState(*v.core, v.asked, v.file);
    for (size_t done = 0; done < bytes.size();) {
        const int64_t n = stream->write(stream, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A state that cannot be read changes nothing.
bool CLAP_ABI load(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    ClapInstance& v = instanceOf(plugin);
    std::string bytes;
    char chunk[4096];
    for (int64_t n; bytes.size() < kMostStateBytes && (n = stream->read(stream, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<size_t>(n));
        if (stateEnds(chunk, static_cast<size_t>(n))) break;
    }
    if (!loadState(bytes, *v.core, v.asked, v.file)) return false;
    if (v.hostParams) v.hostParams->rescan(v.host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    return true;
}

}  // namespace

const clap_plugin_state_t kClapState = {save, load};

}  // namespace velmor
