// A small Windows helper for the native checks and the benchmark: converts between raw PCM
// and Wave files with the library's own Wave classes.
//   decode in.wav out.raw            prints "tag channels rate bits bytes" of the PCM
//   encode in.raw out.wav ch rate bits [codec]   codec: an ACM format tag name
//   copy in.wav out.wav              Wave to Wave through Play and Write; prints MB/s
//   normalize-bench megabytes        prints Analyze and Process MB/s
#include "StderrCallback.h"
#include "Trelvox.h"
#include "WavConvDest.h"
#include "WavConvSource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

class DestSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        total += bytes;
        return dest->Write(bytes, pcm);
    }
    IConvertDestination* dest = nullptr;
    uint64_t total = 0;
};

StderrCallback g_printer(true);

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

int Decode(const char* in, const char* out) {
    CWavConvSource* source = new CWavConvSource;
    source->SetErrorLog(&g_printer);
    source->SetFileName(in);
    if (!source->Open())
        return 1;
    WAVEFORMATEX wfx;
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
    source->Release();
    printf("%u %u %lu %u %ld %u\n", wfx.wFormatTag, wfx.nChannels, wfx.nSamplesPerSec, wfx.wBitsPerSample,
           written, length);
    return ok ? 0 : 1;
}

int Encode(int argc, char** argv) {
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = WORD(atoi(argv[4]));
    wfx.nSamplesPerSec = DWORD(atoi(argv[5]));
    wfx.wBitsPerSample = WORD(atoi(argv[6]));
    wfx.nBlockAlign = WORD(wfx.nChannels * wfx.wBitsPerSample / 8);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    CWavConvDest* dest = new CWavConvDest;
    dest->SetErrorLog(&g_printer);
    dest->Settings() = WAVSETTINGS();
    char message[1024] = "";
    if (argc > 7 && !dest->SetOption("wave-codec", argv[7], message)) {
        fprintf(stderr, "%s\n", message);
        return 2;
    }
    dest->SetFileName(argv[3]);
    dest->SetFormat(&wfx);
    FILE* in = fopen(argv[2], "rb");
    bool ok = in && dest->Open();
    // Odd piece sizes, so that block codecs carry bytes over between Writes.
    std::vector<char> piece(10007 * wfx.nBlockAlign);
    size_t got;
    while (ok && (got = fread(piece.data(), 1, piece.size(), in)) > 0)
        ok = dest->Write(uint32_t(got), piece.data());
    ok = dest->Close() && ok;
    if (in)
        fclose(in);
    dest->Release();
    return ok ? 0 : 1;
}

int Copy(const char* in, const char* out) {
    CWavConvSource* source = new CWavConvSource;
    CWavConvDest* dest = new CWavConvDest;
    source->SetErrorLog(&g_printer);
    dest->SetErrorLog(&g_printer);
    dest->Settings() = WAVSETTINGS();
    source->SetFileName(in);
    dest->SetFileName(out);
    double start = Seconds();
    bool ok = source->Open();
    WAVEFORMATEX wfx = {};
    source->GetFormat(&wfx);
    dest->SetFormat(&wfx);
    ok = ok && dest->Open();
    DestSink sink;
    sink.dest = dest;
    ok = ok && source->Play(&sink);
    ok = dest->Close() && ok;
    source->Close();
    double elapsed = Seconds() - start;
    printf("copy %.1f MB in %.3f s: %.0f MB/s\n", sink.total / 1e6, elapsed, sink.total / 1e6 / elapsed);
    source->Release();
    dest->Release();
    return ok ? 0 : 1;
}

int NormalizeBench(int megabytes) {
    std::vector<int16_t> pcm(size_t(megabytes) * 1000000 / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t((i * 7919) % 30000 - 15000);
    INormalizer* n = nullptr;
    CreateNormalizer(&n);
    WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    n->Init(&wfx);
    const uint32_t block = 65536;
    uint32_t bytes = uint32_t(pcm.size() * 2);
    uint8_t* p = reinterpret_cast<uint8_t*>(pcm.data());
    double start = Seconds();
    for (uint32_t at = 0; at < bytes; at += block)
        n->Analyze(std::min(block, bytes - at), p + at);
    double analyze = Seconds() - start;
    start = Seconds();
    for (uint32_t at = 0; at < bytes; at += block)
        n->Process(std::min(block, bytes - at), p + at, p + at);
    double process = Seconds() - start;
    printf("normalizer on %d MB: Analyze %.0f MB/s, Process %.0f MB/s\n", megabytes, megabytes / analyze,
           megabytes / process);
    n->Destroy();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    InitTX(nullptr);
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "decode" && argc == 4)
        return Decode(argv[2], argv[3]);
    if (command == "encode" && argc >= 7)
        return Encode(argc, argv);
    if (command == "copy" && argc == 4)
        return Copy(argv[2], argv[3]);
    if (command == "normalize-bench" && argc == 3)
        return NormalizeBench(atoi(argv[2]));
    fprintf(stderr, "usage: wavtool decode|encode|copy|normalize-bench ...\n");
    return 2;
}
