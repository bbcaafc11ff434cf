#include "Paths.h"

#include <windows.h>

#include <algorithm>

namespace txconv {

std::string FullPath(const std::string& path) {
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '/', '\\');
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(slashed.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return slashed;
    return full;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string FileNamePart(const std::string& path) {
    size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    char last = dir.back();
    return last == '\\' || last == '/' ? dir + name : dir + "\\" + name;
}

bool IsRooted(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

bool SamePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(FullPath(a).c_str(), FullPath(b).c_str()) == 0;
}

} // namespace txconv
