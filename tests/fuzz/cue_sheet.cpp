// The CD bench's cue-sheet reader and the frames, track lookups and CD-Text it then gives.
// The input is the cue sheet, then after a NUL the contents of "w.wav".
#include "DiscFiles.h"
#include "MmcDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const std::string dir = fuzz::DiscDirectory();
    fuzz::WriteFile(dir + "disc.cue", input.Piece('\0'));
    fuzz::WriteFile(dir + "w.wav", input.Rest());
    cdbench::DiscImage disc;
    std::string error;
    if (!disc.LoadCue(dir + "disc.cue", error))
        return 0;
    FUZZ_CHECK(!disc.Tracks().empty(), "a disc without tracks");
    std::vector<uint8_t> frame(cdbench::kFrameBytes);
    int32_t previousStart = -1;
    for (const cdbench::DiscTrack& track : disc.Tracks()) {
        FUZZ_CHECK(track.start > previousStart, "track %d starts at %d after %d", track.number, track.start,
                   previousStart);
        previousStart = track.start;
        FUZZ_CHECK(disc.TrackAt(track.start) == &track && disc.TrackAt(track.start + track.length) != &track,
                   "track %d of %d frames at %d is not where it is", track.number, track.length, track.start);
        for (int32_t lba :
             {track.start - 1, track.start, track.start + track.length - 1, track.start + track.length}) {
            disc.TrackAt(lba);
            disc.ReadRawFrame(lba, frame.data());
            if (!track.audio)
                disc.ReadUserData(lba, frame.data());
        }
    }
    disc.ReadRawFrame(disc.LeadOut(), frame.data());
    disc.ReadRawFrame(-151, frame.data());
    std::vector<uint8_t> packs = cdbench::BuildCdTextPacks(disc);
    FUZZ_CHECK(packs.size() % 18 == 0, "%zu bytes of CD-Text packs", packs.size());
    for (size_t i = 0; i < packs.size(); i += 18) {
        const uint16_t crc = cdbench::CdTextCrc(&packs[i]);
        FUZZ_CHECK(packs[i + 16] == (crc >> 8) && packs[i + 17] == (crc & 0xFF), "pack %zu CRC", i / 18);
    }
    return 0;
}
