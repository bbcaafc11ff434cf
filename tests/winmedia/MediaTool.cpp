// A small Windows front to the Windows Media and DirectShow sources for the native checks and
// the throughput measurement. SOURCE is "wm", "ds" or "row" (the class the format table picks).
//   decode SOURCE in out.raw [startMs] [refuseAfterBytes]
//       Play into out.raw; prints "play=R ch rate bits total bytes ms after=N md=M" (R: Play's
//       result, N: sink calls after it refused, M: GetMetadata's result; ms and open in
//       milliseconds, from before Open to the end of Play and to the end of Open)
//   read SOURCE in outPrefix seekFrame
//       ISampleReader on one opened source: outPrefix.a all frames in one request; .b after
//       reading 10 frames and SetPosition(0), in chunks of 333; .c after SetPosition(seekFrame)
//   bitrate in        ISourceInfo of the Windows Media source, then a Play after it
// Every error line goes to stderr as "e: text" or "i: text".
#include "StderrCallback.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"
#include "TrelvoxWinMedia.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// Writes what it gets; refuses once more than limit bytes have arrived (0 = never).
class FileSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        if (refused) {
            ++callsAfterRefusal;
            return false;
        }
        total += bytes;
        if (limit && total > limit) {
            refused = true;
            return false;
        }
        return fwrite(pcm, 1, bytes, file) == bytes;
    }
    FILE* file = nullptr;
    uint64_t total = 0;
    uint64_t limit = 0;
    bool refused = false;
    int callsAfterRefusal = 0;
};

StderrCallback g_printer(true);

IConvertSource* CreateSource(const char* kind, const char* path) {
    FormatRecord row;
    if (FAILED(ConvGetFormatOf(&row, path))) {
        fprintf(stderr, "no format row for %s\n", path);
        return nullptr;
    }
    if (strcmp(kind, "wm") == 0)
        row.sourceClsid = &CLSID_WMAConvSource;
    else if (strcmp(kind, "ds") == 0)
        row.sourceClsid = &CLSID_DirectShowConvSource;
    IConvertSource* source = nullptr;
    if (FAILED(ConvCreateSource(&row, &source)))
        return nullptr;
    source->SetErrorLog(&g_printer);
    source->SetFileName(path);
    return source;
}

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

int Decode(int argc, char** argv) {
    IConvertSource* source = CreateSource(argv[2], argv[3]);
    if (!source)
        return 2;
    if (argc > 5)
        source->SetStartTime(atoi(argv[5]));
    double started = Seconds();
    if (!source->Open()) {
        source->Release();
        return 1;
    }
    const double openMs = (Seconds() - started) * 1000;
    WAVEFORMATEX wfx = {};
    uint32_t total = 0;
    source->GetFormat(&wfx);
    source->GetLength(&total, -1, -1);
    IMetadata* md = nullptr;
    const bool tags = source->GetMetadata(&md) && md;
    if (md)
        md->Release();
    FileSink sink;
    sink.file = fopen(argv[4], "wb");
    if (argc > 6)
        sink.limit = strtoull(argv[6], nullptr, 10);
    bool played = sink.file && source->Play(&sink);
    double ms = (Seconds() - started) * 1000;
    if (sink.file)
        fclose(sink.file);
    source->Close();
    source->SetErrorLog(nullptr);
    source->Release();
    printf("play=%d %u %lu %u %u %llu %.1f after=%d md=%d open=%.1f\n", played ? 1 : 0, wfx.nChannels,
           wfx.nSamplesPerSec, wfx.wBitsPerSample, total, static_cast<unsigned long long>(sink.total), ms,
           sink.callsAfterRefusal, tags ? 1 : 0, openMs);
    return 0;
}

