#pragma once
// Files in memory: what a writer puts into a stream, and a stream that
// reads given bytes.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "files/pattern_file.h"
#include "model/synth.h"

namespace velmor::testing {

// A file name in the temporary folder of this process alone: tests run side by side.
inline std::string tempPath(const std::string& name) { return ::testing::TempDir() + std::to_string(getpid()) + "-" + name; }

// The bytes of a file.
inline std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes `write` writes into a stream.
template <class Write>
std::vector<uint8_t> writtenBytes(Write write) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    write(f);
    std::fclose(f);
    std::vector<uint8_t> bytes(data, data + size);
    std::free(data);
    return bytes;
}

// What `read` gives for a stream of the first `length` bytes of `bytes`.
template <class Read>
auto readBytes(const std::vector<uint8_t>& bytes, size_t length, Read read) {
    std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    copy.push_back(0);  // fmemopen wants a buffer even for no data
    std::FILE* f = fmemopen(copy.data(), length, "rb");
    const auto result = read(f);
    std::fclose(f);
    return result;
}

// The pattern file that "Save Pattern..." writes of `s`, and a load of one.
inline std::vector<uint8_t> savedPattern(const Synth& s) {
    return writtenBytes([&s](std::FILE* f) { writePatternStream(s.score.doc, f); });
}
inline int loadPatternBytes(Synth& s, const std::vector<uint8_t>& bytes, PatternReadStatus* status = nullptr) {
    return readBytes(bytes, bytes.size(), [&](std::FILE* f) { return loadPatternStream(s, f, status); });
}

}  // namespace velmor::testing
