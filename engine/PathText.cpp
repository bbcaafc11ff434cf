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

void CopyTruncated(char* dest, size_t size, const char* src) {
    size_t length = strlen(src);
    if (length > size - 1)
        length = size - 1;
    memmove(dest, src, length);
    dest[length] = '\0';
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

} // namespace trelvox
