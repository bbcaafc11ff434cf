/* The conversion interfaces as a plain-C caller built with MSVC declares them: the format
 * record, the source and destination vtables slot by slot, and an IConvertCallback implemented
 * in C that records what the library tells it. Shared by the C ABI tests. */
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "CAbiCheck.h"

/* The format record, 552 bytes on 32-bit Windows. */
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
struct Object {
    const void* vtbl;
};

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

#define SRC(o) ((const SourceVtbl*)(o)->vtbl)
#define DST(o) ((const DestVtbl*)(o)->vtbl)

typedef HRESULT(__cdecl* FormatAtFn)(FormatRecord*, uint32_t);
typedef HRESULT(__cdecl* FormatByNameFn)(FormatRecord*, const char*);
typedef HRESULT(__cdecl* FormatOfFn)(FormatRecord*, const char*);
typedef HRESULT(__cdecl* CreateObjectFn)(const FormatRecord*, Object**);

/* IConvertCallback, nine slots. */
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
    bool answer; /* to ConfirmOverwrite */
    int questions;
    int errors;
    char lastError[1024];
    char lastKind[4];
    char status[256];
    char item[MAX_PATH];
    int32_t itemFlag;
    uint32_t progressRange;
    uint32_t progressPos;
    uint64_t progressStepped;
    int cancelQueries;
};

/* Every slot takes all its arguments even where it ignores them: a thiscall callee pops them,
 * and a wrong count unbalances the caller's stack. */
static bool THISCALL CbConfirmOverwrite(Callback* self, const char* path) {
    (void)path;
    ++self->questions;
    return self->answer;
}
static void THISCALL CbReportMessage(Callback* self, const char* text) {
    (void)self;
    (void)text;
}
static void THISCALL CbReportError(Callback* self, const char* text, const char* kind) {
    ++self->errors;
    snprintf(self->lastError, sizeof(self->lastError), "%s", text);
    snprintf(self->lastKind, sizeof(self->lastKind), "%s", kind);
}
static void THISCALL CbSetProgressRange(Callback* self, uint32_t total) {
    self->progressRange = total;
}
static void THISCALL CbSetProgressPos(Callback* self, uint32_t pos) {
    self->progressPos = pos;
}
static void THISCALL CbStepProgress(Callback* self, uint32_t bytes) {
    self->progressStepped += bytes;
}
static void THISCALL CbSetStatusText(Callback* self, const char* text) {
    snprintf(self->status, sizeof(self->status), "%s", text);
}
static int32_t THISCALL CbIsCancelled(Callback* self) {
    ++self->cancelQueries;
    return 0;
}
static void THISCALL CbSetItemText(Callback* self, const char* text, int32_t flag) {
    snprintf(self->item, sizeof(self->item), "%s", text);
    self->itemFlag = flag;
}

static inline void CallbackInit(Callback* cb) {
    static const CallbackVtbl vtbl = {CbConfirmOverwrite, CbReportMessage,  CbReportError,
                                      CbSetProgressRange, CbSetProgressPos, CbStepProgress,
                                      CbSetStatusText,    CbIsCancelled,    CbSetItemText};
    memset(cb, 0, sizeof(*cb));
    cb->vtbl = &vtbl;
}

/* An export of dll by name, or null with a failed check. */
typedef void (*AnyFn)(void);
static inline AnyFn ExportOf(HMODULE dll, const char* name) {
    FARPROC fn = dll ? GetProcAddress(dll, name) : NULL;
    ++g_checks;
    if (!fn) {
        printf("export %s is missing\n", name);
        ++g_failures;
    }
    return (AnyFn)(void*)fn;
}

/* Loads Trelvox.dll and starts it as a front end does; null, with the reason printed, when it
 * cannot be loaded. */
static inline HMODULE LoadTrelvox(void) {
    HMODULE dll = LoadLibraryA("Trelvox.dll");
    if (!dll) {
        printf("Trelvox.dll cannot be loaded (error %lu)\n", GetLastError());
        return NULL;
    }
    typedef int32_t(__cdecl * InitFn)(const char*);
    InitFn init = (InitFn)ExportOf(dll, "InitTX");
    if (init)
        CHECK_EQ(0, init(NULL));
    return dll;
}

/* Writes the 44-byte header of a PCM Wave file holding dataBytes of audio in format wfx. */
static inline bool WriteWaveHeader(FILE* file, const WAVEFORMATEX* wfx, uint32_t dataBytes) {
    const uint32_t riff = 36 + dataBytes;
    const uint32_t fmtSize = 16;
    return fwrite("RIFF", 1, 4, file) == 4 && fwrite(&riff, 4, 1, file) == 1 &&
           fwrite("WAVEfmt ", 1, 8, file) == 8 && fwrite(&fmtSize, 4, 1, file) == 1 &&
           fwrite(wfx, 16, 1, file) == 1 && fwrite("data", 1, 4, file) == 4 &&
           fwrite(&dataBytes, 4, 1, file) == 1;
}
