// The .cda reader, and its round trip with the writer the CD bench uses.
#include "CDARecord.h"
#include "FuzzSupport.h"

namespace {

bool Same(const cdrip::TrackRecord& a, const cdrip::TrackRecord& b) {
    return a.present == b.present && a.number == b.number && a.discKey == b.discKey && a.start == b.start &&
           a.length == b.length && a.startMsf == b.startMsf && a.lengthMsf == b.lengthMsf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::MemoryReader file(data, size);
    cdrip::TrackRecord record;
    cdrip::ReadCdaRecord(file, record);

    if (size < cdrip::kTrackRecordBytes)
        return 0;
    const cdrip::TrackRecord written = cdrip::DecodeTrackRecord(data);
    const std::vector<uint8_t> cda = cdrip::BuildCdaFile(written);
    fuzz::MemoryReader built(cda.data(), cda.size());
    cdrip::TrackRecord read;
    FUZZ_CHECK(cdrip::ReadCdaRecord(built, read), "a written .cda file does not read back");
    FUZZ_CHECK(Same(read, written), "track %u start %u read back as track %u start %u", written.number,
               written.start, read.number, read.start);
    uint8_t encoded[cdrip::kTrackRecordBytes];
    cdrip::EncodeTrackRecord(read, encoded);
    FUZZ_CHECK(memcmp(encoded, data, sizeof encoded) == 0, "the record's bytes change on the way");
    return 0;
}
