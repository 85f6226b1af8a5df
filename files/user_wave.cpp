#include "files/user_wave.h"

#include <cstdio>

namespace velmor {

int loadUserWave(Synth& s, const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    unsigned char bytes[2 * kWaveLength];
    const size_t got = std::fread(bytes, 1, sizeof bytes, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return 0;
    Edit edit(s, "Load Wave");
    for (size_t n = 0; 2 * n + 1 < got; ++n)
        s.score.doc.userWave[n] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * n] | (bytes[2 * n + 1] << 8)));
    return 1;
}

}  // namespace velmor
