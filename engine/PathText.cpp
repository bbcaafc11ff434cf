#include "PathText.h"

#include <string.h>

namespace trelvox {

bool CopyPath(char (&dest)[MAX_PATH], const char* path) {
    if (!path)
        return false;
    size_t length = strlen(path);
    if (length >= MAX_PATH)
        return false;
    memcpy(dest, path, length + 1);
    return true;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

bool IsLeadByte(char c) {
    return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
}

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return name;
}

bool IsDirectory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Widen(const std::string& text, unsigned codePage) {
    if (text.empty())
        return std::wstring();
    int count = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(count > 0 ? count : 0), L'\0');
    if (count > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

std::string Narrow(const std::wstring& text, unsigned codePage) {
    if (text.empty())
        return std::string();
    int count = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], count,
                            nullptr, nullptr);
    return narrow;
}

} // namespace trelvox
