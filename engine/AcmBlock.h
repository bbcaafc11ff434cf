// One block of PCM through an ACM conversion stream, with the failure messages that every
// destination converting through ACM reports.
#pragma once

#include "DefErrLog.h"
#include "Handles.h"

namespace trelvox {

struct AcmBlock {
    UniqueBytes data;   // the converted bytes
    uint32_t bytes = 0; // how many of data hold output
    uint32_t used = 0;  // input bytes the stream consumed
};

enum class AcmResult {
    Converted,
    TooShort, // the stream cannot size so little input (less than one codec block); not logged
    Failed,   // logged through log
};

// Sizes the output, allocates it, prepares the header, converts with flags and unprepares.
AcmResult ConvertAcmBlock(HACMSTREAM stream, const uint8_t* input, uint32_t bytes, DWORD flags,
                          const CDefErrLog& log, AcmBlock& out);

} // namespace trelvox
