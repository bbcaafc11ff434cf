#include "WaveFile.h"

namespace trelvox {

WaveFileError ReadWaveLayout(RiffReader& file, uint64_t fileSize, WaveLayout& layout) {
    layout = WaveLayout();
    RiffChunk riff;
    if (!FindRiffForm(file, FourCC('W', 'A', 'V', 'E'), riff))
        return WaveFileError::kInvalid;
    // 64-bit sums: a chunk size near 4 GB must not wrap around the bound.
    const uint64_t riffEnd = riff.dataOffset + riff.size;
    bool haveFormat = false, haveData = false;
    RiffChunk chunk;
    for (const RiffChunk* previous = nullptr; NextRiffChunk(file, riff, previous, chunk); previous = &chunk) {
        if (chunk.dataOffset + chunk.size > riffEnd)
            return WaveFileError::kInvalid;
        if (chunk.id == FourCC('f', 'm', 't', ' ') && !haveFormat) {
            // A claim beyond the file cannot be read: refused before it is allocated.
            if (chunk.dataOffset + chunk.size > fileSize)
                return WaveFileError::kInvalid;
            haveFormat = true;
            layout.format.assign(chunk.size < kWaveFormatExBytes ? kWaveFormatExBytes : chunk.size, 0);
            if (file.ReadAt(chunk.dataOffset, layout.format.data(), chunk.size) != chunk.size)
                return WaveFileError::kInvalid;
            uint8_t* cbSize = layout.format.data() + 16;
            if (layout.FormatTag() == kWaveFormatPcm)
                cbSize[0] = cbSize[1] = 0;
            // ACM reads 18 + cbSize bytes of a compressed format: they must all be in the chunk.
            if (kWaveFormatExBytes + ReadLe16(cbSize) > layout.format.size())
                return WaveFileError::kInvalid;
        } else if (chunk.id == FourCC('d', 'a', 't', 'a') && !haveData) {
            haveData = true;
            layout.dataOffset = static_cast<uint32_t>(chunk.dataOffset);
            layout.dataSize = chunk.size;
        }
    }
    // An interrupted recording or download: the "data" chunk promises more than the file holds.
    // The whole frames (or codec blocks) that are there play, as other players do.
    const uint64_t present = fileSize > layout.dataOffset ? fileSize - layout.dataOffset : 0;
    if (haveFormat && layout.dataSize > present) {
        const uint32_t align = layout.BlockAlign();
        layout.dataSize = static_cast<uint32_t>(align ? present - present % align : present);
    }
    if (!haveFormat || layout.dataSize == 0)
        return WaveFileError::kNoAudio;
    if (layout.FormatTag() == kWaveFormatPcm) {
        // A "fmt " cut short (the 14-byte WAVEFORMAT has no sample size) or with zero fields
        // describes no stream that can be played in whole frames.
        const uint8_t* f = layout.format.data();
        if (ReadLe16(f + 2) == 0 || ReadLe16(f + 14) == 0 || layout.BlockAlign() == 0 ||
            layout.AvgBytesPerSec() == 0)
            return WaveFileError::kInvalid;
    }
    return WaveFileError::kNone;
}

} // namespace trelvox
