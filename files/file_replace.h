#pragma once
// The two file operations whose form differs between systems: creating a
// file only if it does not exist yet, and putting one file in the place of
// another in one step. Each system has its own implementation file.

#include <cstdio>
#include <string>

namespace velmor {

// Creates `path` for writing in binary mode; fails, with the system's
// reason, when it exists already or cannot be created.
std::FILE* createNewFile(const char* path, std::string& reason);

// Puts the file `from` in the place of `to`, replacing `to` if it exists,
// in one step: afterwards `to` is either the old or the new file. Fails
// with the system's reason.
bool replaceFile(const char* from, const char* to, std::string& reason);

}  // namespace velmor
