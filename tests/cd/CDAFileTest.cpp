#include "CDAFile.h"
#include "TestSupport.h"
#include "WavTestFiles.h"

#include <string.h>

namespace {

cdrip::TrackRecord Record() {
    cdrip::TrackRecord record = {};
    record.present = 1;
    record.number = 7;
    record.discKey = 0x00123456;
    record.start = 123456;
    record.length = 20000;
    record.startMsf = cdrip::PackLba(123456);
    record.lengthMsf = cdrip::PackFrames(20000);
    return record;
}

using wavtest::Chunk;

std::string Form(const std::string& type, const std::string& chunks) {
    return Chunk("RIFF", type + chunks);
}

std::string RecordBytes(const cdrip::TrackRecord& record) {
    uint8_t bytes[24];
    cdrip::EncodeTrackRecord(record, bytes);
    return std::string(reinterpret_cast<char*>(bytes), 24);
}

HRESULT ReadFrom(const std::string& path, cdrip::TrackRecord* out) {
    CCDAFile file;
    file.SetPath(path.c_str());
    return file.ReadRecord(out);
}

TEST(CDAFile, ReadsTheRecordAsWindowsWritesIt) {
    txtest::TempDir dir;
    std::vector<uint8_t> bytes = cdrip::BuildCdaFile(Record());
    ASSERT_EQ(44u, bytes.size());
    // Start 123456 + 150 frames = 27:28:06; length 20000 frames = 04:26:50.
    const uint8_t kTimes[8] = {6, 28, 27, 0, 50, 26, 4, 0};
    EXPECT_EQ(0, memcmp(&bytes[36], kTimes, 8));
    std::string path = dir / "Track07.cda";
    txtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    cdrip::TrackRecord got = {};
    ASSERT_EQ(S_OK, ReadFrom(path, &got));
    EXPECT_EQ(0, memcmp(&got, &bytes[20], 24));
    cdrip::TrackRecord expected = Record();
    EXPECT_EQ(0, memcmp(&got, &expected, sizeof(got)));
}

TEST(CDAFile, TakesTheLast24ByteFmtChunkAndRefusesWhatIsNotATrackFile) {
    txtest::TempDir dir;
    cdrip::TrackRecord got = {};
    cdrip::TrackRecord last = Record();
    last.number = 9;
    std::string path = dir / "chunks.cda";
    txtest::WriteFile(path, Form("CDDA", Chunk("LIST", "odd") + Chunk("fmt ", RecordBytes(Record())) +
                                             Chunk("fmt ", RecordBytes(Record()).substr(0, 20)) +
                                             Chunk("fmt ", RecordBytes(last)) + Chunk("JUNK", "x")));
    ASSERT_EQ(S_OK, ReadFrom(path, &got));
    EXPECT_EQ(9, got.number);

    struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"short fmt", Form("CDDA", Chunk("fmt ", RecordBytes(Record()).substr(0, 20)))},
        {"long fmt", Form("CDDA", Chunk("fmt ", RecordBytes(Record()) + "xxxx"))},
        {"a wave file", Form("WAVE", Chunk("fmt ", RecordBytes(Record())))},
        {"no fmt", Form("CDDA", Chunk("data", "abcd"))},
        {"cut short", Form("CDDA", Chunk("fmt ", RecordBytes(Record()))).substr(0, 30)},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        std::string path = dir / "bad.cda";
        txtest::WriteFile(path, c.bytes);
        EXPECT_EQ(E_FAIL, ReadFrom(path, &got)) << c.name;
    }
    EXPECT_EQ(E_FAIL, ReadFrom(dir / "missing.cda", &got));
    EXPECT_EQ(E_INVALIDARG, ReadFrom("", &got));
    CCDAFile file;
    file.SetPath(nullptr);
    EXPECT_EQ(E_INVALIDARG, file.ReadRecord(&got));
}

} // namespace
