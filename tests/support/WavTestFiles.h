// Wave files built byte by byte, so that every test controls each chunk it feeds the source.
#pragma once

#include "TrelvoxConvert.h"

#include <math.h>
#include <stdint.h>

#include <string>

namespace wavtest {

inline std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

inline std::string Le16(uint16_t v) {
    return std::string{char(v), char(v >> 8)};
}

// One RIFF chunk: id, little-endian size (sizeField, or the payload's own length), payload and
// the pad byte of an odd payload.
inline std::string Chunk(const char* id, const std::string& payload, int64_t sizeField = -1) {
    uint32_t size = sizeField < 0 ? uint32_t(payload.size()) : uint32_t(sizeField);
    std::string out = std::string(id, 4) + Le32(size) + payload;
    if (payload.size() % 2)
        out += '\0';
    return out;
}

inline std::string Riff(const std::string& body, int64_t sizeField = -1) {
    return Chunk("RIFF", "WAVE" + body, sizeField);
}

// The 16-byte PCM "fmt " contents.
inline std::string PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t align = uint16_t(channels * bits / 8);
    return Le16(WAVE_FORMAT_PCM) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) +
           Le16(bits);
}

// A deterministic test signal: two sines per channel at about half full scale, in the
// sample layout of the format (8-bit unsigned, 16- and 24-bit signed little-endian).
inline std::string Signal(const WAVEFORMATEX& wfx, uint32_t frames) {
    std::string out;
    out.reserve(size_t(frames) * wfx.nBlockAlign);
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < wfx.nChannels; ++c) {
            double t = double(i) / wfx.nSamplesPerSec;
            double v = 0.3 * sin(2 * M_PI * (440 + 110 * c) * t) + 0.2 * sin(2 * M_PI * 1234 * t);
            if (wfx.wBitsPerSample == 8) {
                out += char(uint8_t(128 + lround(v * 127)));
            } else if (wfx.wBitsPerSample == 16) {
                out += Le16(uint16_t(int16_t(lround(v * 32767))));
            } else {
                int32_t s = int32_t(lround(v * 8388607));
                out += std::string{char(s), char(s >> 8), char(s >> 16)};
            }
        }
    }
    return out;
}

} // namespace wavtest
