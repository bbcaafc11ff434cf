/* ISampleReader and ISourceInfo as an MSVC-built caller sees them: plain C, vtables declared
 * slot by slot, on a Wave file written here and read through both media sources. */
#include "CConvert.h"

#include <objbase.h>

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    bool(THISCALL* SetPosition)(Object*, DWORD);
    WORD(THISCALL* GetFrameSize)(Object*);
    bool(THISCALL* GetFrameCount)(Object*, DWORD*);
    DWORD(THISCALL* ReadFrames)(Object*, DWORD, void*);
} ReaderVtbl;

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    bool(THISCALL* GetBitrate)(Object*, DWORD*);
} InfoVtbl;

static const GUID kIID_ISampleReader = {
    0xD171DBC1, 0x0A6D, 0x11D4, {0x92, 0x50, 0xFF, 0xFF, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kIID_ISourceInfo = {
    0xD171DBF5, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_WMAConvSource = {
    0xD171DBC4, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_DirectShowConvSource = {
    0xB0E6CE5A, 0xCD47, 0x4384, {0xFF, 0xFF, 0xE1, 0xA2, 0xC5, 0x52, 0xED, 0x90}};

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
    Object* source = NULL;
    CHECK_EQ(S_OK, ((CreateObjectFn)ExportOf(dll, "ConvCreateSource"))(&row, &source));
    if (!source)
        return;
    const SourceVtbl* src = SRC(source);
    CHECK(src->SetFileName(source, path));
    Object* reader = NULL;
    CHECK_EQ(S_OK, src->QueryInterface(source, &kIID_ISampleReader, (void**)&reader));
    const ReaderVtbl* rd = (const ReaderVtbl*)reader->vtbl;
    CHECK_EQ(0, rd->GetFrameSize(reader));
    CHECK(src->Open(source));
    CHECK_EQ(4, rd->GetFrameSize(reader));
    DWORD frames = 0;
    CHECK(rd->GetFrameCount(reader, &frames));
    CHECK_EQ(kFrames, frames);

    static int16_t buffer[2 * kFrames];
    CHECK_EQ(100, rd->ReadFrames(reader, 100, buffer));
    CHECK(FramesFrom(buffer, 0, 100));
    CHECK_EQ(50, rd->ReadFrames(reader, 50, buffer));
    CHECK(FramesFrom(buffer, 100, 50));
    CHECK(rd->SetPosition(reader, 11025));
    CHECK_EQ(kFrames - 11025, rd->ReadFrames(reader, kFrames, buffer));
    CHECK(FramesFrom(buffer, 11025, kFrames - 11025));
    CHECK_EQ(0, rd->ReadFrames(reader, 10, buffer));

    Object* info = NULL;
    HRESULT hr = src->QueryInterface(source, &kIID_ISourceInfo, (void**)&info);
    CHECK_EQ(hasInfo ? S_OK : E_NOINTERFACE, hr);
    if (info) {
        DWORD bps = 0;
        /* Wine's runtime does not know stream bit rates; either way the reader's life ends. */
        bool known = ((const InfoVtbl*)info->vtbl)->GetBitrate(info, &bps);
        CHECK(!known || bps == 44100 * 32);
        CHECK_EQ(0, rd->ReadFrames(reader, 10, buffer));
        CHECK(!rd->SetPosition(reader, 0));
        CHECK_EQ(2, ((const InfoVtbl*)info->vtbl)->Release(info));
    }
    CHECK(src->Close(source));
    CHECK_EQ(1, rd->Release(reader));
    CHECK_EQ(0, src->Release(source));
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
        TestReader(dll, path, &kCLSID_DirectShowConvSource, false);
        TestReader(dll, path, &kCLSID_WMAConvSource, true);
    }
    DeleteFileA(path);
    path[strlen(path) - 4] = '\0';
    DeleteFileA(path);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    CoUninitialize();
    return g_failures ? 1 : 0;
}
