#include "Recorder.h"

#include "Handles.h"
#include "Trace.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace cdengine {

namespace {

// How long the drive may take: a WRITE waits while the drive's buffer is full, and closing
// the session writes the lead-out (a minute and more at low speeds).
constexpr DWORD kWriteTimeout = 60 * 1000;
constexpr DWORD kCloseTimeout = 10 * 60 * 1000;
// Lead-in blocks (96 bytes each) per WRITE, per frame the transfer buffer holds.
constexpr uint32_t kLeadInBlocksPerFrame = kAudioFrameBytes / kLeadInFrameBytes;

constexpr uint8_t kFlagsOut = aspi::kFlagEventNotify | aspi::kFlagDataOut;
constexpr uint8_t kFlagsNone = aspi::kFlagEventNotify;

void PutBe32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// An address of READ DISC INFORMATION (00 MM SS FF) as an LBA; 90 minutes and more are the
// negative addresses in front of the program area.
int32_t MsfToLba(const uint8_t* p) {
    int32_t value = (p[1] * 60 + p[2]) * 75 + p[3];
    return p[1] >= 90 ? value - 450150 : value - static_cast<int32_t>(kPregapFrames);
}

bool IsUnderrun(int senseCode) {
    return (senseCode & 0xFFFF) == 0x0C09;
}

// WRITE(10) of blocks at lba; bytes hold them in the block size the cue sheet gave the area.
Status WriteBlocks(Drive& drive, int32_t lba, uint32_t blocks, uint8_t* bytes, uint32_t size) {
    if (drive.AbortRequested())
        return Status{kErrAborted, 0};
    ScsiCommand command(
        {0x2A, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks), 0}, 10);
    PutBe32(command.cdb + 2, static_cast<uint32_t>(lba));
    command.flags = kFlagsOut;
    command.buffer = bytes;
    command.bufferLength = size;
    command.timeout = kWriteTimeout;
    Status status = drive.Run(command, kErrWrite);
    if (!status && IsUnderrun(status.subCode))
        status.code = kErrBufferUnderrun;
    return status;
}

Status WriteLeadIn(Drive& drive, const std::vector<uint8_t>& packs, int32_t leadInStart) {
    uint32_t perCommand = drive.MaxFrames() * kLeadInBlocksPerFrame;
    std::vector<uint8_t> buffer(static_cast<size_t>(perCommand) * kLeadInFrameBytes);
    uint32_t total = static_cast<uint32_t>(-static_cast<int32_t>(kPregapFrames) - leadInStart);
    for (uint32_t done = 0; done < total;) {
        uint32_t n = std::min(perCommand, total - done);
        for (uint32_t i = 0; i < n; ++i)
            EncodeLeadInFrame(packs, done + i, &buffer[static_cast<size_t>(i) * kLeadInFrameBytes]);
        Status status = WriteBlocks(drive, leadInStart + static_cast<int32_t>(done), n, buffer.data(),
                                    n * kLeadInFrameBytes);
        if (!status)
            return status;
        done += n;
    }
    return Status();
}

// The tracks' frames, with track 1's pregap of silence in front.
Status WriteTracks(Drive& drive, const WriteLayout& layout, std::vector<trelvox::UniqueFile>& files,
                   const WriteProgress& progress) {
    uint32_t perCommand = drive.MaxFrames();
    std::vector<uint8_t> buffer(static_cast<size_t>(perCommand) * kAudioFrameBytes);
    for (uint32_t done = 0; done < kPregapFrames;) {
        uint32_t n = std::min(perCommand, kPregapFrames - done);
        Status status = WriteBlocks(drive, static_cast<int32_t>(done) - static_cast<int32_t>(kPregapFrames),
                                    n, buffer.data(), n * kAudioFrameBytes);
        if (!status)
            return status;
        done += n;
    }
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        const WriteTrack& track = layout.tracks[t];
        if (progress)
            progress(kWriteTrackStart, static_cast<uint32_t>(t + 1));
        uint64_t left = track.bytes;
        for (uint32_t done = 0; done < track.length;) {
            uint32_t n = std::min(perCommand, track.length - done);
            size_t want = static_cast<size_t>(std::min<uint64_t>(left, uint64_t{n} * kAudioFrameBytes));
            if (fread(buffer.data(), 1, want, files[t].get()) != want)
                return Status{kErrTrackFile, static_cast<int>(t + 1)};
            // The last frame of a file that does not end on a frame boundary is filled up.
            memset(buffer.data() + want, 0, n * kAudioFrameBytes - want);
            left -= want;
            Status status = WriteBlocks(drive, static_cast<int32_t>(track.start + done), n, buffer.data(),
                                        n * kAudioFrameBytes);
            if (!status)
                return status;
            done += n;
            if (progress)
                progress(kWriteProgress, n);
        }
    }
    return Status();
}

