#pragma once
// The factory presets, compiled in: every sound of resources/presets/ and
// every demo (category "Demos"), in the order of the bank's table
// presets.tsv. Each holds the bytes of its pattern file, which
// PluginCore::loadState takes behind the state's tag, or readPatternBytes
// reads.

#include <cstddef>
#include <span>

namespace velmor {

struct FactoryPreset {
    const char* category;  // "Acid", "Sub", "Pluck", "Lead", "Effects" or "Demos"
    const char* name;
    const char* description;  // one line: what it sounds like and how to use it
    const unsigned char* bytes;
    size_t size;
};

std::span<const FactoryPreset> factoryPresets();

}  // namespace velmor
