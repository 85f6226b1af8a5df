#pragma once
// Pattern files (*.pat): the document as a plain little-endian dump. The
// writer produces the current layout, which begins with the version text
// "V1.0A"; the reader also takes the older single-unit layout without a
// header.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "files/safe_file.h"
#include "model/synth.h"

namespace velmor {

constexpr int kPatternHeaderSize = 30;

enum class PatternReadStatus {
    kCurrentLayout,  // read (as far as the data reached)
    kOldLayout,      // read (as far as the data reached)
    kCannotOpen,     // nothing changed
    kShortHeader,    // begins with the version text but ends inside the header; nothing changed
    kReadError       // a read failed (not the end of the file); nothing changed
};

// Writes the current layout through a temporary file that replaces the old
// file only when it was written whole (files/safe_file.h). Returns 1 when the
// file was saved, 0 when any step failed; the old file is then unchanged and
// `result` says which step failed and why.
int writePatternFile(const Document& d, const char* path, SaveResult* result = nullptr);

// The same into an open stream; the caller closes it. Returns 1 when every
// write succeeded (data still in the stream's buffer is not flushed here).
int writePatternStream(const Document& d, std::FILE* f);

// The same bytes into memory (a plugin's state).
void writePatternBytes(const Document& d, std::string& bytes);

// Loads a pattern file of either layout: it is read into a copy of the
// document, which replaces the document whole only when the read succeeded;
// then everything derived is renewed (installDocument), the undo history
// begins anew and the document counts as saved. Returns 1 when it
// was loaded, 0 when it cannot be opened or read, or is refused (nothing
// changes then). A file cut short is read as far as its data reaches.
// Counts are brought into the document's limits: unitCount 1..8,
// patternCount 0..64, songLength 0..512, at most 1024 user samples.
int loadPatternFile(Synth& s, const char* path, PatternReadStatus* status = nullptr);

// The same from an open stream, read from its current position to its end;
// the caller closes it. The stream need not be seekable.
int loadPatternStream(Synth& s, std::FILE* f, PatternReadStatus* status = nullptr);

// The reading alone, into `doc`, which holds what the fields the file does
// not reach keep. Returns 0 when a read failed or the file is refused; doc
// may then be written in part.
int readPatternStream(std::FILE* f, Document& doc, PatternReadStatus* status = nullptr);
// The same from `size` bytes in memory (a plugin's state); a read cannot
// fail there.
int readPatternBytes(const void* data, size_t size, Document& doc, PatternReadStatus* status = nullptr);

}  // namespace velmor
