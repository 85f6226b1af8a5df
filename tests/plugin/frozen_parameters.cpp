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
        std::istringstream fields(line);
        FrozenParameter p{};
        std::string number[4];
        for (std::string* field : {&number[0], &p.symbol, &p.name, &p.shortName, &number[1], &number[2], &number[3]})
            std::getline(fields, *field, '\t');
        char* end[4] = {};
        p.id = static_cast<uint32_t>(std::strtoul(number[0].c_str(), &end[0], 10));
        p.minimum = static_cast<int32_t>(std::strtol(number[1].c_str(), &end[1], 10));
        p.maximum = static_cast<int32_t>(std::strtol(number[2].c_str(), &end[2], 10));
        p.defaultValue = static_cast<int32_t>(std::strtol(number[3].c_str(), &end[3], 10));
        for (int i = 0; i < 4; ++i)
            if (number[i].empty() || *end[i] != '\0') {
                std::fprintf(stderr, "parameters.tsv: the row \"%s\" does not read\n", line.c_str());
                return {};
            }
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
