// The writing side of the drive engine: an audio CD written disc-at-once from track files.
//
// A recording, from the caller's side:
//   WriteLayout layout;
//   BuildWriteLayout(paths, layout);        // the files' sizes give the tracks
//   AttachCdText(layout, text);             // optional
//   WriteOptions options;                   // speed index, test mode, BURN-Proof, progress
//   Status status = WriteDiscAtOnce(drive, layout, options);
//   if (!status) ... WriteFailureMessage(status) in a Retry/Cancel box
//
// WriteDiscAtOnce checks that the drive writes CD-R and holds a blank disc large enough, sets
// the speed and the write parameters (mode page 05h: disc-at-once, test write, buffer-underrun
// protection), sends the cue sheet, writes the CD-Text lead-in, track 1's pregap and the
// tracks' frames, and closes the session with SYNCHRONIZE CACHE. It runs on the caller's
// thread and calls the progress handler there. The drive's abort event (Drive::SetAbortEvent)
// stops it between two commands with kErrAborted; the disc is then unusable unless the
// recording was a test.
#pragma once

#include "Drive.h"
#include "EngineStatus.h"
#include "WriteLayout.h"

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace cdengine {

// The events of a recording, with the value that goes with each.
enum WriteEvent {
    kWriteTrackStart = 1, // value: the track number (1-based), before its first frame
    kWriteProgress = 2,   // value: frames of track data written since the last progress event
    kWriteLeadOut = 3,    // value 0: every frame is written, the drive closes the session
    kWriteEnd = 4,        // value 0: the recording succeeded (also in test mode)
};
// Called on the thread that runs WriteDiscAtOnce. The progress values of one recording add
// up to the layout's totalFrames.
using WriteProgress = std::function<void(WriteEvent event, uint32_t value)>;

struct WriteOptions {
    int speedIndex = kSpeedIndexMax;
    bool testMode = false;  // the laser stays cold: the drive goes through the motions only
    bool burnProof = false; // buffer-underrun protection, when the drive has it (else ignored)
    WriteProgress progress; // may be empty
};

// Lays out the track files in order from their sizes: kErrTrackFile (subCode = the track
// number) when one cannot be opened, else as LayoutTracks.
Status BuildWriteLayout(const std::vector<std::string>& paths, WriteLayout& layout);

// Writes layout to the blank disc in drive, disc-at-once.
Status WriteDiscAtOnce(Drive& drive, const WriteLayout& layout, const WriteOptions& options);

// The disc in a writer, from READ DISC INFORMATION.
struct DiscSpace {
    int status = 0;          // 0 blank, 1 an unfinished session, 2 finished, 3 other
    bool erasable = false;   // CD-RW
    int32_t leadInStart = 0; // LBA where the lead-in starts (negative)
    uint32_t capacity = 0;   // frames from LBA 0 to the last possible lead-out start
};
Status ReadDiscSpace(Drive& drive, DiscSpace& space);

// The highest speed index the drive writes at (page 2Ah's write speeds); -1 for a device that
// does not write CD-R.
int MaxWriteSpeedIndex(Drive& drive);

// A failed recording in one text for a message box with Retry and Cancel: what went wrong,
// the drive's detail (sense) when it gave one, and what Retry will do.
std::string WriteFailureMessage(const Status& status);

} // namespace cdengine
