/* ISampleReader and ISourceInfo as an MSVC-built caller sees them: plain C through the public
 * headers' vtable records, on a Wave file written here and read through both media sources. */
#include <TrelvoxWinMedia.h>

#include "CConvert.h"

#include <objbase.h>

enum { kFrames = 22050 }; /* half a second of 16-bit stereo at 44100 Hz */

/* Left channel counts frames, right channel counts down: every frame is recognisable. */
static void FrameAt(DWORD frame, int16_t out[2]) {
    out[0] = (int16_t)(frame & 0x7FFF);
    out[1] = (int16_t)(-(int32_t)(frame & 0x7FFF));
}

static bool WriteWave(const char* path) {
    FILE* file = fopen(path, "wb");
    if (!file)
        return false;
    const WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    WriteWaveHeader(file, &wfx, kFrames * 4);
    for (DWORD f = 0; f < kFrames; ++f) {
        int16_t frame[2];
        FrameAt(f, frame);
        fwrite(frame, 2, 2, file);
    }
    return fclose(file) == 0;
}

static bool FramesFrom(const int16_t* got, DWORD first, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        int16_t want[2];
        FrameAt(first + i, want);
        if (got[2 * i] != want[0] || got[2 * i + 1] != want[1]) {
            printf("frame %lu: got %d %d, want %d %d\n", first + i, got[2 * i], got[2 * i + 1], want[0],
                   want[1]);
            return false;
        }
    }
    return true;
}

static void TestReader(HMODULE dll, const char* path, const GUID* clsid, bool hasInfo) {
    FormatRecord row;
    CHECK_EQ(S_OK, ((FormatOfFn)ExportOf(dll, "ConvGetFormatOf"))(&row, path));
    row.sourceClsid = clsid;
    IConvertSource* source = NULL;
    CHECK_EQ(S_OK, ((CreateSourceFn)ExportOf(dll, "ConvCreateSource"))(&row, &source));
    if (!source)
        return;
    CHECK(source->lpVtbl->SetFileName(source, TX_CEDX path));
    ISampleReader* reader = NULL;
    CHECK_EQ(S_OK, source->lpVtbl->QueryInterface(source, &IID_ISampleReader, (void**)&reader));
    const ISampleReaderVtbl* rd = reader->lpVtbl;
    CHECK_EQ(0, rd->GetFrameSize(reader TX_CEDX_ONLY));
    CHECK(source->lpVtbl->Open(source TX_CEDX_ONLY));
    CHECK_EQ(4, rd->GetFrameSize(reader TX_CEDX_ONLY));
    DWORD frames = 0;
    CHECK(rd->GetFrameCount(reader, TX_CEDX & frames));
    CHECK_EQ(kFrames, frames);

    static int16_t buffer[2 * kFrames];
    CHECK_EQ(100, rd->ReadFrames(reader, TX_CEDX 100, buffer));
    CHECK(FramesFrom(buffer, 0, 100));
    CHECK_EQ(50, rd->ReadFrames(reader, TX_CEDX 50, buffer));
    CHECK(FramesFrom(buffer, 100, 50));
    CHECK(rd->SetPosition(reader, TX_CEDX 11025));
    CHECK_EQ(kFrames - 11025, rd->ReadFrames(reader, TX_CEDX kFrames, buffer));
    CHECK(FramesFrom(buffer, 11025, kFrames - 11025));
    CHECK_EQ(0, rd->ReadFrames(reader, TX_CEDX 10, buffer));

    ISourceInfo* info = NULL;
    HRESULT hr = source->lpVtbl->QueryInterface(source, &IID_ISourceInfo, (void**)&info);
    CHECK_EQ(hasInfo ? S_OK : E_NOINTERFACE, hr);
    if (info) {
        DWORD bps = 0;
        /* Wine's runtime does not know stream bit rates; either way the reader's life ends. */
        bool known = info->lpVtbl->GetBitrate(info, TX_CEDX & bps);
        CHECK(!known || bps == 44100 * 32);
        CHECK_EQ(0, rd->ReadFrames(reader, TX_CEDX 10, buffer));
        CHECK(!rd->SetPosition(reader, TX_CEDX 0));
        CHECK_EQ(2, info->lpVtbl->Release(info));
    }
    CHECK(source->lpVtbl->Close(source TX_CEDX_ONLY));
    CHECK_EQ(1, rd->Release(reader));
    CHECK_EQ(0, source->lpVtbl->Release(source));
}

int main(void) {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    HMODULE dll = LoadLibraryA("Trelvox.dll");
    CHECK(dll != NULL);
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "sra", 0, path);
    strcat(path, ".wav");
    CHECK(WriteWave(path));
    if (dll) {
        TestReader(dll, path, &CLSID_DirectShowConvSource, false);
        TestReader(dll, path, &CLSID_WMAConvSource, true);
    }
    DeleteFileA(path);
    path[strlen(path) - 4] = '\0';
    DeleteFileA(path);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    CoUninitialize();
    return g_failures ? 1 : 0;
}
