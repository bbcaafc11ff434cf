#include "TextRules.h"

#include <string.h>

namespace trelvox {

void CopyTruncated(char* dest, size_t size, const char* src) {
    size_t length = strlen(src);
    if (length > size - 1)
        length = size - 1;
    memmove(dest, src, length);
    dest[length] = '\0';
}

} // namespace trelvox
