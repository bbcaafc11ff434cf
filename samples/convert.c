/* The shortest complete use of Trelvox.dll from C: convert one file and show the progress.
 *
 *     convert INPUT OUTPUT
 *
 * The formats follow the file extensions (song.wav -> song.ogg, song.mp3, song.aif, ...). */
#include <stdio.h>

#include <Trelvox.h>

/* The callback object: the library's view (the vtable pointer) first, our own state after. */
typedef struct {
    IConvertCallback base;
    uint32_t total;
    uint32_t done;
    int shownPercent;
} Progress;

static bool TX_CMETHOD ConfirmOverwrite(TX_CTHIS_(IConvertCallback) const char* path) {
    (void)This;
    printf("replacing %s\n", path);
    return true;
}
static void TX_CMETHOD ReportMessage(TX_CTHIS_(IConvertCallback) const char* text) {
    (void)This;
    fputs(text, stdout);
}
static void TX_CMETHOD ReportError(TX_CTHIS_(IConvertCallback) const char* text, const char* kind) {
    (void)This;
    fprintf(stderr, "%s: %s", kind[0] == 'e' ? "error" : "info", text);
}
static void TX_CMETHOD SetProgressRange(TX_CTHIS_(IConvertCallback) uint32_t total) {
    Progress* self = (Progress*)This;
    self->total = total;
    self->done = 0;
    self->shownPercent = -1;
}
static void TX_CMETHOD SetProgressPos(TX_CTHIS_(IConvertCallback) uint32_t pos) {
    ((Progress*)This)->done = pos;
}
static void TX_CMETHOD StepProgress(TX_CTHIS_(IConvertCallback) uint32_t bytes) {
    Progress* self = (Progress*)This;
    self->done += bytes;
    const int percent = self->total ? (int)((uint64_t)self->done * 100 / self->total) : 0;
    if (percent / 10 != self->shownPercent / 10) { /* every tenth */
        printf("%3d%%\n", percent);
        self->shownPercent = percent;
    }
}
static void TX_CMETHOD SetStatusText(TX_CTHIS_(IConvertCallback) const char* text) {
    (void)This;
    printf("%s\n", text);
}
static int32_t TX_CMETHOD IsCancelled(TX_CTHIS(IConvertCallback)) {
    (void)This;
    return 0;
}
static void TX_CMETHOD SetItemText(TX_CTHIS_(IConvertCallback) const char* text, int32_t flag) {
    (void)This;
    if (flag)
        printf("%s\n", text);
}

static const IConvertCallbackVtbl kProgressVtbl = {ConfirmOverwrite, ReportMessage,  ReportError,
                                                   SetProgressRange, SetProgressPos, StepProgress,
                                                   SetStatusText,    IsCancelled,    SetItemText};

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s INPUT OUTPUT\n", argv[0]);
        return 2;
    }
    InitTX(NULL); /* once per process, before anything else */

    FormatRecord in, out;
    if (ConvGetFormatOf(&in, argv[1]) != S_OK || !in.sourceClsid) {
        fprintf(stderr, "%s: cannot read this format\n", argv[1]);
        return 1;
    }
    if (ConvGetFormatOf(&out, argv[2]) != S_OK || !out.destClsid) {
        fprintf(stderr, "%s: cannot write this format\n", argv[2]);
        return 1;
    }
    IConvertSource* source = NULL;
    IConvertDestination* dest = NULL;
    HRESULT hr = ConvCreateSource(&in, &source);
    if (hr == S_OK)
        hr = ConvCreateDest(&out, &dest);
    if (hr == S_OK && source->lpVtbl->SetFileName(source, TX_CEDX argv[1]) &&
        dest->lpVtbl->SetFileName(dest, TX_CEDX argv[2])) {
        /* The encoder keeps its registry settings; AudioConvert reports through progress. */
        Progress progress = {{&kProgressVtbl}, 0, 0, -1};
        hr = AudioConvert(source, dest, &progress.base, NULL, TX_NORMALIZE_OFF, -1, -1);
    } else if (hr == S_OK) {
        hr = E_INVALIDARG;
    }
    if (dest)
        dest->lpVtbl->Release(dest);
    if (source)
        source->lpVtbl->Release(source);
    printf("%s\n", hr == S_OK ? "done" : "failed");
    return hr == S_OK ? 0 : 1;
}
