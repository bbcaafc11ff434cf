// The media type between the AAC encoder and the MP4 muxer filter: raw AAC frames, described by
// a WAVEFORMATEX (format tag 0xFF) followed by the AudioSpecificConfig.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

namespace dshowaac {

// {000000FF-0000-0010-8000-00AA00389B71}: raw AAC frames without ADTS headers.
constexpr GUID kSubtypeRawAac = {
    0x000000FF, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr WORD kFormatTagRawAac = 0x00FF;

// The AAC sampling-frequency index of rate, or -1 for a rate AAC does not define.
int SampleRateIndex(uint32_t rate);

// Fills type (which holds nothing yet) with the raw AAC type; config is the AudioSpecificConfig.
HRESULT MakeAacType(WORD channels, DWORD rate, uint32_t bitRate, const uint8_t* config, size_t configSize,
                    AM_MEDIA_TYPE& type);

struct AacStreamInfo {
    WORD channels = 0;
    DWORD rate = 0;
    uint32_t bitRate = 0;
    std::vector<uint8_t> config; // AudioSpecificConfig
};
// Reads a raw AAC type; false when type is not one.
bool ParseAacType(const AM_MEDIA_TYPE& type, AacStreamInfo& info);

} // namespace dshowaac
