#pragma once
// The shared file name of the file dialogs and the rules the file commands
// apply to it.

#include <cstddef>

namespace velmor {

// The size of the file name buffer shared by all file dialogs.
constexpr size_t kFileNameSize = 128;

// Appends ext (".pat" or ".raw") unless the name already contains it as a
// case-sensitive substring anywhere. Returns 1, or 0 when the name with the
// extension would not fit `capacity` bytes with its terminator; the name is
// then left unchanged rather than cut.
int appendExtension(char* name, size_t capacity, const char* ext);

// Turns a path into its last component in place: the text after the last
// backslash, unless there is none or it is the path's first character.
void stripDirectory(char* path);

}  // namespace velmor
