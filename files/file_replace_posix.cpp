// POSIX systems: the C library's exclusive creation and rename, which
// replaces an existing target atomically.

#include <cerrno>
#include <cstring>

#include "files/file_replace.h"

namespace velmor {

std::FILE* createNewFile(const char* path, std::string& reason) {
    std::FILE* f = std::fopen(path, "wbx");
    if (!f) reason = std::strerror(errno);
    return f;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    if (std::rename(from, to) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

}  // namespace velmor
