// What a disc-at-once recording writes, as pure code over bytes (no Windows headers): the
// layout of the audio tracks, their CD-Text, and the two byte streams a writer is handed
// before the audio: the cue sheet and the CD-Text packs of the lead-in.
//
// Addresses: track 1 starts at LBA 0 behind the 150-frame pregap (LBA -150..-1, 00:00:00 to
// 00:02:00 on the disc's clock); every further track starts where the one before it ends, and
// the lead-out follows the last one.
#pragma once

#include "EngineStatus.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace cdengine {

constexpr uint32_t kPregapFrames = 150;

// Speed indexes: 0..23 stand for the factors 1, 2, 4, 6, ... 42, 52, 72 (SpeedFactor);
// kSpeedIndexMax asks for the drive's fastest.
constexpr int kSpeedIndexCount = 24;
constexpr int kSpeedIndexMax = 255;
// The factor of index (1 = 176.4 kB/s), 0 for kSpeedIndexMax, -1 for anything else.
int SpeedFactor(int index);
// The highest index whose factor the speed in kB/s reaches (rounded to whole factors); 0
// below 2x.
int SpeedIndexOf(uint32_t kbps);
// The fastest write speed in kB/s that a MODE SENSE answer of page 2Ah (the page itself, size
// bytes of it) announces: the largest of its write speed descriptors and its maximum write
// speed field; 0 when it names none.
uint32_t MaxWriteKbps(const uint8_t* page, size_t size);

// The CD-Text strings of the disc or of one track (single-byte text, first language block).
struct TrackText {
    std::string title;
    std::string performer;
    std::string songwriter;
    std::string composer;
    std::string arranger;
    std::string message;
};

// A CD-Text block: the disc's strings and then those of track 1, 2, ... (tracks[0] is track 1;
// fewer entries than tracks leave the rest without text).
struct CdTextBlock {
    TrackText disc;
    std::vector<TrackText> tracks;
    bool empty() const;
};

// One audio track: a file of 2352-byte frames (16-bit little-endian stereo samples). A file
// that does not end on a frame boundary is written with its last frame filled up with silence.
struct WriteTrack {
    std::string path;
    uint64_t bytes = 0;  // the file's size
    uint32_t start = 0;  // LBA of index 1
    uint32_t length = 0; // frames
};

struct WriteLayout {
    std::vector<WriteTrack> tracks;
    uint32_t totalFrames = 0; // the tracks' frames, pregap not counted; also the lead-out's LBA
    CdTextBlock text;         // empty: no CD-Text
};

// Lays out tracks of the given file sizes (paths may be left empty), without CD-Text:
// kErrBadArgument for no track, more than 99 tracks (subCode = the count), or an empty track
// or one that takes the disc past 100 minutes (subCode = its number).
Status LayoutTracks(const std::vector<std::string>& paths, const std::vector<uint64_t>& bytes,
                    WriteLayout& layout);

// Attaches text to layout: kErrBadArgument (subCode = the count) when text names more tracks
// than the layout holds; kErrCdTextTooLong when its packs do not fit into the lead-in.
Status AttachCdText(WriteLayout& layout, const CdTextBlock& text);

// The SEND CUE SHEET parameter list: the lead-in (data form 41h when the layout carries
// CD-Text, whose packs the host then writes into the lead-in; 01h without), track 1's pregap
// (index 0) and every track's index 1 as 2-channel audio, then the lead-out. Eight bytes an
// entry; track and index numbers in BCD, times binary minutes, seconds and frames.
std::vector<uint8_t> BuildCueSheet(const WriteLayout& layout);

// The CD-Text packs of text for trackCount tracks, 18 bytes each with their CRC: the text
// kinds in order (a kind whose strings are all empty is left out), then the three size
// information packs. Empty when text is empty.
std::vector<uint8_t> BuildCdTextPacks(const CdTextBlock& text, int trackCount);

// The lead-in carries its packs as R-W subchannel data: 96 bytes a frame, four packs a frame,
// each pack spread over 24 six-bit symbols (the low six bits of each byte). Packs are repeated
// round-robin from where the previous frame left off: frame n holds packs 4n .. 4n+3 (modulo
// the pack count).
constexpr uint32_t kLeadInFrameBytes = 96;
void EncodeLeadInFrame(const std::vector<uint8_t>& packs, uint32_t frameIndex,
                       uint8_t out[kLeadInFrameBytes]);

} // namespace cdengine
