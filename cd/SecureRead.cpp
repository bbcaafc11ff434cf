#include "SecureRead.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

namespace secureread {

namespace {

constexpr uint32_t kSampleBytes = 4; // one stereo sample of 16 bits per channel
constexpr uint32_t kSamplesPerFrame = kFrameBytes / kSampleBytes;

bool IsMediaFault(const DriveStatus& status) {
    return status.senseKey == kSenseMediumError || status.senseKey == kSenseBlankCheck;
}

// Sets the block size back to 2048 bytes when the read ends, however it ends.
class BlockSizeGuard {
public:
    explicit BlockSizeGuard(FrameReader& reader) : m_reader(reader) {}
    ~BlockSizeGuard() { m_reader.SetBlockSize(2048); }
    BlockSizeGuard(const BlockSizeGuard&) = delete;
    BlockSizeGuard& operator=(const BlockSizeGuard&) = delete;

private:
    FrameReader& m_reader;
};

// One block: up to readRetry + 1 attempts; when they all end in a medium error or a blank
// check and the error mode allows it, frame by frame with silence for the frames that fail.
DriveStatus ReadBlock(FrameReader& reader, uint32_t lba, uint32_t frames, uint8_t* out,
                      const Settings& settings, Report& report) {
    DriveStatus status;
    int attempts = settings.readRetry < 0 ? 1 : settings.readRetry + 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0)
            report.framesReread += frames;
        status = reader.ReadFrames(lba, frames, out);
        if (status.Ok()) {
            reader.PostRead(out, frames);
            return status;
        }
    }
    if (!settings.errorMode || !IsMediaFault(status))
        return status;
    for (uint32_t i = 0; i < frames; ++i) {
        uint8_t* frame = out + i * kFrameBytes;
        ++report.framesReread;
        DriveStatus single = reader.ReadFrames(lba + i, 1, frame);
        if (single.Ok()) {
            reader.PostRead(frame, 1);
        } else if (IsMediaFault(single)) {
            memset(frame, 0, kFrameBytes);
            report.silencedFrames.push_back(lba + i);
        } else {
            return single;
        }
    }
    return DriveStatus();
}

} // namespace

long FindReference(const uint8_t* block, uint32_t frames, uint32_t overlap, const uint8_t* reference) {
    if (overlap == 0 || frames < overlap)
        return -1;
    const long expected = static_cast<long>((overlap - 1) * kFrameBytes);
    const long backward = static_cast<long>((overlap - 1) * kSamplesPerFrame);
    for (long i = 0; i < backward; ++i) {
        long at = expected - i * static_cast<long>(kSampleBytes);
        if (memcmp(block + at, reference, kFrameBytes) == 0)
            return at;
    }
    const long spare = static_cast<long>(frames) - static_cast<long>(overlap) - 1;
    const long forward = std::min(static_cast<long>(overlap), spare) * static_cast<long>(kSamplesPerFrame);
    for (long i = 1; i <= forward; ++i) {
        long at = expected + i * static_cast<long>(kSampleBytes);
        if (memcmp(block + at, reference, kFrameBytes) == 0)
            return at;
    }
    return -1;
}

Result ReadSecure(FrameReader& reader, uint32_t first, uint32_t end, const Settings& settings,
                  BlockSink& sink, Report* report) {
    Report scratch;
    Report& out = report ? *report : scratch;
    out = Report();
    Result result;

    // Drives that refuse to change the block size still read audio frames whole with READ CD;
    // a drive that cannot read them says so at the first read.
    BlockSizeGuard restore(reader);
    reader.SetBlockSize(kFrameBytes);

    // Room for one frame more than a block holds: the zero padding of a final frame that the
    // drive cut short may reach past a full block.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[(kFramesPerRead + 1) * kFrameBytes]);
    std::unique_ptr<uint8_t[]> reference(new (std::nothrow) uint8_t[kFrameBytes]);
    if (!buffer || !reference) {
        result.outcome = Outcome::OutOfMemory;
        return result;
    }

    const bool jitter =
        settings.jitterCorrection == 2 || (settings.jitterCorrection == 0 && reader.WantsJitterCorrection());
    out.jitterCorrection = jitter;
    if (end <= first)
        return result;

    const uint32_t last = end - 1;
    uint32_t overlap = 0;
    bool firstBlock = true;
    for (uint32_t pos = first; pos <= last;) {
        // The first block of a track that starts within the overlap of the disc start has
        // nothing to overlap with.
        uint32_t behind = std::min(overlap, pos);
        uint32_t readFrom = pos - behind;
        uint32_t frames = std::min(kFramesPerRead, last - readFrom + 1);
        DriveStatus status = ReadBlock(reader, readFrom, frames, buffer.get(), settings, out);
        if (!status.Ok()) {
            result.outcome = Outcome::DriveError;
            result.drive = status;
            return result;
        }

        const uint8_t* data = buffer.get();
        uint32_t count = frames;
        if (!firstBlock && jitter) {
            long at = FindReference(buffer.get(), frames, behind, reference.get());
            if (at < 0) {
                result.outcome = Outcome::SyncLost;
                return result;
            }
            data = buffer.get() + at + kFrameBytes;
            uint32_t available = frames * kFrameBytes - static_cast<uint32_t>(at) - kFrameBytes;
            count = available / kFrameBytes;
            // The drive started late on the last block: what it left out of the final frame
            // becomes silence rather than a frame lost.
            if (pos + count == last && available % kFrameBytes != 0) {
                memset(buffer.get() + frames * kFrameBytes, 0, kFrameBytes - available % kFrameBytes);
                ++count;
            }
            // A drive that started late also hands over frames after the track's end.
            count = std::min(count, last - pos + 1);
        }
        firstBlock = false;
        memcpy(reference.get(), data + (count - 1) * kFrameBytes, kFrameBytes);

        bool more = sink.OnBlock(data, count * kFrameBytes);
        out.framesDelivered += count;
        if (!more || reader.AbortRequested()) {
            result.outcome = Outcome::Aborted;
            return result;
        }
        pos += count;
        if (jitter)
            overlap = kOverlap;
    }
    return result;
}

} // namespace secureread
