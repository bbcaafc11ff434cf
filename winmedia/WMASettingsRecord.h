// The Windows Media destination's settings record and the rules of its profile files that
// need no runtime.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Five 32-bit words, stored as they are in the registry value "General" of section "WMA9".
// The codec and format are positions in the Windows Media runtime's own lists.
struct WMASETTINGS {
    enum Mode : int32_t { kCBR = 0, kQualityVBR = 1, kBitrateVBR = 2, kTwoPassCBR = 3 };

    int32_t codec = 0;   // in the runtime's list of audio codecs
    int32_t format = 29; // in that codec's list of formats for the mode
    int32_t mode = kCBR;
    int32_t maxBitrate = 0;   // bits per second for bit-rate VBR; 0 = none
    int32_t bufferWindow = 0; // milliseconds for the maximum bit rate; 0 = none

    // The defaults, overlaid by the stored value when there is one.
    void Load();
    void Save() const;
};
static_assert(sizeof(WMASETTINGS) == 20, "WMASETTINGS is five words");
static_assert(offsetof(WMASETTINGS, mode) == 8, "WMASETTINGS layout");
static_assert(offsetof(WMASETTINGS, bufferWindow) == 16, "WMASETTINGS layout");

namespace trelvox {

// How the runtime is asked to enumerate a codec's formats for a mode.
inline bool WmaModeIsVbr(int32_t mode) {
    return mode == WMASETTINGS::kQualityVBR || mode == WMASETTINGS::kBitrateVBR;
}
inline uint32_t WmaModePasses(int32_t mode) {
    return mode == WMASETTINGS::kBitrateVBR || mode == WMASETTINGS::kTwoPassCBR ? 2 : 1;
}

// Profile files larger than this are refused, in bytes.
constexpr uint32_t kMaxPrxBytes = 153600;

// The codec position a profile's audio format tag stands for, or -1 for a tag of none of the
// five Windows Media audio codecs.
int32_t WmaCodecForFormatTag(uint16_t tag);

// Quality-based VBR formats give their quality in place of an average byte rate, as
// 0x7FFFFF00 plus the quality.
inline bool IsWmaQualityRate(uint32_t avgBytesPerSec) {
    return (avgBytesPerSec & 0xFFFFFF00u) == 0x7FFFFF00u;
}

// What a listed format is matched on: the quality for quality-based VBR, the bit rate
// otherwise.
inline uint32_t WmaRateValue(uint32_t avgBytesPerSec) {
    return IsWmaQualityRate(avgBytesPerSec) ? (avgBytesPerSec & 0xFFu) : avgBytesPerSec * 8u;
}

// The mode a profile's stream was made with: quality-based when its byte rate has the
// quality form, else bit-rate VBR or constant bit rate by its VBR property.
inline int32_t WmaModeOfStream(bool vbrEnabled, uint32_t avgBytesPerSec) {
    if (IsWmaQualityRate(avgBytesPerSec))
        return WMASETTINGS::kQualityVBR;
    return vbrEnabled ? WMASETTINGS::kBitrateVBR : WMASETTINGS::kCBR;
}

} // namespace trelvox
