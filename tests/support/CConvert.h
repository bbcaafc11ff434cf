/* The conversion interfaces as a plain-C caller uses them, from the public headers: typedefs for
 * the exports it binds by name, and an IConvertCallback implemented in C that records what the
 * library tells it. Shared by the C ABI tests. */
#pragma once

#include <Trelvox.h>

#include <stdio.h>
#include <string.h>

#include "CAbiCheck.h"

typedef HRESULT(__cdecl* FormatAtFn)(FormatRecord*, uint32_t);
typedef HRESULT(__cdecl* FormatByNameFn)(FormatRecord*, const char*);
typedef HRESULT(__cdecl* FormatOfFn)(FormatRecord*, const char*);
typedef HRESULT(__cdecl* CreateSourceFn)(const FormatRecord*, IConvertSource**);
typedef HRESULT(__cdecl* CreateDestFn)(const FormatRecord*, IConvertDestination**);

/* The callback object: the library's view first, what it was told after. */
typedef struct Callback {
    IConvertCallback base;
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
} Callback;

/* Every slot takes all its arguments even where it ignores them: a thiscall callee pops them,
 * and a wrong count unbalances the caller's stack. */
static bool TX_CMETHOD CbConfirmOverwrite(TX_CTHIS_(IConvertCallback) const char* path) {
    Callback* self = (Callback*)This;
    (void)path;
    ++self->questions;
    return self->answer;
}
static void TX_CMETHOD CbReportMessage(TX_CTHIS_(IConvertCallback) const char* text) {
    (void)This;
    (void)text;
}
static void TX_CMETHOD CbReportError(TX_CTHIS_(IConvertCallback) const char* text, const char* kind) {
    Callback* self = (Callback*)This;
    ++self->errors;
    snprintf(self->lastError, sizeof(self->lastError), "%s", text);
    snprintf(self->lastKind, sizeof(self->lastKind), "%s", kind);
}
static void TX_CMETHOD CbSetProgressRange(TX_CTHIS_(IConvertCallback) uint32_t total) {
    Callback* self = (Callback*)This;
    self->progressRange = total;
}
static void TX_CMETHOD CbSetProgressPos(TX_CTHIS_(IConvertCallback) uint32_t pos) {
    Callback* self = (Callback*)This;
    self->progressPos = pos;
}
static void TX_CMETHOD CbStepProgress(TX_CTHIS_(IConvertCallback) uint32_t bytes) {
    Callback* self = (Callback*)This;
    self->progressStepped += bytes;
}
static void TX_CMETHOD CbSetStatusText(TX_CTHIS_(IConvertCallback) const char* text) {
    Callback* self = (Callback*)This;
    snprintf(self->status, sizeof(self->status), "%s", text);
}
static int32_t TX_CMETHOD CbIsCancelled(TX_CTHIS(IConvertCallback)) {
    Callback* self = (Callback*)This;
    ++self->cancelQueries;
    return 0;
}
static void TX_CMETHOD CbSetItemText(TX_CTHIS_(IConvertCallback) const char* text, int32_t flag) {
    Callback* self = (Callback*)This;
    snprintf(self->item, sizeof(self->item), "%s", text);
    self->itemFlag = flag;
}

static inline void CallbackInit(Callback* cb) {
    static const IConvertCallbackVtbl vtbl = {CbConfirmOverwrite, CbReportMessage,  CbReportError,
                                              CbSetProgressRange, CbSetProgressPos, CbStepProgress,
                                              CbSetStatusText,    CbIsCancelled,    CbSetItemText};
    memset(cb, 0, sizeof(*cb));
    cb->base.lpVtbl = &vtbl;
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
