// The byte-level reading of ID3v2.4 tags: the header, the frame walk, unsynchronisation,
// data length indicators and compression. Plain C++; ID3v24Reader hands the result to id3lib.
#pragma once

#include "ID3v24Frames.h"

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace trelvox {

constexpr size_t kID3v24HeaderSize = 10;

// The size of the tag that follows a 10-byte ID3v2.4 header (bytes points at the header,
// size bytes are readable), or -1 when there is no such header.
int64_t ID3v24TagSize(const uint8_t* bytes, size_t size);

// Appends the frames of the ID3v2.4 tag at the start of bytes (header included; a tag cut
// short is read as far as it goes) to out, in their ID3v2.3 form. Frames that cannot be read
// or have no ID3v2.3 counterpart are left out.
void ReadID3v24Frames(const uint8_t* bytes, size_t size, std::vector<ID3v23Frame>& out);

} // namespace trelvox
