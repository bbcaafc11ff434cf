// The exported entry points of the tag model.
#include "FLACMetadata.h"
#include "HResultGuard.h"
#include "MP3Metadata.h"
#include "MetadataFrameFactory.h"
#include "MetadataTag.h"
#include "WMAMetadata.h"

#include <new>
#include <string.h>

namespace {

constexpr char kFormats[] = ".mp3|.mp2|.mp1|.mpg|.mpeg|.wma|.wmv|.asx|.asf|.aac|.flac|";
static_assert(sizeof kFormats - 1 == 57, "the format list's length is part of the interface");

enum class Container { None, MP3, FLAC, WMA };

// The text from the last '.' of the last path component, or empty.
std::string Extension(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    const char* dot = strrchr(name, '.');
    return dot ? std::string(dot) : std::string();
}

Container ContainerFor(const char* path) {
    std::string ext = Extension(path);
    for (const char* candidate : {".mp3", ".mp2", ".mp1", ".mpg", ".mpeg", ".aac"}) {
        if (lstrcmpiA(ext.c_str(), candidate) == 0)
            return Container::MP3;
    }
    if (lstrcmpiA(ext.c_str(), ".flac") == 0)
        return Container::FLAC;
    for (const char* candidate : {".wma", ".wmv", ".asx", ".asf"}) {
        if (lstrcmpiA(ext.c_str(), candidate) == 0)
            return Container::WMA;
    }
    return Container::None;
}

} // namespace

extern "C" {

int __cdecl MetadataGetFormats(char* buf) {
    if (!buf)
        return 0;
    memcpy(buf, kFormats, sizeof kFormats);
    for (char* p = buf; *p; ++p) {
        if (*p == '|')
            *p = '\0';
    }
    return static_cast<int>(sizeof kFormats - 1);
}

HRESULT __cdecl MetadataCreateFromFile(const char* path, IMetadata** md) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!path || !md)
            return E_INVALIDARG;
        switch (ContainerFor(path)) {
        case Container::MP3:
            *md = new CMP3Metadata(path);
            return S_OK;
        case Container::FLAC:
            *md = new CFLACMetadata(path);
            return S_OK;
        case Container::WMA:
            *md = new CWMAMetadata(path);
            return S_OK;
        case Container::None:
            break;
        }
        return E_INVALIDARG;
    });
}

HRESULT __cdecl MetadataCreateMP3(const char* path, IMetadata** md) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!path || !md)
            return E_INVALIDARG;
        *md = new CMP3Metadata(path);
        return S_OK;
    });
}

HRESULT __cdecl MetadataCreateTag(IMetadataTag** tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!tag)
            return E_INVALIDARG;
        *tag = new CMetadataTag();
        return S_OK;
    });
}

HRESULT __cdecl MetadataCreateFrame(int frameId, REFIID iid, void** frame) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!frame)
            return E_INVALIDARG;
        *frame = nullptr;
        ID3_Frame* created = new ID3_Frame();
        HRESULT hr = trelvox::CreateFrameObject(frameId, created, true, iid, frame);
        // On failure the creation has already deleted the frame it was given.
        if (SUCCEEDED(hr))
            created->SetID(static_cast<ID3_FrameID>(frameId));
        return hr;
    });
}

int __cdecl AutoTag() {
    return 0;
}

} // extern "C"
