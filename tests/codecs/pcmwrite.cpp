// pcmwrite FORMAT RAW OUT CHANNELS RATE BITS [NAME=VALUE...] [tag:FRAMEID=TEXT...]: writes
// little-endian PCM from RAW through the destination of the format-table row FORMAT, with the
// given options, in blocks of changing sizes, then writes the text frames through the
// destination's metadata, so that native tools can check the result. Errors go to stderr.
#include "StderrCallback.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// Writes the "tag:ID=TEXT" frames (ASCII texts) into the closed output.
bool WriteTags(IConvertDestination* dest, const std::vector<std::string>& frames) {
    IMetadata* md = nullptr;
    IMetadataTag* tag = nullptr;
    bool ok = dest->GetMetadata(&md) && MetadataCreateTag(&tag) == S_OK;
    for (size_t i = 0; ok && i < frames.size(); ++i) {
        size_t equals = frames[i].find('=');
        std::wstring text(frames[i].begin() + static_cast<long>(equals) + 1, frames[i].end());
        IMetadataFrameText* frame = nullptr;
        ok = MetadataCreateFrame(atoi(frames[i].c_str() + 4), IID_IMetadataFrameText,
                                 reinterpret_cast<void**>(&frame)) == S_OK;
        if (ok) {
            frame->SetText(text.c_str());
            frame->AttachTo(tag);
            frame->Release();
        }
    }
    ok = ok && md->SetTag(tag) == S_OK;
    if (tag)
        tag->Release();
    if (md)
        md->Release();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 7)
        return 2;
    WORD channels = static_cast<WORD>(atoi(argv[4]));
    DWORD rate = static_cast<DWORD>(atoi(argv[5]));
    WORD bits = static_cast<WORD>(atoi(argv[6]));
    WORD align = static_cast<WORD>(channels * bits / 8);
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
    FILE* in = fopen(argv[2], "rb");
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
    if (ConvGetFormatByName(&rec, argv[1]) != S_OK || ConvCreateDest(&rec, &dest) != S_OK)
        return 4;
    StderrCallback callback(false); // never replaces a file
    dest->SetErrorLog(&callback);
    std::vector<std::string> frames;
    for (int i = 7; i < argc; ++i) {
        std::string option = argv[i];
        if (option.compare(0, 4, "tag:") == 0 && option.find('=') != std::string::npos) {
            frames.push_back(option);
            continue;
        }
        size_t equals = option.find('=');
        std::string name = option.substr(0, equals);
        char message[1024] = {};
        bool applied = equals == std::string::npos
                           ? dest->SetOption(name.c_str(), nullptr, message)
                           : dest->SetOption(name.c_str(), option.c_str() + equals + 1, message);
        if (!applied) {
            fprintf(stderr, "option %s refused: %s\n", argv[i], message);
            return 5;
        }
    }
    bool ok = dest->SetFileName(argv[3]) && dest->SetFormat(&format) && dest->Open();
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
    if (ok && !frames.empty() && !WriteTags(dest, frames)) {
        fprintf(stderr, "tags cannot be written\n");
        ok = false;
    }
    dest->SetErrorLog(nullptr);
    dest->Release();
    return ok ? 0 : 1;
}
