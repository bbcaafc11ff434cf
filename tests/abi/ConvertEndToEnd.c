/* A whole conversion as an MSVC-built front end runs one: a Wave file made here goes through
 * the exported AudioConvert to MP3 (through lame_enc.dll) and to Ogg Vorbis, with an
 * IConvertCallback written in C. The library calls the callback from its worker thread with
 * thiscall; a slot declared otherwise loses its arguments or unbalances the stack. */
#include "CConvert.h"

#include <math.h>

typedef HRESULT(__cdecl* AudioConvertFn)(IConvertSource*, IConvertDestination*, IConvertCallback*,
                                         const ConvertOptions*, double*, int32_t, int32_t);

enum { kRate = 44100, kSeconds = 3, kFrames = kRate * kSeconds, kBytes = kFrames * 4 };

/* Two tones, one per channel, at half scale. */
static bool WriteTone(const char* path) {
    FILE* file = fopen(path, "wb");
    if (!file)
        return false;
    const WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
    bool ok = WriteWaveHeader(file, &wfx, kBytes);
    for (int i = 0; ok && i < kFrames; ++i) {
        const double t = (double)i / kRate;
        int16_t frame[2] = {(int16_t)(16384 * sin(2 * 3.14159265358979 * 440 * t)),
                            (int16_t)(16384 * sin(2 * 3.14159265358979 * 660 * t))};
        ok = fwrite(frame, sizeof(frame), 1, file) == 1;
    }
    return fclose(file) == 0 && ok;
}

/* The first bytes of path and its size (-1 when it cannot be read). */
static long Head(const char* path, unsigned char* head, size_t size) {
    memset(head, 0, size);
    FILE* file = fopen(path, "rb");
    if (!file)
        return -1;
    size_t got = fread(head, 1, size, file);
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    fclose(file);
    return got == size ? length : -1;
}

/* An MPEG audio frame header: eleven set sync bits, layer III. */
static bool IsMp3Frame(const unsigned char* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && (p[1] & 0x06) == 0x02;
}

static void Convert(HMODULE dll, const char* wave, const char* format, const char* output) {
    FormatOfFn formatOf = (FormatOfFn)ExportOf(dll, "ConvGetFormatOf");
    FormatByNameFn byName = (FormatByNameFn)ExportOf(dll, "ConvGetFormatByName");
    CreateSourceFn createSource = (CreateSourceFn)ExportOf(dll, "ConvCreateSource");
    CreateDestFn createDest = (CreateDestFn)ExportOf(dll, "ConvCreateDest");
    AudioConvertFn audioConvert = (AudioConvertFn)ExportOf(dll, "AudioConvert");
    if (g_failures)
        return;
    FormatRecord sourceRow, destRow;
    CHECK_EQ(S_OK, formatOf(&sourceRow, wave));
    CHECK_EQ(S_OK, byName(&destRow, format));
    IConvertSource* source = NULL;
    IConvertDestination* dest = NULL;
    CHECK_EQ(S_OK, createSource(&sourceRow, &source));
    CHECK_EQ(S_OK, createDest(&destRow, &dest));
    if (!source || !dest)
        return;
    CHECK(source->lpVtbl->SetFileName(source, TX_CEDX wave));
    CHECK(dest->lpVtbl->SetFileName(dest, TX_CEDX output));

    Callback cb;
    CallbackInit(&cb);
    CHECK_EQ(S_OK, audioConvert(source, dest, &cb.base, NULL, TX_NORMALIZE_OFF, -1, -1));
    if (cb.errors)
        printf("%s: %d errors reported, the last: %s", format, cb.errors, cb.lastError);
    CHECK_EQ(0, cb.errors);
    CHECK_STR("Converting:", cb.status);
    CHECK_STR("tone.wav", cb.item);
    CHECK_EQ(kBytes, cb.progressRange);
    CHECK_EQ(kBytes, cb.progressStepped);
    CHECK_EQ(kBytes, cb.progressPos);
    CHECK(cb.cancelQueries > 0);
    CHECK_EQ(0, dest->lpVtbl->Release(dest));
    CHECK_EQ(0, source->lpVtbl->Release(source));
}

int main(void) {
    HMODULE dll = LoadTrelvox();
    if (!dll)
        return 1;

    char temp[MAX_PATH], dir[MAX_PATH], wave[MAX_PATH], mp3[MAX_PATH], ogg[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(dir, sizeof(dir), "%stxconvert-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(dir, NULL);
    snprintf(wave, sizeof(wave), "%s\\tone.wav", dir);
    snprintf(mp3, sizeof(mp3), "%s\\tone.mp3", dir);
    snprintf(ogg, sizeof(ogg), "%s\\tone.ogg", dir);
    CHECK(WriteTone(wave));

    /* Three seconds of two pure tones take a few kilobytes and more at any usual bit rate. */
    unsigned char head[64];
    Convert(dll, wave, "MP3", mp3);
    long size = Head(mp3, head, sizeof(head));
    printf("MP3: %ld bytes\n", size);
    CHECK(size > 4000 && size < 200000);
    /* A leading ID3v2 tag, or the first frame itself. */
    CHECK(memcmp(head, "ID3", 3) == 0 || IsMp3Frame(head));

    Convert(dll, wave, "Ogg Vorbis", ogg);
    size = Head(ogg, head, sizeof(head));
    printf("Ogg Vorbis: %ld bytes\n", size);
    CHECK(size > 4000 && size < 200000);
    CHECK(memcmp(head, "OggS", 4) == 0);
    /* The first page carries the identification header: packet type 1, "vorbis". */
    CHECK(head[28] == 1 && memcmp(head + 29, "vorbis", 6) == 0);

    DeleteFileA(mp3);
    DeleteFileA(ogg);
    DeleteFileA(wave);
    RemoveDirectoryA(dir);
    FreeLibrary(dll);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
