#pragma once
// What the windows say about the document's history and unsaved work,
// without the platform: the Edit menu's items, the title with its unsaved
// mark, the question before the work is replaced, and where a recovery copy
// goes when Windows shuts down with unsaved work.

#include <string>

namespace velmor {

// "&Undo Generate Random\tCtrl+Z", "&Redo Cutoff\tCtrl+Y"; without a name
// (nothing to undo or redo) just "&Undo\tCtrl+Z" or "&Redo\tCtrl+Y".
std::string editMenuText(bool redo, const char* stepName);

// The program title (kProgramTitle), or it with " - song.pat", and " *"
// after either while the document differs from the file last saved or
// loaded.
std::string documentTitle(const char* documentPath, bool changed);

// "Save changes to song.pat?", or "Save changes to Untitled?" before the
// document was ever saved.
std::string saveChangesQuestion(const char* documentPath);

// The recovery copy: "song (recovered).pat" beside the document's file, or
// "Untitled (recovered).pat" in the documents folder when it has none.
std::string recoveryPath(const char* documentPath, const char* documentsFolder);

}  // namespace velmor
