#include "files/file_names.h"

#include <cstring>

namespace velmor {

int appendExtension(char* name, size_t capacity, const char* ext) {
    if (std::strstr(name, ext) != nullptr) return 1;
    const size_t length = std::strlen(name);
    if (length + std::strlen(ext) + 1 > capacity) return 0;
    std::memcpy(name + length, ext, std::strlen(ext) + 1);
    return 1;
}

void stripDirectory(char* path) {
    const char* last = std::strrchr(path, '\\');
    if (last == nullptr || last == path) return;
    std::memmove(path, last + 1, std::strlen(last + 1) + 1);
}

}  // namespace velmor
