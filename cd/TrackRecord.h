// The track record: one audio track of a disc, as a disc's track list holds it and as a .cda
// file stores it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "TrelvoxCDTypes.h"

namespace cdrip {

constexpr uint32_t kTrackRecordBytes = 24;

// minute << 16 | second << 8 | frame of a count of frames.
uint32_t PackFrames(uint32_t frames);
// The packed time of an LBA: counted from the start of the 2-second lead-in (450150 frames
// on, for the negative addresses that wrap around).
uint32_t PackLba(int32_t lba);

// The 24 record bytes as a .cda file stores them (little-endian), and back.
void EncodeTrackRecord(const TrackRecord& record, uint8_t* out);
TrackRecord DecodeTrackRecord(const uint8_t* bytes);

// A whole .cda file: RIFF form "CDDA" with one "fmt " chunk holding the record.
std::vector<uint8_t> BuildCdaFile(const TrackRecord& record);

} // namespace cdrip
