// Raw little-endian PCM through the sources and destinations of the format table, so that
// native tools can check what the library writes and be compared with what it reads. Errors
// go to stderr as the library reports them. The settings store stays closed (no InitTX), so
// every destination starts from its defaults.
//   pcmtool write FORMAT RAW OUT CHANNELS RATE BITS [NAME[=VALUE]...] [tag:FRAMEID=TEXT...]
//     (MP4 through the DirectShow destination, which no row of the table names)
//     through the row's destination with those options, in blocks of changing sizes, then the
//     text frames through the destination's metadata
//   pcmtool read FORMAT IN RAW [START_MS]
//     the row's source played into RAW (from START_MS on); prints "tag channels rate bits bytes
//     length"
#include "StderrCallback.h"
#include "TagText.h"
#include "Trelvox.h"

#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class FileSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        return fwrite(pcm, 1, bytes, file) == bytes;
    }
    FILE* file = nullptr;
};

int Read(IConvertSource* source, const char* in, const char* out, int32_t startMs) {
    StderrCallback callback(false);
    source->SetErrorLog(&callback);
    source->SetFileName(in);
    if (!source->Open())
        return 1;
    if (startMs > 0)
        source->SetStartTime(startMs);
    WAVEFORMATEX wfx = {};
    uint32_t length = 0;
    source->GetFormat(&wfx);
    source->GetLength(&length, -1, -1);
    FileSink sink;
    sink.file = fopen(out, "wb");
    bool ok = sink.file && source->Play(&sink);
    long written = sink.file ? ftell(sink.file) : 0;
    if (sink.file)
        fclose(sink.file);
    source->Close();
    source->SetErrorLog(nullptr);
    printf("%u %u %lu %u %ld %u\n", wfx.wFormatTag, wfx.nChannels, wfx.nSamplesPerSec, wfx.wBitsPerSample,
           written, length);
    return ok ? 0 : 1;
}

int Write(IConvertDestination* dest, int argc, char** argv) {
    WORD channels = static_cast<WORD>(atoi(argv[5]));
    WORD bits = static_cast<WORD>(atoi(argv[7]));
    WORD align = static_cast<WORD>(channels * bits / 8);
    DWORD rate = static_cast<DWORD>(atoi(argv[6]));
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
    std::ifstream in(argv[3], std::ios::binary);
    if (!in)
        return 3;
    const std::string pcm((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    StderrCallback callback(false); // never replaces a file
    dest->SetErrorLog(&callback);
    std::vector<txtest::TextFrame> frames;
    for (int i = 8; i < argc; ++i) {
        std::string option = argv[i];
        size_t equals = option.find('=');
        if (option.compare(0, 4, "tag:") == 0 && equals != std::string::npos) {
            frames.push_back(
                {atoi(option.c_str() + 4), std::wstring(option.begin() + long(equals) + 1, option.end())});
            continue;
        }
        char message[1024] = {};
        if (!dest->SetOption(option.substr(0, equals).c_str(),
                             equals == std::string::npos ? nullptr : option.c_str() + equals + 1, message)) {
            fprintf(stderr, "option %s refused: %s\n", argv[i], message);
            return 5;
        }
    }
    bool ok = dest->SetFileName(argv[4]) && dest->SetFormat(&format) && dest->Open();
    // Whole frames per block, a different number each time.
    size_t offset = 0;
    for (size_t count = 1; ok && offset < pcm.size(); count = count * 3 + 1) {
        size_t bytes = std::min(count * align, pcm.size() - offset);
        ok = dest->Write(static_cast<uint32_t>(bytes), pcm.data() + offset);
        offset += bytes;
    }
    ok = dest->Close() && ok;
    if (ok && !frames.empty()) {
        IMetadata* md = nullptr;
        ok = dest->GetMetadata(&md) && txtest::SetTextFrames(md, frames) == S_OK;
        if (md)
            md->Release();
        if (!ok)
            fprintf(stderr, "tags cannot be written\n");
    }
    dest->SetErrorLog(nullptr);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 2 ? argv[1] : "";
    FormatRecord rec;
    if ((command != "read" || argc < 5 || argc > 6) && (command != "write" || argc < 8)) {
        fprintf(
            stderr,
            "usage: pcmtool read FORMAT IN RAW [START_MS] | write FORMAT RAW OUT CHANNELS RATE BITS [...]\n");
        return 2;
    }
    if (ConvGetFormatByName(&rec, argv[2]) != S_OK)
        return 4;
    // As on the conversion driver's worker: the DirectShow objects need COM.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // No row writes MP4: the DirectShow destination is reached with a record that names it.
    if (!rec.destClsid && strcmp(rec.name, "MP4") == 0)
        rec.destClsid = &CLSID_DirectShowConvDest;
    int result = 4;
    if (command == "read") {
        IConvertSource* source = nullptr;
        if (ConvCreateSource(&rec, &source) == S_OK) {
            result = Read(source, argv[3], argv[4], argc > 5 ? atoi(argv[5]) : 0);
            source->Release();
        }
    } else {
        IConvertDestination* dest = nullptr;
        if (ConvCreateDest(&rec, &dest) == S_OK) {
            result = Write(dest, argc, argv);
            dest->Release();
        }
    }
    return result;
}
