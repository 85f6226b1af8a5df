#pragma once
// The plugin's parameters as hosts' projects name them: parameters.tsv,
// built into the test programs. Its rows are only ever appended to; the
// plugin must describe every parameter as its row does.

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::hosttest {

struct FrozenParameter {
    uint32_t id;  // CLAP id 1 + id, VST3 id 2082 + id, LV2 port 6 + id
    std::string symbol, name, shortName;
    int32_t minimum, maximum, defaultValue;
};

// The rows in order; empty when a row does not read (each such row is
// named on stderr).
const std::vector<FrozenParameter>& frozenParameters();

}  // namespace velmor::hosttest
