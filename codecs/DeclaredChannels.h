// The channel count that a file's own header declares, for the containers that the library
// hands to the platform's decoders without reading them itself: AIFF and AIFF-C (the COMM
// chunk), AU in either byte order, and Ogg Vorbis or Opus (the first identification packet).
// Plain C++ over a RiffReader, so that it builds natively too.
#pragma once

#include "RiffChunks.h"

#include <stdint.h>

namespace trelvox {

// False when the file is none of these or ends before its count.
bool ReadDeclaredChannels(RiffReader& file, uint32_t& channels);

} // namespace trelvox
