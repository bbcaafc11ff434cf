/* Drives the library's objects the way an MSVC-built front end does: through vtables declared
 * slot by slot, with explicit calling conventions, and with no C++ at all. */
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "CAbiCheck.h"

/* The format record, 552 bytes. */
typedef struct {
    char extensions[260];
    char description[260];
    uint32_t descriptionId;
    uint32_t flags;
    char name[16];
    const GUID* sourceClsid;
    const GUID* destClsid;
} FormatRecord;
_Static_assert(offsetof(FormatRecord, descriptionId) == 520, "descriptionId offset");
_Static_assert(offsetof(FormatRecord, flags) == 524, "flags offset");
_Static_assert(offsetof(FormatRecord, name) == 528, "name offset");
_Static_assert(offsetof(FormatRecord, sourceClsid) == 544, "sourceClsid offset");
#if defined(__i386__)
_Static_assert(sizeof(FormatRecord) == 552, "FormatRecord size");
_Static_assert(offsetof(FormatRecord, destClsid) == 548, "destClsid offset");
#endif
_Static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX size");

typedef struct Object Object;

/* IConvertSource, 18 slots. */
typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    bool(THISCALL* SetFileName)(Object*, const char*);
    bool(THISCALL* GetFileName)(Object*, char*, int);
    int32_t(THISCALL* GetFormatIndex)(Object*);
    int32_t(THISCALL* SetFormatIndex)(Object*, int32_t);
    bool(THISCALL* GetClassID)(Object*, GUID*);
    bool(THISCALL* GetFileTitle)(Object*, char*, uint32_t);
    bool(THISCALL* GetFileDir)(Object*, char*, uint32_t);
    bool(THISCALL* Open)(Object*);
    bool(THISCALL* SetStartTime)(Object*, int32_t);
    bool(THISCALL* Play)(Object*, void*);
    bool(THISCALL* Close)(Object*);
    bool(THISCALL* GetMetadata)(Object*, void**);
    bool(THISCALL* GetLength)(Object*, uint32_t*, int32_t, int32_t);
    bool(THISCALL* GetFormat)(Object*, WAVEFORMATEX*);
    void(THISCALL* SetErrorLog)(Object*, void*);
} SourceVtbl;
_Static_assert(sizeof(SourceVtbl) == 18 * sizeof(void*), "IConvertSource has 18 slots");

/* IConvertDestination, 19 slots. */
typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    int32_t(THISCALL* GetFormatIndex)(Object*);
    int32_t(THISCALL* SetFormatIndex)(Object*, int32_t);
    bool(THISCALL* GetClassID)(Object*, GUID*);
    bool(THISCALL* SetFileName)(Object*, const char*);
    bool(THISCALL* GetFileName)(Object*, char*, int);
    bool(THISCALL* Open)(Object*);
    bool(THISCALL* Write)(Object*, uint32_t, const void*);
    bool(THISCALL* Close)(Object*);
    bool(THISCALL* GetMetadata)(Object*, void**);
    bool(THISCALL* SetSource)(Object*, Object*);
    bool(THISCALL* EstimateSize)(Object*, uint32_t, const WAVEFORMATEX*, uint32_t*);
    bool(THISCALL* SetFormat)(Object*, const WAVEFORMATEX*);
    bool(THISCALL* ShowSettingsDialog)(Object*, HWND, Object**);
    bool(THISCALL* GetSettingsText)(Object*, char*, int);
    bool(THISCALL* SetOption)(Object*, const char*, const char*, char*);
    void(THISCALL* SetErrorLog)(Object*, void*);
} DestVtbl;
_Static_assert(sizeof(DestVtbl) == 19 * sizeof(void*), "IConvertDestination has 19 slots");

struct Object {
    const void* vtbl;
};
#define SRC(o) ((const SourceVtbl*)(o)->vtbl)
#define DST(o) ((const DestVtbl*)(o)->vtbl)

/* IConvertCallback, nine slots, implemented here the way a C caller would. */
typedef struct Callback Callback;
typedef struct {
    bool(THISCALL* ConfirmOverwrite)(Callback*, const char*);
    void(THISCALL* ReportMessage)(Callback*, const char*);
    void(THISCALL* ReportError)(Callback*, const char*, const char*);
    void(THISCALL* SetProgressRange)(Callback*, uint32_t);
    void(THISCALL* SetProgressPos)(Callback*, uint32_t);
    void(THISCALL* StepProgress)(Callback*, uint32_t);
    void(THISCALL* SetStatusText)(Callback*, const char*);
    int32_t(THISCALL* IsCancelled)(Callback*);
    void(THISCALL* SetItemText)(Callback*, const char*, int32_t);
} CallbackVtbl;

struct Callback {
    const CallbackVtbl* vtbl;
    char lastError[1024];
    char lastKind[4];
    int questions;
    bool answer;
};

