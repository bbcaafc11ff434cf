#include "TrackRecord.h"

#include <string.h>

namespace cdrip {

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

uint32_t PackFrames(uint32_t frames) {
    return (frames / 4500) << 16 | (frames % 4500 / 75) << 8 | frames % 75;
}

uint32_t PackLba(int32_t lba) {
    return PackFrames(static_cast<uint32_t>(lba < -150 ? lba + 450150 : lba + 150));
}

void EncodeTrackRecord(const TrackRecord& record, uint8_t* out) {
    out[0] = static_cast<uint8_t>(record.present);
    out[1] = static_cast<uint8_t>(record.present >> 8);
    out[2] = static_cast<uint8_t>(record.number);
    out[3] = static_cast<uint8_t>(record.number >> 8);
    PutLe32(out + 4, record.discKey);
    PutLe32(out + 8, record.start);
    PutLe32(out + 12, record.length);
    PutLe32(out + 16, record.startMsf);
    PutLe32(out + 20, record.lengthMsf);
}

TrackRecord DecodeTrackRecord(const uint8_t* bytes) {
    TrackRecord record;
    record.present = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    record.number = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
    record.discKey = Le32(bytes + 4);
    record.start = Le32(bytes + 8);
    record.length = Le32(bytes + 12);
    record.startMsf = Le32(bytes + 16);
    record.lengthMsf = Le32(bytes + 20);
    return record;
}

std::vector<uint8_t> BuildCdaFile(const TrackRecord& record) {
    std::vector<uint8_t> file(44);
    memcpy(&file[0], "RIFF", 4);
    PutLe32(&file[4], 36);
    memcpy(&file[8], "CDDAfmt ", 8);
    PutLe32(&file[16], kTrackRecordBytes);
    EncodeTrackRecord(record, &file[20]);
    return file;
}

} // namespace cdrip
