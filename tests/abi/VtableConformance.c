/* Drives the library's objects the way an MSVC-built front end does: through the public
 * headers' C declarations (vtable records, explicit calling conventions), with no C++ at all. */
#include "CConvert.h"

typedef uint32_t(__cdecl* PosFn)(const FormatRecord*);

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

typedef HRESULT(__cdecl* CreateNormalizerFn)(INormalizer**);

/* The normalizer: a plain object, six thiscall slots, no reference counting. */
static void TestNormalizer(void) {
    CreateNormalizerFn create = (CreateNormalizerFn)Export("CreateNormalizer");
    INormalizer* n = NULL;
    if (!create || create(&n) != S_OK || !n)
        return;
    WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    int16_t block[4] = {16384, -8000, 0, 100};
    CHECK_EQ(S_OK, n->lpVtbl->Init(n, TX_CEDX & wfx));
    CHECK_EQ(S_OK, n->lpVtbl->Analyze(n, TX_CEDX sizeof(block), block));
    double gain = 0;
    CHECK_EQ(S_OK, n->lpVtbl->GetGain(n, TX_CEDX & gain));
    CHECK(gain == 2.0);
    /* A double argument after this: the slot must pop it on 32-bit. */
    CHECK_EQ(S_OK, n->lpVtbl->SetGain(n, TX_CEDX 0.5));
    int16_t out[4];
    CHECK_EQ(S_OK, n->lpVtbl->Process(n, TX_CEDX sizeof(block), block, out));
    CHECK_EQ(-4000, out[1]);
    CHECK_EQ(S_OK, n->lpVtbl->Destroy(n TX_CEDX_ONLY));
}

typedef HRESULT(__cdecl* PlaylistCreateFn)(const char*, IPlaylist**);

