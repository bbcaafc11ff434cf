// A disc's layout as the drive engine reads it (and, later, as it writes it): the tracks with
// their starts, lengths and data flags, the lead-out, and the CD-Text strings. Pure code over
// the bytes of READ TOC answers, without Windows headers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace cdengine {

constexpr uint32_t kAudioFrameBytes = 2352;

struct LayoutTrack {
    int number = 0;
    uint32_t start = 0;  // LBA of index 1
    uint32_t length = 0; // frames up to the next track's start (or the lead-out)
    bool data = false;   // control bit 04h
};

// CD-Text of one block (the first language): index 0 is the disc, index n track n.
struct CdText {
    std::vector<std::string> titles;
    std::vector<std::string> performers;
    bool empty() const { return titles.empty() && performers.empty(); }
};

struct DiscLayout {
    std::vector<LayoutTrack> tracks;
    uint32_t leadOut = 0;
    CdText text;
};

// Parses a READ TOC format 0 answer (LBA addresses) of size bytes; false when it is shorter
// than its descriptors or holds no track.
bool ParseToc(const uint8_t* answer, size_t size, DiscLayout& layout);
// Parses a READ TOC format 5 answer into text. Packs with a bad CRC are skipped; double-byte
// blocks and blocks other than the first are left out.
void ParseCdText(const uint8_t* answer, size_t size, CdText& text);
// The CRC a CD-Text pack carries in its last two bytes (big-endian), over its first 16.
uint16_t CdTextPackCrc(const uint8_t* pack);

} // namespace cdengine
