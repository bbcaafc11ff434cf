// cdread: reads every audio track of a drive through the CD access layer's track streams and,
// for comparison, a file with plain 63504-byte ReadFile calls; prints frames per second and
// MB/s of each. The read benchmark runs it against the CD bench's stand-in ASPI manager.
//   cdread ADAPTER TARGET LUN [FILE]
#include "AkripObjects.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* what, double bytes, double seconds) {
    printf("%-12s %10.0f frames in %7.2f s: %9.0f frames/s, %7.1f MB/s\n", what, bytes / 2352, seconds,
           bytes / 2352 / seconds, bytes / 1e6 / seconds);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: cdread ADAPTER TARGET LUN [FILE]\n");
        return 2;
    }
    std::vector<uint8_t> chunk(akrip::CAudioCDTrack::kReadBytes);
    auto* devices = new akrip::CAudioCDDevices;
    akrip::CAudioCD* cd = nullptr;
    if (devices->GetCD(static_cast<uint8_t>(atoi(argv[1])), static_cast<uint8_t>(atoi(argv[2])),
                       static_cast<uint8_t>(atoi(argv[3])), &cd) != S_OK ||
        cd->Open(false) != S_OK) {
        fprintf(stderr, "no drive or no disc there (error %d)\n", devices->StartError());
        devices->Release();
        return 1;
    }
    double bytes = 0;
    double started = Now();
    int result = 0;
    for (int i = 0; i < cd->GetTrackCount() && result == 0; ++i) {
        akrip::CAudioCDTrack* track = nullptr;
        cd->GetTrack(i, &track);
        HRESULT status = track->OpenStream();
        while (status == S_OK) {
            uint32_t count = 0;
            status = track->Read(chunk.data(), &count);
            bytes += count;
        }
        if (status != S_FALSE) {
            fprintf(stderr, "track %d: read failed, error %d\n", track->Number(), track->LastError());
            result = 1;
        }
        track->CloseStream();
        track->Release();
    }
    Report("akrip", bytes, Now() - started);
    cd->Close();
    cd->Release();
    devices->Release();

    if (argc > 4) {
        HANDLE file = CreateFileA(argv[4], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "cannot open %s\n", argv[4]);
            return 1;
        }
        bytes = 0;
        started = Now();
        DWORD got = 0;
        while (ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got)
            bytes += got;
        Report("ReadFile", bytes, Now() - started);
        CloseHandle(file);
    }
    return result;
}