// Reads from position frame in chunks until the end into path.
uint64_t ReadAll(ISampleReader* reader, const char* path, DWORD chunk) {
    std::vector<char> buffer(size_t(chunk) * reader->GetFrameSize());
    FILE* out = fopen(path, "wb");
    uint64_t total = 0;
    for (;;) {
        DWORD got = reader->ReadFrames(chunk, buffer.data());
        fwrite(buffer.data(), reader->GetFrameSize(), got, out);
        total += got;
        if (got < chunk)
            break;
    }
    fclose(out);
    return total;
}

int Read(char** argv) {
    IConvertSource* source = CreateSource(argv[2], argv[3]);
    if (!source)
        return 2;
    ISampleReader* reader = nullptr;
    if (!source->Open() ||
        FAILED(source->QueryInterface(IID_ISampleReader, reinterpret_cast<void**>(&reader)))) {
        source->Release();
        return 1;
    }
    DWORD frames = 0;
    reader->GetFrameCount(&frames);
    std::string prefix = argv[4];
    // a: everything in one request.
    uint64_t a = ReadAll(reader, (prefix + ".a").c_str(), 50000000 / reader->GetFrameSize());
    // b: ten frames keep the rest of a decoded sample; SetPosition(0) has to drop it.
    char ten[640];
    reader->SetPosition(0);
    DWORD first = reader->ReadFrames(10, ten);
    bool seekB = reader->SetPosition(0);
    uint64_t b = ReadAll(reader, (prefix + ".b").c_str(), 333);
    // c: from a frame one second in.
    const DWORD seekFrame = strtoul(argv[5], nullptr, 10);
    bool seekC = reader->SetPosition(seekFrame);
    uint64_t c = ReadAll(reader, (prefix + ".c").c_str(), 4096);
    reader->Release();
    source->Close();
    source->SetErrorLog(nullptr);
    source->Release();
    printf("frames=%lu a=%llu first=%lu b=%llu c=%llu seeks=%d%d\n", frames,
           static_cast<unsigned long long>(a), first, static_cast<unsigned long long>(b),
           static_cast<unsigned long long>(c), seekB ? 1 : 0, seekC ? 1 : 0);
    return 0;
}

int Bitrate(char** argv) {
    IConvertSource* source = CreateSource("wm", argv[2]);
    ISourceInfo* info = nullptr;
    if (!source || !source->Open() ||
        FAILED(source->QueryInterface(IID_ISourceInfo, reinterpret_cast<void**>(&info))))
        return 1;
    DWORD bps = 0;
    bool ok = info->GetBitrate(&bps);
    FileSink sink;
    sink.file = fopen("NUL", "wb");
    bool played = source->Play(&sink);
    ISampleReader* reader = nullptr;
    source->QueryInterface(IID_ISampleReader, reinterpret_cast<void**>(&reader));
    char frame[64];
    DWORD read = reader->ReadFrames(1, frame);
    bool seek = reader->SetPosition(0);
    fclose(sink.file);
    reader->Release();
    info->Release();
    source->Close();
    FileSink again;
    again.file = fopen("NUL", "wb");
    bool reopened = source->Open() && source->Play(&again) && again.total > 0;
    fclose(again.file);
    source->Close();
    source->SetErrorLog(nullptr);
    source->Release();
    printf("bitrate=%d %lu play=%d read=%lu seek=%d reopened=%d\n", ok ? 1 : 0, bps, played ? 1 : 0, read,
           seek ? 1 : 0, reopened ? 1 : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int rc = 2;
    if (argc >= 5 && strcmp(argv[1], "decode") == 0)
        rc = Decode(argc, argv);
    else if (argc >= 6 && strcmp(argv[1], "read") == 0)
        rc = Read(argv);
    else if (argc >= 3 && strcmp(argv[1], "bitrate") == 0)
        rc = Bitrate(argv);
    else
        fprintf(stderr, "usage: see the head of MediaTool.cpp\n");
    CoUninitialize();
    // As txconv does: a decoder left behind on a damaged file must not see its libraries unloaded.
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(rc));
    return rc;
}
