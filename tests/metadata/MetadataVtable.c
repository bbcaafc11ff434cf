/* Drives tags and frames the way an MSVC-built front end does: through the public headers' C
 * declarations (vtable records, explicit calling conventions), and no C++. A wrong slot order
 * or calling convention in the library's interfaces shows up here as a wrong result or a crash. */
#include <TrelvoxMetadata.h>

#include <stdio.h>
#include <wchar.h>

#include "CAbiCheck.h"

int main(void) {
    IMetadataTag* tag = NULL;
    IMetadataFrameComment* comment = NULL;
    IMetadataFrameComment* view = NULL;
    wchar_t buf[64];
    GUID kind;

    CHECK(MetadataCreateTag(&tag) == S_OK && tag);
    CHECK(MetadataCreateFrame(4, &IID_IMetadataFrameComment, (void**)&comment) == S_OK && comment);
    if (!tag || !comment)
        return 1;
    CHECK(tag->lpVtbl->Reserved(tag, TX_CEDX NULL, NULL, NULL) == E_NOTIMPL);
    CHECK(!comment->lpVtbl->IsReadOnly(comment TX_CEDX_ONLY));
    CHECK(comment->lpVtbl->GetFrameID(comment TX_CEDX_ONLY) == 4);
    CHECK(comment->lpVtbl->GetName(comment TX_CEDX_ONLY) != NULL);
    comment->lpVtbl->GetKind(comment, TX_CEDX & kind);
    CHECK(IsEqualGUID(&kind, &IID_IMetadataFrameComment));
    comment->lpVtbl->SetDefaults(comment TX_CEDX_ONLY);
    comment->lpVtbl->SetText(comment, TX_CEDX L"text");
    comment->lpVtbl->SetDescription(comment, TX_CEDX L"desc");
    comment->lpVtbl->GetLanguage(comment, TX_CEDX buf, 64);
    CHECK(wcscmp(buf, L"enu") == 0);
    comment->lpVtbl->GetDisplayText(comment, TX_CEDX buf, 64);
    CHECK(wcscmp(buf, L"text (desc)") == 0);
    comment->lpVtbl->AttachTo(comment, TX_CEDX tag);
    CHECK(tag->lpVtbl->GetFrameCount(tag TX_CEDX_ONLY) == 1);

    CHECK(tag->lpVtbl->GetFrame(tag, TX_CEDX 4, &IID_IMetadataFrameComment, (void**)&view) == S_OK && view);
    if (view) {
        CHECK(view->lpVtbl->IsEqual(view, TX_CEDX(IMetadataFrame*) comment));
        view->lpVtbl->GetDescription(view, TX_CEDX buf, 64);
        CHECK(wcscmp(buf, L"desc") == 0);
        view->lpVtbl->GetText(view, TX_CEDX buf, 64);
        CHECK(wcscmp(buf, L"text") == 0);
        view->lpVtbl->Release(view);
    }
    comment->lpVtbl->Release(comment);
    CHECK(tag->lpVtbl->RemoveFrames(tag, TX_CEDX 4) == S_OK);
    CHECK(tag->lpVtbl->GetFrameCount(tag TX_CEDX_ONLY) == 0);
    CHECK(tag->lpVtbl->Release(tag) == 0);
    printf("%d failures\n", g_failures);
    return g_failures ? 1 : 0;
}
