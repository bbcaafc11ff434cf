// Small helpers for the library's fixed-size ANSI path buffers and its texts.
#pragma once

#include "TextRules.h"

#include <windows.h>

#include <stddef.h>

#include <string>

namespace trelvox {

// Copies path into a MAX_PATH buffer. Refuses (leaving dest alone) a null path or one
// longer than 259 characters.
bool CopyPath(char (&dest)[MAX_PATH], const char* path);

// The file-name part of path: what follows the last '\' or '/', or the whole path.
const char* FileNamePart(const char* path);

// True if path names an existing directory.
bool IsDirectory(const char* path);

// True if anything (file or directory) exists at path.
bool PathExists(const char* path);

} // namespace trelvox
