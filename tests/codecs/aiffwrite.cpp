// aiffwrite RAW OUT CHANNELS RATE BITS: writes little-endian PCM from RAW through the AIFF
// destination, in blocks of odd sizes, so that native readers can check the result.
#include "Trelvox.h"

#include <stdio.h>
#include <stdlib.h>

#include <vector>

int main(int argc, char** argv) {
    if (argc != 6)
        return 2;
    WORD channels = static_cast<WORD>(atoi(argv[3]));
    DWORD rate = static_cast<DWORD>(atoi(argv[4]));
    WORD bits = static_cast<WORD>(atoi(argv[5]));
    WORD align = static_cast<WORD>(channels * bits / 8);
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
    FILE* in = fopen(argv[1], "rb");
    if (!in)
        return 3;
    std::vector<char> pcm;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), in)) > 0)
        pcm.insert(pcm.end(), buffer, buffer + n);
    fclose(in);

    FormatRecord rec;
    IConvertDestination* dest = nullptr;
    if (ConvGetFormatByName(&rec, "AIFF") != S_OK || ConvCreateDest(&rec, &dest) != S_OK)
        return 4;
    bool ok = dest->SetFileName(argv[2]) && dest->SetFormat(&format) && dest->Open();
    // Whole frames per block, a different number each time.
    size_t offset = 0;
    for (size_t frames = 1; ok && offset < pcm.size(); frames = frames * 3 + 1) {
        size_t bytes = frames * align;
        if (bytes > pcm.size() - offset)
            bytes = pcm.size() - offset;
        ok = dest->Write(static_cast<uint32_t>(bytes), pcm.data() + offset);
        offset += bytes;
    }
    ok = dest->Close() && ok;
    dest->Release();
    return ok ? 0 : 1;
}
