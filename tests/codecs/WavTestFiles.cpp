#include "WavTestFiles.h"

#include <math.h>

namespace wavtest {

std::string Signal(const WAVEFORMATEX& wfx, uint32_t frames) {
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