// SYNCHRONIZE CACHE makes the drive write what it holds, the lead-out and the TOC; a drive
// that returns at once says "long write in progress" (not ready, 04h) until it is done.
Status CloseSession(Drive& drive) {
    ScsiCommand sync({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10);
    sync.flags = kFlagsNone;
    sync.timeout = kCloseTimeout;
    Status status = drive.Run(sync, kErrCloseSession);
    if (!status)
        return status;
    for (DWORD waited = 0; waited < kCloseTimeout; waited += 500) {
        ScsiCommand ready({0x00, 0, 0, 0, 0, 0}, 6);
        ready.flags = kFlagsNone;
        status = drive.Run(ready, kErrCloseSession);
        if (status || (status.subCode >> 8) != 0x0204)
            return status;
        Sleep(500);
    }
    return status;
}

} // namespace

Status BuildWriteLayout(const std::vector<std::string>& paths, WriteLayout& layout) {
    std::vector<uint64_t> sizes;
    for (size_t i = 0; i < paths.size(); ++i) {
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (!GetFileAttributesExA(paths[i].c_str(), GetFileExInfoStandard, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return Status{kErrTrackFile, static_cast<int>(i + 1)};
        sizes.push_back(uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
    }
    return LayoutTracks(paths, sizes, layout);
}

Status ReadDiscSpace(Drive& drive, DiscSpace& space) {
    uint8_t answer[34] = {};
    ScsiCommand command({0x51, 0, 0, 0, 0, 0, 0, 0, sizeof(answer), 0}, 10);
    command.buffer = answer;
    command.bufferLength = sizeof(answer);
    Status status = drive.Run(command, kErrNotBlank);
    if (!status)
        return status;
    space.status = answer[2] & 0x03;
    space.erasable = (answer[2] & 0x10) != 0;
    space.leadInStart = MsfToLba(answer + 16);
    int32_t leadOut = MsfToLba(answer + 20);
    space.capacity = leadOut > 0 ? static_cast<uint32_t>(leadOut) : 0;
    return status;
}

int MaxWriteSpeedIndex(Drive& drive) {
    if (!(drive.WriterFlags() & kWriteCdr))
        return -1;
    // The whole page: the write speed descriptors follow its first 32 bytes.
    std::vector<uint8_t> answer(256);
    ScsiCommand command({0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0x00, 0}, 10);
    command.buffer = answer.data();
    command.bufferLength = static_cast<uint32_t>(answer.size());
    if (!drive.Run(command, kErrCommand))
        return 0;
    size_t at = 8 + (answer[6] << 8 | answer[7]);
    if (at + 2 > answer.size() || (answer[at] & 0x3F) != 0x2A)
        return 0;
    return SpeedIndexOf(MaxWriteKbps(&answer[at], answer.size() - at));
}

Status WriteDiscAtOnce(Drive& drive, const WriteLayout& layout, const WriteOptions& options) {
    int factor = SpeedFactor(options.speedIndex);
    if (layout.tracks.empty() || layout.totalFrames == 0)
        return Status{kErrBadArgument, 0};
    if (factor < 0)
        return Status{kErrBadArgument, options.speedIndex};
    uint32_t writer = drive.WriterFlags();
    if (!(writer & kWriteCdr))
        return Status{kErrNotWriter, 0};
    if (options.testMode && !(writer & kWriteTest))
        return Status{kErrNoTestWrite, 0};
    std::vector<trelvox::UniqueFile> files;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        files.emplace_back(fopen(layout.tracks[i].path.c_str(), "rb"));
        if (!files.back())
            return Status{kErrTrackFile, static_cast<int>(i + 1)};
    }

    DiscSpace space;
    Status status = ReadDiscSpace(drive, space);
    if (!status)
        return status;
    if (space.status != 0)
        return Status{kErrNotBlank, space.status};
    if (layout.totalFrames > space.capacity)
        return Status{kErrDiscTooSmall, static_cast<int>(space.capacity)};
    // CD-Text goes into the lead-in, which the drive must tell us where to find.
    std::vector<uint8_t> packs = BuildCdTextPacks(layout.text, static_cast<int>(layout.tracks.size()));
    if (space.leadInStart >= -static_cast<int32_t>(kPregapFrames))
        packs.clear();
    std::vector<uint8_t> cue;
    if (packs.empty() && !layout.text.empty()) {
        WriteLayout plain = layout;
        plain.text = CdTextBlock();
        cue = BuildCueSheet(plain);
    } else {
        cue = BuildCueSheet(layout);
    }
    TX_TRACE(cd, "writing %u frames in %u tracks, %u CD-Text packs, speed %d, test %d, BURN-Proof %d",
             layout.totalFrames, static_cast<unsigned>(layout.tracks.size()),
             static_cast<unsigned>(packs.size() / 18), factor, options.testMode, options.burnProof);

    // Reading as fast as it goes, writing at the factor asked for (1x = 176.4 kB/s).
    uint16_t kbps = factor == 0 ? 0xFFFF : static_cast<uint16_t>(factor * 1764 / 10);
    ScsiCommand speed({0xBB, 0, 0xFF, 0xFF, static_cast<uint8_t>(kbps >> 8), static_cast<uint8_t>(kbps)}, 12);
    speed.flags = kFlagsNone;
    if (!(status = drive.Run(speed, kErrWriteMode)))
        return status;

    // Write parameters: session-at-once (disc-at-once), test write and buffer-underrun
    // protection as asked, audio track mode, raw 2352-byte blocks, CD-DA session, a
    // 2-second pause.
    uint8_t parameters[8 + 52] = {};
    uint8_t* page = parameters + 8;
    page[0] = 0x05;
    page[1] = 0x32;
    page[2] = static_cast<uint8_t>(0x02 | (options.testMode ? 0x10 : 0) |
                                   (options.burnProof && (writer & kWriteBurnProof) ? 0x40 : 0));
    page[15] = static_cast<uint8_t>(kPregapFrames);
    ScsiCommand select({0x55, 0x10, 0, 0, 0, 0, 0, 0, sizeof(parameters), 0}, 10);
    select.flags = kFlagsOut;
    select.buffer = parameters;
    select.bufferLength = sizeof(parameters);
    if (!(status = drive.Run(select, kErrWriteMode)))
        return status;

    uint32_t cueBytes = static_cast<uint32_t>(cue.size());
    ScsiCommand sendCue({0x5D, 0, 0, 0, 0, 0, static_cast<uint8_t>(cueBytes >> 16),
                         static_cast<uint8_t>(cueBytes >> 8), static_cast<uint8_t>(cueBytes), 0},
                        10);
    sendCue.flags = kFlagsOut;
    sendCue.buffer = cue.data();
    sendCue.bufferLength = cueBytes;
    sendCue.timeout = kWriteTimeout;
    if (!(status = drive.Run(sendCue, kErrCueSheet)))
        return status;

    if (!packs.empty() && !(status = WriteLeadIn(drive, packs, space.leadInStart)))
        return status;
    if (!(status = WriteTracks(drive, layout, files, options.progress)))
        return status;
    if (options.progress)
        options.progress(kWriteLeadOut, 0);
    if (!(status = CloseSession(drive)))
        return status;
    if (options.progress)
        options.progress(kWriteEnd, 0);
    return status;
}

std::string WriteFailureMessage(const Status& status) {
    if (status.code == kErrAborted)
        return "Writing the disc was cancelled.";
    std::string text = "The disc could not be written.\n\n" + ErrorText(status.code);
    std::string detail = SubCodeText(status.code, status.subCode);
    if (!detail.empty())
        text += "\n" + detail;
    switch (status.code) {
    case kErrNotBlank:
        return text + "\n\nInsert a blank CD-R and press Retry.";
    case kErrDiscTooSmall:
        return text + "\n\nInsert a larger blank CD-R and press Retry.";
    case kErrBufferUnderrun:
        return text +
               "\n\nThe disc is probably unusable. Insert a new blank CD-R, choose a lower speed or turn "
               "BURN-Proof on, and press Retry.";
    case kErrWrite:
    case kErrCloseSession:
        return text + "\n\nThe disc is probably unusable. Insert a new blank CD-R and press Retry.";
    default:
        return text + "\n\nPress Retry to try again.";
    }
}

} // namespace cdengine
