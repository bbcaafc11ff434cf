// The secure read loop of an audio track: block reads with retries, unreadable frames turned
// into silence on request, and jitter correction that re-aligns each block on the last frame
// of the block before. A pure core over a small reader interface, without Windows headers, so
// that a fake drive can drive it in tests and fuzzers; the track source adapts the drive
// engine's drive to it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace secureread {

constexpr uint32_t kFrameBytes = 2352;
constexpr uint32_t kBlockBytes = 65000;
constexpr uint32_t kFramesPerRead = kBlockBytes / kFrameBytes; // 27
// Frames read again in front of each block while jitter correction is on.
constexpr uint32_t kOverlap = 3;

constexpr int kSenseMediumError = 3;
constexpr int kSenseBlankCheck = 8;

// The result of one drive operation. code 0 is success; any other code is the drive's own
// and passes through the loop unchanged, with subCode. senseKey is the SCSI sense key of a
// failed read (-1 when the failure was not a check condition).
struct DriveStatus {
    int code = 0;
    int subCode = 0;
    int senseKey = -1;
    bool Ok() const { return code == 0; }
};

// What the loop needs of a drive. Called on the reading thread only, except AbortRequested,
// whose flag any thread may set.
class FrameReader {
public:
    virtual ~FrameReader() = default;
    virtual DriveStatus SetBlockSize(uint32_t bytes) = 0;
    // Reads count frames from lba into out (count x 2352 bytes).
    virtual DriveStatus ReadFrames(uint32_t lba, uint32_t count, uint8_t* out) = 0;
    // The drive's own step on every block that was read successfully.
    virtual void PostRead(uint8_t* data, uint32_t frames) = 0;
    // Whether this drive asks for jitter correction ("JitterCorrection" 0 follows it).
    virtual bool WantsJitterCorrection() const = 0;
    virtual bool AbortRequested() const = 0;
};

// Receives the track's PCM in order, whole frames at a time. False stops the read after this
// block, as an abort.
class BlockSink {
public:
    virtual ~BlockSink() = default;
    virtual bool OnBlock(const uint8_t* pcm, uint32_t bytes) = 0;
};

struct Settings {
    int readRetry = 3;        // further attempts of a failed block read
    int jitterCorrection = 0; // 0: as the drive asks, 1: off, 2: on
    int errorMode = 0;        // nonzero: unreadable frames become silence
};

// How the read went, for the rip log.
struct Report {
    bool jitterCorrection = false;
    uint32_t framesDelivered = 0;
    // Frames read more than once: every further attempt of a block counts all its frames, and
    // every frame read on its own after a block failed counts once.
    uint32_t framesReread = 0;
    // LBAs of the frames replaced by 2352 zero bytes, in order.
    std::vector<uint32_t> silencedFrames;
};

enum class Outcome {
    Ok,
    DriveError,  // a read failed: drive holds the drive's status
    SyncLost,    // jitter correction found no copy of its reference frame
    Aborted,     // the abort flag was set, or the sink asked to stop
    OutOfMemory, // the block buffers could not be allocated
};

struct Result {
    Outcome outcome = Outcome::Ok;
    DriveStatus drive;
    bool Ok() const { return outcome == Outcome::Ok; }
};

// Reads frames first .. end - 1 and hands them to sink. The block size is set to 2352 for the
// read and back to 2048 afterwards, whatever happened. report (may be null) is filled as the
// read goes, so it also describes a read that failed half-way.
Result ReadSecure(FrameReader& reader, uint32_t first, uint32_t end, const Settings& settings,
                  BlockSink& sink, Report* report);

// Finds the reference frame in block (frames x 2352 bytes), whose expected place is
// (overlap - 1) frames in: backwards from there in steps of one stereo sample over
// overlap - 1 frames, then forwards over min(overlap, frames - overlap - 1) frames. The byte
// offset of the first match, or -1.
long FindReference(const uint8_t* block, uint32_t frames, uint32_t overlap, const uint8_t* reference);

} // namespace secureread
