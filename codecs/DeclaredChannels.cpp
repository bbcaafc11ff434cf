#include "DeclaredChannels.h"

#include <string.h>

namespace trelvox {

namespace {

// A damaged file may be all tiny chunks; the COMM chunk of a real one comes early.
constexpr int kMaxAiffChunks = 1024;

// The chunks are walked up to the end of the file rather than of the form: a parser does not
// stop at a FORM size that a damaged file gets wrong either.
bool AiffChannels(RiffReader& file, uint32_t& channels) {
    uint64_t at = 12;
    for (int i = 0; i < kMaxAiffChunks; ++i) {
        uint8_t header[10];
        const size_t got = file.ReadAt(at, header, sizeof header);
        if (got < 8)
            return false;
        const uint32_t size = ReadBe32(header + 4);
        if (memcmp(header, "COMM", 4) == 0) {
            if (got < 10 || size < 2)
                return false;
            channels = uint32_t(header[8]) << 8 | header[9];
            return true;
        }
        at += 8 + uint64_t(size) + (size & 1);
    }
    return false;
}

} // namespace

bool ReadDeclaredChannels(RiffReader& file, uint32_t& channels) {
    uint8_t head[27 + 255 + 19];
    const size_t got = file.ReadAt(0, head, sizeof head);
    if (got >= 12 && memcmp(head, "FORM", 4) == 0 &&
        (memcmp(head + 8, "AIFF", 4) == 0 || memcmp(head + 8, "AIFC", 4) == 0))
        return AiffChannels(file, channels);
    if (got >= 24 && memcmp(head, ".snd", 4) == 0) {
        channels = ReadBe32(head + 20);
        return true;
    }
    if (got >= 24 && memcmp(head, "dns.", 4) == 0) {
        channels = ReadLe32(head + 20);
        return true;
    }
    // An Ogg stream starts with a page that holds the identification packet alone.
    if (got >= 27 && memcmp(head, "OggS", 4) == 0) {
        const size_t packet = 27 + size_t(head[26]);
        if (got >= packet + 12 && memcmp(head + packet, "\x01vorbis", 7) == 0) {
            channels = head[packet + 11];
            return true;
        }
        if (got >= packet + 10 && memcmp(head + packet, "OpusHead", 8) == 0) {
            channels = head[packet + 9];
            return true;
        }
    }
    return false;
}

} // namespace trelvox
