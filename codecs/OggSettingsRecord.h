// The Ogg Vorbis destination's settings record, its bit-rate table and the option strings
// that change it.
#pragma once

#include <stdint.h>

// The Ogg Vorbis encoder settings: seven 32-bit words, never stored in the registry.
struct OGGSETTINGS {
    int32_t qualityMode = 1; // 1 = quality-based VBR, 0 = bit-rate managed
    int32_t quality = 40;    // 0..100
    int32_t useMinBitrate = 0;
    int32_t useMaxBitrate = 0;
    int32_t minBitrate = 48;  // kbps, an entry of the bit-rate table
    int32_t maxBitrate = 320; // kbps
    int32_t avgBitrate = 96;  // kbps

    // One option of the Ogg Vorbis option table; name compared without regard to case, value
    // null when none was given. False (record unchanged) for an unknown name or a number
    // option without a value.
    bool SetOption(const char* name, const char* value);
};
static_assert(sizeof(OGGSETTINGS) == 28, "OGGSETTINGS is seven words");

namespace trelvox {

// The bit rates, in kbps, that the settings offer.
inline constexpr int32_t kOggBitrates[8] = {48, 64, 96, 128, 160, 192, 256, 320};

// The index in kOggBitrates of the largest entry not above kbps; 0 below 48.
inline int OggBitrateIndex(int32_t kbps) {
    int index = 0;
    for (int i = 0; i < 8; ++i) {
        if (kOggBitrates[i] <= kbps)
            index = i;
    }
    return index;
}

// The bit-rate table entry for kbps: the largest entry not above it, and 48 below 48.
inline int32_t SnapOggBitrate(int32_t kbps) {
    return kOggBitrates[OggBitrateIndex(kbps)];
}

} // namespace trelvox
