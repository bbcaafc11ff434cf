// The runtime's own list of audio codecs and their formats (see the README's section on the
// Windows Media runtime for Wine): what IWMCodecInfo enumerates and the writer encodes.
#pragma once

#include "ComHelpers.h"

#include <stdint.h>

#include <string>
#include <vector>

namespace wmruntime {

struct CodecFormat {
    DWORD bitrate;    // bits per second
    DWORD sampleRate; // Hz
    WORD channels;
};

struct Codec {
    const char16_t* name;
    WORD formatTag;
    // The libavcodec encoder's version: 1 for wmav1, 2 for wmav2.
    int version;
};

// Codec indices 0 (wmav2) and 1 (wmav1).
const std::vector<Codec>& AudioCodecs();
// The formats of every codec, in index order; format 29 is 128 kbps, 44.1 kHz, stereo.
const std::vector<CodecFormat>& AudioFormats();

// The codec that encodes format tag, or null.
const Codec* CodecForTag(WORD formatTag);

// The encoder's frame length in samples at a sample rate, and the bytes of one coded frame
// at a bit rate, as libavcodec's WMA encoder works them out.
int FrameSamples(int version, DWORD sampleRate);
WORD BlockAlign(int version, DWORD bitrate, DWORD sampleRate);

// The stream's WAVEFORMATEX as a media type: the encoder's extra bytes, then a word of our
// own with the passes (1, or 2 for two-pass). A profile built the usual way copies only the
// bit rate and the media type of a listed format into a new stream, so the passes it was
// listed under travel in the media type, as the writer has to know them.
MediaType FormatMediaType(const Codec& codec, const CodecFormat& format, WORD passes);
// The passes a media type of FormatMediaType was listed under; 1 for any other.
WORD PassesOf(const MediaType& type);
// "128 kbps, 44 kHz, stereo CBR".
std::u16string FormatDescription(const CodecFormat& format);

} // namespace wmruntime
