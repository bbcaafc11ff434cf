// Output file naming. Not built yet: every call reports that.
#include "Trelvox.h"

#include <stdio.h>

int32_t __cdecl SuggestOutputFile(const char*, int32_t, IConvertSource*, char* outPath, int32_t outSize) {
    if (outPath && outSize > 0)
        snprintf(outPath, static_cast<size_t>(outSize), "%s", "Output naming is not available");
    return 0;
}
