// The Wave source's reading of a RIFF Wave file: the chunk walk and the "fmt " checks; and the
// channel count that the DirectShow source reads from the headers of other containers.
#include "DeclaredChannels.h"
#include "FuzzSupport.h"
#include "WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::MemoryReader file(data, size);
    uint32_t channels = 0;
    trelvox::ReadDeclaredChannels(file, channels);
    trelvox::WaveLayout layout;
    if (trelvox::ReadWaveLayout(file, size, layout) != trelvox::WaveFileError::kNone)
        return 0;
    // What the source then relies on: a whole WAVEFORMATEX with its extra bytes, and data
    // that lies in the file.
    FUZZ_CHECK(layout.format.size() >= trelvox::kWaveFormatExBytes, "format %zu bytes", layout.format.size());
    FUZZ_CHECK(trelvox::kWaveFormatExBytes + trelvox::ReadLe16(&layout.format[16]) <= layout.format.size(),
               "cbSize %u in %zu bytes", trelvox::ReadLe16(&layout.format[16]), layout.format.size());
    FUZZ_CHECK(layout.dataSize > 0 && uint64_t(layout.dataOffset) + layout.dataSize <= size,
               "data %u+%u in %zu bytes", layout.dataOffset, layout.dataSize, size);
    if (layout.FormatTag() == trelvox::kWaveFormatPcm)
        FUZZ_CHECK(layout.BlockAlign() != 0 && layout.AvgBytesPerSec() != 0, "PCM block %u, rate %u",
                   layout.BlockAlign(), layout.AvgBytesPerSec());
    return 0;
}
