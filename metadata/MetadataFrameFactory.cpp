#include "MetadataFrameFactory.h"

#include "MetadataFrameComment.h"
#include "MetadataFramePicture.h"
#include "MetadataFrameText.h"
#include "MetadataFrameTextDef.h"
#include "MetadataFrameTextGenre.h"
#include "MetadataFrameTextLang.h"
#include "MetadataFrameURL.h"
#include "MetadataFrameUserText.h"
#include "MetadataFrameUserURL.h"

#include <new>

namespace trelvox {
namespace {

// The frame identifiers as plain numbers, which is how they cross the interfaces.
static_assert(ID3FID_PICTURE == 2 && ID3FID_COMMENT == 4 && ID3FID_ALBUM == 29 && ID3FID_TITLE == 47 &&
                  ID3FID_TRACKNUM == 68 && ID3FID_USERTEXT == 79 && ID3FID_YEAR == 80 && ID3FID_WWWUSER == 92,
              "id3lib's frame numbering");

template <class T> IMetadataFrame* Make(ID3_Frame* frame, bool owns) {
    return new T(frame, owns);
}

IMetadataFrame* MakeFor(int frameId, ID3_Frame* frame, bool owns) {
    switch (frameId) {
    case 29:
    case 30:
    case 31:
    case 36:
    case 42:
    case 43:
    case 46:
    case 47:
    case 48:
    case 55:
    case 56:
    case 57:
    case 58:
    case 59:
    case 60:
    case 61:
    case 62:
    case 63:
    case 64:
    case 67:
    case 69:
    case 70:
    case 71:
        return Make<CMetadataFrameTextDef>(frame, owns);
    case 34:
        return Make<CMetadataFrameTextDate>(frame, owns);
    case 45:
        return Make<CMetadataFrameTextTime>(frame, owns);
    case 80:
        return Make<CMetadataFrameTextNum>(frame, owns);
    case 33:
        return Make<CMetadataFrameTextCopyright>(frame, owns);
    case 65:
    case 68:
        return Make<CMetadataFrameTextPartNum>(frame, owns);
    case 32:
        return Make<CMetadataFrameTextGenre>(frame, owns);
    case 50:
        return Make<CMetadataFrameTextLang>(frame, owns);
    case 51:
        return Make<CMetadataFrameTextSongLen>(frame, owns);
    case 44:
    case 49:
    case 53:
    case 72:
    case 76:
    case 77:
        return Make<CMetadataFrameTextReadOnly>(frame, owns);
    case 79:
        return Make<CMetadataFrameUserText>(frame, owns);
    case 4:
        return Make<CMetadataFrameComment>(frame, owns);
    case 2:
        return Make<CMetadataFramePicture>(frame, owns);
    case 84:
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
    case 90:
    case 91:
        return Make<CMetadataFrameURL>(frame, owns);
    case 92:
        return Make<CMetadataFrameUserURL>(frame, owns);
    default:
        return nullptr;
    }
}

} // namespace

HRESULT CreateFrameObject(int frameId, ID3_Frame* frame, bool owns, REFIID iid, void** out) {
    if (!frame || !out)
        return E_INVALIDARG;
    IMetadataFrame* object = MakeFor(frameId, frame, owns);
    if (!object) {
        if (owns)
            delete frame;
        return E_INVALIDARG;
    }
    // Defaults are not set here: a new frame gets its identifier, and with it its fields,
    // only after this step, so there is nothing to set yet.
    // The object's own reference goes away here; the caller lives from the one that
    // QueryInterface hands out. A failed query therefore deletes the object and an owned frame.
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

} // namespace trelvox
