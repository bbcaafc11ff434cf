// What the Wave source needs to know of a RIFF Wave file before it plays it: the "fmt "
// contents and where the audio data lies. Plain C++ over a RiffReader.
#pragma once

#include "RiffChunks.h"

#include <stdint.h>

#include <vector>

namespace trelvox {

constexpr uint16_t kWaveFormatPcm = 1;
// sizeof(WAVEFORMATEX): format tag, channels, sample rate, byte rate, block align, bits, cbSize.
constexpr uint32_t kWaveFormatExBytes = 18;

struct WaveLayout {
    // The first "fmt " chunk's contents, zero-filled to at least 18 bytes; a PCM format has
    // its cbSize cleared.
    std::vector<uint8_t> format;
    uint32_t dataOffset = 0; // of the first "data" chunk's contents
    uint32_t dataSize = 0;   // as much of it as the file holds, in whole blocks

    uint16_t FormatTag() const { return ReadLe16(format.data()); }
    uint32_t AvgBytesPerSec() const { return ReadLe32(format.data() + 8); }
    uint16_t BlockAlign() const { return ReadLe16(format.data() + 12); }
};

enum class WaveFileError {
    kNone,
    kInvalid, // "File format is invalid or corrupted"
    kNoAudio, // "Length of audio data is zero"
};

// Reads the layout of the Wave file of fileSize bytes. A PCM format must describe whole
// frames (no zero channels, sample size, block align or byte rate); a compressed one must hold
// its cbSize extra bytes.
WaveFileError ReadWaveLayout(RiffReader& file, uint64_t fileSize, WaveLayout& layout);

} // namespace trelvox
