// Path helpers of txconv; paths are ANSI text with Windows separators.
#pragma once

#include <stdint.h>

#include <string>

namespace txconv {

// The absolute form of path (GetFullPathName), with forward slashes turned into backslashes;
// path itself when that fails.
std::string FullPath(const std::string& path);
bool FileExists(const std::string& path); // a file or a directory
bool IsDirectory(const std::string& path);
// Size in bytes, or -1 when the file cannot be read.
int64_t FileSize(const std::string& path);
// The part after the last separator.
std::string FileNamePart(const std::string& path);
// dir and name joined by one backslash.
std::string JoinPath(const std::string& dir, const std::string& name);
// True for "C:\...", "\..." and "\\server\...": paths that do not hang off the current directory.
bool IsRooted(const std::string& path);
bool SamePath(const std::string& a, const std::string& b); // full paths, case ignored

} // namespace txconv
