// Big-endian helpers for AIFF files.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace trelvox {

inline void PutBigEndian16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

inline void PutBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// A sample rate as an 80-bit IEEE 754 extended value, most significant byte first: sign 0,
// 15-bit exponent biased by 16383, 64-bit mantissa with an explicit integer bit.
void EncodeExtended80(uint32_t value, uint8_t out[10]);

// Turns little-endian PCM into AIFF's big-endian signed samples in place. 8-bit input is
// unsigned (128 = silence) and becomes signed; wider samples have their bytes reversed.
void PcmToAiffSamples(uint8_t* data, size_t bytes, unsigned bytesPerSample);

} // namespace trelvox