/* Only the error report and the overwrite question matter here; the rest ignore their
 * arguments but must still take them, or a thiscall callee pops the wrong byte count. */
#pragma GCC diagnostic ignored "-Wunused-parameter"
static bool THISCALL CbConfirmOverwrite(Callback* self, const char* path) {
    ++self->questions;
    return self->answer;
}
static void THISCALL CbReportError(Callback* self, const char* text, const char* kind) {
    snprintf(self->lastError, sizeof(self->lastError), "%s", text);
    snprintf(self->lastKind, sizeof(self->lastKind), "%s", kind);
}
static void THISCALL CbReportMessage(Callback* self, const char* text) {}
static void THISCALL CbSetProgressRange(Callback* self, uint32_t total) {}
static void THISCALL CbSetProgressPos(Callback* self, uint32_t pos) {}
static void THISCALL CbStepProgress(Callback* self, uint32_t bytes) {}
static void THISCALL CbSetStatusText(Callback* self, const char* text) {}
static int32_t THISCALL CbIsCancelled(Callback* self) {
    return 0;
}
static void THISCALL CbSetItemText(Callback* self, const char* text, int32_t flag) {}
static const CallbackVtbl g_callbackVtbl = {CbConfirmOverwrite, CbReportMessage,  CbReportError,
                                            CbSetProgressRange, CbSetProgressPos, CbStepProgress,
                                            CbSetStatusText,    CbIsCancelled,    CbSetItemText};

typedef uint32_t(__cdecl* PosFn)(const FormatRecord*);
typedef HRESULT(__cdecl* AtFn)(FormatRecord*, uint32_t);
typedef HRESULT(__cdecl* CreateFn)(const FormatRecord*, Object**);
typedef bool(__cdecl* GetIntFn)(const char*, const char*, int*);
typedef bool(__cdecl* GetStringFn)(const char*, const char*, char*);
typedef bool(__cdecl* PutIntFn)(const char*, const char*, int);
typedef int32_t(__cdecl* InitFn)(const char*);

static const GUID kIID_IConvertSource = {
    0xD171DBC1, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_WavConvSource = {
    0xD171DBC6, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
static const GUID kCLSID_WavConvDest = {
    0xD171DBC3, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};

static HMODULE g_dll;
typedef void (*AnyFn)(void);
static AnyFn Export(const char* name) {
    FARPROC fn = GetProcAddress(g_dll, name);
    if (!fn) {
        printf("export %s is missing\n", name);
        ++g_failures;
    }
    return (AnyFn)fn;
}

/* Plain cdecl exports: the record's layout as a C caller reads it, and the settings readers
 * under their decorated names with one-byte boolean results. */
static void TestTableAndSettings(void) {
    AtFn at = (AtFn)Export("ConvGetFormatAt");
    PosFn pos = (PosFn)Export("ConvGetFormatPos");
    GetIntFn getInt = (GetIntFn)Export("?GetProfileIntA@@YA_NPBD0PAH@Z");
    GetStringFn getString = (GetStringFn)Export("?GetProfileStringA@@YA_NPBD0PAD@Z");
    PutIntFn putInt = (PutIntFn)Export("PutProfileInt");
    InitFn init = (InitFn)Export("InitTX");
    if (g_failures)
        return;
    CHECK_EQ(0, init(NULL));
    FormatRecord rec;
    memset(&rec, 0, sizeof(rec));
    CHECK_EQ(S_OK, at(&rec, 8));
    CHECK_STR("Ogg Vorbis", rec.name);
    CHECK_STR("Vorbis OGG Files (.ogg)", rec.description);
    CHECK_EQ(8, pos(&rec));

    CHECK(putInt("TxConformance", "Value", 1234));
    int value = -1;
    CHECK(getInt("TxConformance", "Value", &value));
    CHECK_EQ(1234, value);
    char text[1024] = "kept";
    CHECK(!getString("TxConformance", "Missing", text));
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

static void TestObjects(const char* tempDir) {
    AtFn at = (AtFn)Export("ConvGetFormatAt");
    CreateFn createSource = (CreateFn)Export("ConvCreateSource");
    CreateFn createDest = (CreateFn)Export("ConvCreateDest");
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
    memset(&cb, 0, sizeof(cb));
    cb.vtbl = &g_callbackVtbl;

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
    g_dll = LoadLibraryA("Trelvox.dll");
    if (!g_dll) {
        printf("Trelvox.dll cannot be loaded (error %lu)\n", GetLastError());
        return 1;
    }
    TestTableAndSettings();
    TestNormalizer();

    char temp[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(dir, sizeof(dir), "%stxconformance-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(dir, NULL);
    TestObjects(dir);
    RemoveDirectoryA(dir);
    FreeLibrary(g_dll);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
