/* Drives the library's objects the way an MSVC-built front end does: through vtables declared
 * slot by slot, with explicit calling conventions, and with no C++ at all. */
#include "CConvert.h"

typedef uint32_t(__cdecl* PosFn)(const FormatRecord*);

static const GUID kIID_IConvertSource = {
    0xD171DBC1, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_WavConvSource = {
    0xD171DBC6, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_WavConvDest = {
    0xD171DBC3, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};

static HMODULE g_dll;
static AnyFn Export(const char* name) {
    return ExportOf(g_dll, name);
}

/* A plain cdecl export: the record's layout as a C caller reads it. */
static void TestTable(void) {
    FormatAtFn at = (FormatAtFn)Export("ConvGetFormatAt");
    PosFn pos = (PosFn)Export("ConvGetFormatPos");
    if (g_failures)
        return;
    FormatRecord rec;
    memset(&rec, 0, sizeof(rec));
    CHECK_EQ(S_OK, at(&rec, 8));
    CHECK_STR("Ogg Vorbis", rec.name);
    CHECK_STR("Vorbis OGG Files (.ogg)", rec.description);
    CHECK_EQ(8, pos(&rec));
}

/* The normalizer: a plain object, six thiscall slots, no reference counting. */
typedef struct NormalizerVtbl {
    HRESULT(THISCALL* Destroy)(Object*);
    HRESULT(THISCALL* Init)(Object*, const WAVEFORMATEX*);
    HRESULT(THISCALL* Analyze)(Object*, uint32_t, const void*);
    HRESULT(THISCALL* Process)(Object*, uint32_t, const void*, void*);
    HRESULT(THISCALL* GetGain)(Object*, double*);
    HRESULT(THISCALL* SetGain)(Object*, double);
} NormalizerVtbl;
typedef HRESULT(__cdecl* CreateNormalizerFn)(Object**);
#define NRM(o) (*(NormalizerVtbl**)(o))

static void TestNormalizer(void) {
    CreateNormalizerFn create = (CreateNormalizerFn)Export("CreateNormalizer");
    Object* n = NULL;
    if (!create || create(&n) != S_OK || !n)
        return;
    WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    int16_t block[4] = {16384, -8000, 0, 100};
    CHECK_EQ(S_OK, NRM(n)->Init(n, &wfx));
    CHECK_EQ(S_OK, NRM(n)->Analyze(n, sizeof(block), block));
    double gain = 0;
    CHECK_EQ(S_OK, NRM(n)->GetGain(n, &gain));
    CHECK(gain == 2.0);
    /* A double argument after this: the slot must pop it on 32-bit. */
    CHECK_EQ(S_OK, NRM(n)->SetGain(n, 0.5));
    int16_t out[4];
    CHECK_EQ(S_OK, NRM(n)->Process(n, sizeof(block), block, out));
    CHECK_EQ(-4000, out[1]);
    CHECK_EQ(S_OK, NRM(n)->Destroy(n));
}

/* A playlist: a plain object, seven thiscall slots, Release in the last one. */
typedef struct PlaylistVtbl {
    HRESULT(THISCALL* Add)(Object*, const char*);
    HRESULT(THISCALL* Load)(Object*, const char*);
    HRESULT(THISCALL* Save)(Object*, const char*);
    HRESULT(THISCALL* GetCount)(Object*, uint32_t*);
    HRESULT(THISCALL* Reset)(Object*);
    HRESULT(THISCALL* GetNext)(Object*, char*);
    HRESULT(THISCALL* Release)(Object*);
} PlaylistVtbl;
typedef HRESULT(__cdecl* PlaylistCreateFn)(const char*, Object**);
#define PLS(o) (*(PlaylistVtbl**)(o))

static void TestPlaylist(const char* tempDir) {
    PlaylistCreateFn create = (PlaylistCreateFn)Export("PlaylistCreateFromFile");
    char path[MAX_PATH], entry[MAX_PATH], line[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\list.m3u", tempDir);
    Object* list = NULL;
    if (!create || create(path, &list) != S_OK || !list)
        return;
    /* Each slot's result tells it from its neighbours. */
    snprintf(entry, sizeof(entry), "%s\\a.wav", tempDir);
    CHECK_EQ(S_OK, PLS(list)->Add(list, entry));
    CHECK_EQ(E_INVALIDARG, PLS(list)->GetCount(list, NULL));
    uint32_t count = 0;
    CHECK_EQ(S_OK, PLS(list)->GetCount(list, &count));
    CHECK_EQ(1, count);
    CHECK_EQ(S_OK, PLS(list)->GetNext(list, line));
    CHECK_STR(entry, line);
    CHECK_EQ(E_FAIL, PLS(list)->GetNext(list, line));
    CHECK_EQ(S_OK, PLS(list)->Reset(list));
    CHECK_EQ(S_OK, PLS(list)->Save(list, path));
    CHECK_EQ(S_OK, PLS(list)->Load(list, path));
    CHECK_EQ(S_OK, PLS(list)->GetCount(list, &count));
    CHECK_EQ(2, count);
    CHECK_EQ(E_FAIL, PLS(list)->Load(list, tempDir));
    CHECK_EQ(S_OK, PLS(list)->Release(list));
    DeleteFileA(path);
}

static void TestObjects(const char* tempDir) {
    FormatAtFn at = (FormatAtFn)Export("ConvGetFormatAt");
    CreateObjectFn createSource = (CreateObjectFn)Export("ConvCreateSource");
    CreateObjectFn createDest = (CreateObjectFn)Export("ConvCreateDest");
    if (g_failures)
        return;
    FormatRecord wave;
    CHECK_EQ(S_OK, at(&wave, 4));
    Object* source = NULL;
    Object* dest = NULL;
    CHECK_EQ(S_OK, createSource(&wave, &source));
    CHECK_EQ(S_OK, createDest(&wave, &dest));
    if (!source || !dest)
        return;

    Callback cb;
    CallbackInit(&cb);

    /* Every slot once, each with a result that tells it from its neighbours; true and false
     * both come back through one-byte booleans. */
    Object* same = NULL;
    CHECK_EQ(S_OK, SRC(source)->QueryInterface(source, &kIID_IConvertSource, (void**)&same));
    CHECK(same == source);
    CHECK_EQ(1, SRC(source)->Release(source));
    CHECK_EQ(2, SRC(source)->AddRef(source));
    CHECK_EQ(1, SRC(source)->Release(source));
    CHECK_EQ(4, SRC(source)->GetFormatIndex(source));
    CHECK_EQ(7, SRC(source)->SetFormatIndex(source, 7));
    GUID clsid;
    CHECK(SRC(source)->GetClassID(source, &clsid));
    CHECK(IsEqualGUID(&clsid, &kCLSID_WavConvSource));
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\missing.wav", tempDir);
    CHECK(SRC(source)->SetFileName(source, path));
    char buf[MAX_PATH];
    CHECK(SRC(source)->GetFileName(source, buf, sizeof(buf)));
    CHECK_STR(path, buf);
    CHECK(SRC(source)->GetFileTitle(source, buf, sizeof(buf)));
    CHECK_STR("missing.wav", buf);
    CHECK(SRC(source)->GetFileDir(source, buf, sizeof(buf)));
    CHECK(SRC(source)->SetStartTime(source, 250));
    /* The callback's own slots and convention: an error line arrives with its kind. */
    SRC(source)->SetErrorLog(source, &cb);
    CHECK(!SRC(source)->Open(source));
    CHECK_STR("Source file cannot be opened\n", cb.lastError);
    CHECK_STR("e", cb.lastKind);
    CHECK(!SRC(source)->Play(source, NULL));
    uint32_t length = 5;
    CHECK(!SRC(source)->GetLength(source, &length, -1, -1));
    WAVEFORMATEX wfx;
    CHECK(!SRC(source)->GetFormat(source, &wfx));
    void* md = NULL;
    CHECK(!SRC(source)->GetMetadata(source, &md));
    CHECK(SRC(source)->Close(source));
    SRC(source)->SetErrorLog(source, NULL);

    CHECK_EQ(4, DST(dest)->GetFormatIndex(dest));
    CHECK_EQ(3, DST(dest)->SetFormatIndex(dest, 3));
    CHECK(DST(dest)->GetClassID(dest, &clsid));
    CHECK(IsEqualGUID(&clsid, &kCLSID_WavConvDest));
    CHECK(!DST(dest)->GetFileName(dest, buf, sizeof(buf)));
    snprintf(path, sizeof(path), "%s\\out.wav", tempDir);
    CHECK(DST(dest)->SetFileName(dest, path));
    CHECK(DST(dest)->GetFileName(dest, buf, sizeof(buf)));
    CHECK_STR(path, buf);
    CHECK(DST(dest)->SetSource(dest, source));
    CHECK(!DST(dest)->SetSource(dest, NULL));
    WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    CHECK(DST(dest)->SetFormat(dest, &pcm));
    uint32_t estimate = 0;
    DST(dest)->EstimateSize(dest, 176400, &pcm, &estimate);
    CHECK(DST(dest)->GetSettingsText(dest, buf, sizeof(buf)));
    CHECK(buf[0] != '\0');
    char message[1024] = "";
    CHECK(!DST(dest)->SetOption(dest, "no-such-option", "1", message));
    DST(dest)->SetErrorLog(dest, &cb);
    CHECK(DST(dest)->Open(dest));
    CHECK(DST(dest)->Write(dest, 4, "\0\0\0\0"));
    CHECK(DST(dest)->Close(dest));
    /* The caller's ConfirmOverwrite answers through a one-byte boolean too. */
    CHECK(!DST(dest)->Open(dest));
    CHECK_EQ(1, cb.questions);
    DST(dest)->SetErrorLog(dest, NULL);
    CHECK(!DST(dest)->GetMetadata(dest, &md));
    CHECK_EQ(0, DST(dest)->Release(dest));
    CHECK_EQ(0, SRC(source)->Release(source));
    DeleteFileA(path);
}

int main(void) {
    g_dll = LoadTrelvox();
    if (!g_dll)
        return 1;
    TestTable();
    TestNormalizer();

    char temp[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(dir, sizeof(dir), "%stxconformance-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(dir, NULL);
    TestObjects(dir);
    TestPlaylist(dir);
    RemoveDirectoryA(dir);
    FreeLibrary(g_dll);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