/* A playlist: a plain object, seven thiscall slots, Release in the last one. */
static void TestPlaylist(const char* tempDir) {
    PlaylistCreateFn create = (PlaylistCreateFn)Export("PlaylistCreateFromFile");
    char path[MAX_PATH], entry[MAX_PATH], line[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\list.m3u", tempDir);
    IPlaylist* list = NULL;
    if (!create || create(path, &list) != S_OK || !list)
        return;
    /* Each slot's result tells it from its neighbours. */
    snprintf(entry, sizeof(entry), "%s\\a.wav", tempDir);
    CHECK_EQ(S_OK, list->lpVtbl->Add(list, TX_CEDX entry));
    CHECK_EQ(E_INVALIDARG, list->lpVtbl->GetCount(list, TX_CEDX NULL));
    uint32_t count = 0;
    CHECK_EQ(S_OK, list->lpVtbl->GetCount(list, TX_CEDX & count));
    CHECK_EQ(1, count);
    CHECK_EQ(S_OK, list->lpVtbl->GetNext(list, TX_CEDX line));
    CHECK_STR(entry, line);
    CHECK_EQ(E_FAIL, list->lpVtbl->GetNext(list, TX_CEDX line));
    CHECK_EQ(S_OK, list->lpVtbl->Reset(list TX_CEDX_ONLY));
    CHECK_EQ(S_OK, list->lpVtbl->Save(list, TX_CEDX path));
    CHECK_EQ(S_OK, list->lpVtbl->Load(list, TX_CEDX path));
    CHECK_EQ(S_OK, list->lpVtbl->GetCount(list, TX_CEDX & count));
    CHECK_EQ(2, count);
    CHECK_EQ(E_FAIL, list->lpVtbl->Load(list, TX_CEDX tempDir));
    CHECK_EQ(S_OK, list->lpVtbl->Release(list TX_CEDX_ONLY));
    DeleteFileA(path);
}

static void TestObjects(const char* tempDir) {
    FormatAtFn at = (FormatAtFn)Export("ConvGetFormatAt");
    CreateSourceFn createSource = (CreateSourceFn)Export("ConvCreateSource");
    CreateDestFn createDest = (CreateDestFn)Export("ConvCreateDest");
    if (g_failures)
        return;
    FormatRecord wave;
    CHECK_EQ(S_OK, at(&wave, 4));
    IConvertSource* source = NULL;
    IConvertDestination* dest = NULL;
    CHECK_EQ(S_OK, createSource(&wave, &source));
    CHECK_EQ(S_OK, createDest(&wave, &dest));
    if (!source || !dest)
        return;

    Callback cb;
    CallbackInit(&cb);

    /* Every slot once, each with a result that tells it from its neighbours; true and false
     * both come back through one-byte booleans. */
    IConvertSource* same = NULL;
    CHECK_EQ(S_OK, source->lpVtbl->QueryInterface(source, &IID_IConvertSource, (void**)&same));
    CHECK(same == source);
    CHECK_EQ(1, source->lpVtbl->Release(source));
    CHECK_EQ(2, source->lpVtbl->AddRef(source));
    CHECK_EQ(1, source->lpVtbl->Release(source));
    CHECK_EQ(4, source->lpVtbl->GetFormatIndex(source TX_CEDX_ONLY));
    CHECK_EQ(7, source->lpVtbl->SetFormatIndex(source, TX_CEDX 7));
    GUID clsid;
    CHECK(source->lpVtbl->GetClassID(source, TX_CEDX & clsid));
    CHECK(IsEqualGUID(&clsid, &CLSID_WavConvSource));
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\missing.wav", tempDir);
    CHECK(source->lpVtbl->SetFileName(source, TX_CEDX path));
    char buf[MAX_PATH];
    CHECK(source->lpVtbl->GetFileName(source, TX_CEDX buf, sizeof(buf)));
    CHECK_STR(path, buf);
    CHECK(source->lpVtbl->GetFileTitle(source, TX_CEDX buf, sizeof(buf)));
    CHECK_STR("missing.wav", buf);
    CHECK(source->lpVtbl->GetFileDir(source, TX_CEDX buf, sizeof(buf)));
    CHECK(source->lpVtbl->SetStartTime(source, TX_CEDX 250));
    /* The callback's own slots and convention: an error line arrives with its kind. */
    source->lpVtbl->SetErrorLog(source, TX_CEDX & cb.base);
    CHECK(!source->lpVtbl->Open(source TX_CEDX_ONLY));
    CHECK_STR("Source file cannot be opened\n", cb.lastError);
    CHECK_STR("e", cb.lastKind);
    CHECK(!source->lpVtbl->Play(source, TX_CEDX NULL));
    uint32_t length = 5;
    CHECK(!source->lpVtbl->GetLength(source, TX_CEDX & length, -1, -1));
    WAVEFORMATEX wfx;
    CHECK(!source->lpVtbl->GetFormat(source, TX_CEDX & wfx));
    IMetadata* md = NULL;
    CHECK(!source->lpVtbl->GetMetadata(source, TX_CEDX & md));
    CHECK(source->lpVtbl->Close(source TX_CEDX_ONLY));
    source->lpVtbl->SetErrorLog(source, TX_CEDX NULL);

    CHECK_EQ(4, dest->lpVtbl->GetFormatIndex(dest TX_CEDX_ONLY));
    CHECK_EQ(3, dest->lpVtbl->SetFormatIndex(dest, TX_CEDX 3));
    CHECK(dest->lpVtbl->GetClassID(dest, TX_CEDX & clsid));
    CHECK(IsEqualGUID(&clsid, &CLSID_WavConvDest));
    CHECK(!dest->lpVtbl->GetFileName(dest, TX_CEDX buf, sizeof(buf)));
    snprintf(path, sizeof(path), "%s\\out.wav", tempDir);
    CHECK(dest->lpVtbl->SetFileName(dest, TX_CEDX path));
    CHECK(dest->lpVtbl->GetFileName(dest, TX_CEDX buf, sizeof(buf)));
    CHECK_STR(path, buf);
    CHECK(dest->lpVtbl->SetSource(dest, TX_CEDX source));
    CHECK(!dest->lpVtbl->SetSource(dest, TX_CEDX NULL));
    WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    CHECK(dest->lpVtbl->SetFormat(dest, TX_CEDX & pcm));
    uint32_t estimate = 0;
    dest->lpVtbl->EstimateSize(dest, TX_CEDX 176400, &pcm, &estimate);
    CHECK(dest->lpVtbl->GetSettingsText(dest, TX_CEDX buf, sizeof(buf)));
    CHECK(buf[0] != '\0');
    char message[1024] = "";
    CHECK(!dest->lpVtbl->SetOption(dest, TX_CEDX "no-such-option", "1", message));
    dest->lpVtbl->SetErrorLog(dest, TX_CEDX & cb.base);
    CHECK(dest->lpVtbl->Open(dest TX_CEDX_ONLY));
    CHECK(dest->lpVtbl->Write(dest, TX_CEDX 4, "\0\0\0\0"));
    CHECK(dest->lpVtbl->Close(dest TX_CEDX_ONLY));
    /* The caller's ConfirmOverwrite answers through a one-byte boolean too. */
    CHECK(!dest->lpVtbl->Open(dest TX_CEDX_ONLY));
    CHECK_EQ(1, cb.questions);
    dest->lpVtbl->SetErrorLog(dest, TX_CEDX NULL);
    CHECK(!dest->lpVtbl->GetMetadata(dest, TX_CEDX & md));
    CHECK_EQ(0, dest->lpVtbl->Release(dest));
    CHECK_EQ(0, source->lpVtbl->Release(source));
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
