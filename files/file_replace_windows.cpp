// Windows: the C library's rename refuses an existing target, so the file is
// moved into place by the system, which replaces the target in one step and
// returns only when the move has reached the disk.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "files/file_replace.h"

namespace velmor {

namespace {

// The system's text for an error code, without its closing period and line
// break.
std::string systemText(DWORD code) {
    char text[512] = {};
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
    if (n == 0) return "system error " + std::to_string(code);
    return std::string(text, n);
}

}  // namespace

std::FILE* createNewFile(const char* path, std::string& reason) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        reason = systemText(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
    if (fd == -1) {
        CloseHandle(h);
        DeleteFileA(path);
        reason = "cannot hand the file to the C library";
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) {
        _close(fd);
        DeleteFileA(path);
        reason = "cannot hand the file to the C library";
    }
    return f;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    reason = systemText(GetLastError());
    return false;
}

}  // namespace velmor
