#include "CDARecord.h"

namespace cdrip {

bool ReadCdaRecord(trelvox::RiffReader& file, TrackRecord& record) {
    trelvox::RiffChunk form;
    if (!trelvox::FindRiffForm(file, trelvox::FourCC('C', 'D', 'D', 'A'), form))
        return false;
    bool found = false;
    trelvox::RiffChunk chunk;
    for (const trelvox::RiffChunk* previous = nullptr; trelvox::NextRiffChunk(file, form, previous, chunk);
         previous = &chunk) {
        uint8_t bytes[kTrackRecordBytes];
        if (chunk.id == trelvox::FourCC('f', 'm', 't', ' ') && chunk.size == kTrackRecordBytes &&
            file.ReadAt(chunk.dataOffset, bytes, sizeof bytes) == sizeof bytes) {
            record = DecodeTrackRecord(bytes);
            found = true;
        }
    }
    return found;
}

} // namespace cdrip
