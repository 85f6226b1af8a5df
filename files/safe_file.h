#pragma once
// Writing a file without ever losing the one it replaces: the content goes
// into a new temporary file in the target's folder, which is flushed,
// closed and then put in the target's place in one step. When any step
// fails, the temporary file is removed and the target stays as it was.

#include <cstdio>
#include <functional>
#include <string>

namespace velmor {

// The steps of a save, in order; kNone when the save succeeded.
enum class SaveStep {
    kNone,
    kOpenTarget,  // the existing file cannot be opened for writing (read-only, locked)
    kCreate,      // the temporary file (or a target that is no plain file) cannot be created
    kWrite,
    kFlush,
    kClose,
    kReplace  // the temporary file cannot take the target's place
};

struct SaveResult {
    SaveStep failed = SaveStep::kNone;
    std::string reason;  // the system's text for the failure
    bool ok() const { return failed == SaveStep::kNone; }
};

// What failed and why, in a few words: "cannot flush the file: No space
// left on device". Empty for a save that succeeded.
std::string describe(const SaveResult& r);

// Whether the failure happened before anything was written, so that the
// file could not even be started.
bool failedToStart(const SaveResult& r);

// The file system operations a save uses. Each reports a failure with its
// reason: the creating and replacing ones in `reason`, the others through
// errno as the C library does.
struct FileOps {
    // Creates a file that does not exist yet, for writing in binary mode.
    std::FILE* (*createNew)(const char* path, std::string& reason);
    int (*flush)(std::FILE* f);
    int (*close)(std::FILE* f);
    // Puts `from` in the place of `to`, replacing it if it exists, in one step.
    bool (*replace)(const char* from, const char* to, std::string& reason);
};

// The operations of the system the program runs on.
const FileOps& systemFileOps();

// Writes the content into an open stream; false when a write came up short.
using WriteContent = std::function<bool(std::FILE*)>;

// Writes `path` through a temporary file beside it. A path that names
// something other than a plain file (a device such as /dev/null, a pipe) is
// written directly, as it cannot be replaced. A symbolic link is followed:
// the file it leads to is replaced and the link stays.
SaveResult saveFile(const char* path, const WriteContent& content, const FileOps& ops = systemFileOps());

}  // namespace velmor
