#include "frozen_parameters.h"

#include <cstdio>
#include <sstream>

// The text of parameters.tsv.
extern const char kFrozenParameterList[];

namespace velmor::hosttest {

namespace {

std::vector<FrozenParameter> readList() {
    std::vector<FrozenParameter> rows;
    std::istringstream text(kFrozenParameterList);
    std::string line;
    std::getline(text, line);  // the names of the columns
    while (std::getline(text, line)) {
        FrozenParameter p{};
        char symbol[64], name[64], shortName[64];
        int end = 0;
        if (std::sscanf(line.c_str(), "%u\t%63[^\t]\t%63[^\t]\t%63[^\t]\t%d\t%d\t%d%n", &p.id, symbol, name, shortName, &p.minimum, &p.maximum,
                        &p.defaultValue, &end) != 7 ||
            line[end] != '\0') {
            std::fprintf(stderr, "parameters.tsv: the row \"%s\" does not read\n", line.c_str());
            return {};
        }
        p.symbol = symbol, p.name = name, p.shortName = shortName;
        rows.push_back(p);
    }
    return rows;
}

}  // namespace

const std::vector<FrozenParameter>& frozenParameters() {
    static const std::vector<FrozenParameter> rows = readList();
    return rows;
}

}  // namespace velmor::hosttest
