// Reading the track record out of a .cda file, as plain C++ over a RiffReader.
#pragma once

#include "RiffChunks.h"
#include "TrackRecord.h"

namespace cdrip {

// The record of the last "fmt " chunk of exactly 24 bytes in the file's RIFF form "CDDA";
// false when the file is no such form or holds no such chunk.
bool ReadCdaRecord(trelvox::RiffReader& file, TrackRecord& record);

} // namespace cdrip
