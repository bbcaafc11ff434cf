/* Drives tags and frames the way an MSVC-built front end does: through vtables declared slot
 * by slot with explicit calling conventions, and no C++. A wrong slot order or calling
 * convention in the library's interfaces shows up here as a wrong result or a crash. */
#include <windows.h>

#include <stdbool.h>
#include <stdio.h>
#include <wchar.h>

#include "CAbiCheck.h"

typedef struct Tag Tag;
typedef struct Frame Frame;

typedef struct {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(Tag*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(Tag*);
    ULONG(STDMETHODCALLTYPE* Release)(Tag*);
    unsigned(THISCALL* GetFrameCount)(Tag*);
    HRESULT(THISCALL* Reserved)(Tag*, void*, void*, void*);
    HRESULT(THISCALL* GetFrame)(Tag*, int, REFIID, void**);
    HRESULT(THISCALL* RemoveFrames)(Tag*, int);
} TagVtbl;
struct Tag {
    const TagVtbl* v;
};

/* IMetadataFrame slots 0-11 followed by the comment kind's slots 12-18. */
typedef struct {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(Frame*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(Frame*);
    ULONG(STDMETHODCALLTYPE* Release)(Frame*);
    void(THISCALL* AttachTo)(Frame*, Tag*);
    bool(THISCALL* IsReadOnly)(Frame*);
    int(THISCALL* Edit)(Frame*, HWND);
    const char*(THISCALL* GetName)(Frame*);
    void(THISCALL* GetKind)(Frame*, GUID*);
    int(THISCALL* GetFrameID)(Frame*);
    void(THISCALL* GetDisplayText)(Frame*, wchar_t*, int);
    bool(THISCALL* IsEqual)(Frame*, Frame*);
    void(THISCALL* CopyFrom)(Frame*, Frame*);
    void(THISCALL* SetDescription)(Frame*, const wchar_t*);
    void(THISCALL* GetDescription)(Frame*, wchar_t*, int);
    void(THISCALL* SetLanguage)(Frame*, const wchar_t*);
    void(THISCALL* GetLanguage)(Frame*, wchar_t*, int);
    void(THISCALL* SetText)(Frame*, const wchar_t*);
    void(THISCALL* GetText)(Frame*, wchar_t*, int);
    void(THISCALL* SetDefaults)(Frame*);
} CommentVtbl;
struct Frame {
    const CommentVtbl* v;
};

__declspec(dllimport) HRESULT __cdecl MetadataCreateTag(Tag** tag);
__declspec(dllimport) HRESULT __cdecl MetadataCreateFrame(int frameId, REFIID iid, void** frame);

static const GUID kCommentKind = {
    0x07e70fcf, 0xa417, 0x48a9, {0xbd, 0xb4, 0x34, 0xda, 0x5f, 0x3f, 0x16, 0x08}};

int main(void) {
    Tag* tag = NULL;
    Frame* comment = NULL;
    Frame* view = NULL;
    wchar_t buf[64];
    GUID kind;

    CHECK(MetadataCreateTag(&tag) == S_OK && tag);
    CHECK(MetadataCreateFrame(4, &kCommentKind, (void**)&comment) == S_OK && comment);
    if (!tag || !comment)
        return 1;
    CHECK(tag->v->Reserved(tag, NULL, NULL, NULL) == E_NOTIMPL);
    CHECK(!comment->v->IsReadOnly(comment));
    CHECK(comment->v->GetFrameID(comment) == 4);
    CHECK(comment->v->GetName(comment) != NULL);
    comment->v->GetKind(comment, &kind);
    CHECK(IsEqualGUID(&kind, &kCommentKind));
    comment->v->SetDefaults(comment);
    comment->v->SetText(comment, L"text");
    comment->v->SetDescription(comment, L"desc");
    comment->v->GetLanguage(comment, buf, 64);
    CHECK(wcscmp(buf, L"enu") == 0);
    comment->v->GetDisplayText(comment, buf, 64);
    CHECK(wcscmp(buf, L"text (desc)") == 0);
    comment->v->AttachTo(comment, tag);
    CHECK(tag->v->GetFrameCount(tag) == 1);

    CHECK(tag->v->GetFrame(tag, 4, &kCommentKind, (void**)&view) == S_OK && view);
    if (view) {
        CHECK(view->v->IsEqual(view, comment));
        view->v->GetDescription(view, buf, 64);
        CHECK(wcscmp(buf, L"desc") == 0);
        view->v->GetText(view, buf, 64);
        CHECK(wcscmp(buf, L"text") == 0);
        view->v->Release(view);
    }
    comment->v->Release(comment);
    CHECK(tag->v->RemoveFrames(tag, 4) == S_OK);
    CHECK(tag->v->GetFrameCount(tag) == 0);
    CHECK(tag->v->Release(tag) == 0);
    printf("%d failures\n", g_failures);
    return g_failures ? 1 : 0;
}
