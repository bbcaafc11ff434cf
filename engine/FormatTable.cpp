#include "FormatTable.h"

#include "ClassFactory.h"
#include "PathText.h"
#include "Trelvox.h"

#include <new>
#include <string.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

FormatRecord MakeRow(const char* extensions, size_t extensionsSize, uint32_t descriptionId, const char* name,
                     const GUID* source, const GUID* dest) {
    FormatRecord row = {};
    memcpy(row.extensions, extensions, extensionsSize);
    row.descriptionId = descriptionId;
    strcpy(row.name, name);
    row.sourceClsid = source;
    row.destClsid = dest;
    return row;
}

#define TX_EXTENSIONS(list) list "\0", sizeof(list "\0")

// The order is the index callers keep. Only the description of a row is ever written, always
// with the same bytes, so concurrent fetches are harmless.
FormatRecord g_formats[trelvox::kFormatCount] = {
    MakeRow(TX_EXTENSIONS(".mp3"), 8, "MP3", &CLSID_WMAConvSource, &CLSID_MP3ConvDest),
    MakeRow(TX_EXTENSIONS(".mp1\0.mp2\0.mpg\0.mpeg"), 9, "MPEG", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".avi"), 32, "AVI", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".au\0.snd"), 33, "AUdio", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".wav"), 11, "Wave", &CLSID_WavConvSource, &CLSID_WavConvDest),
    MakeRow(TX_EXTENSIONS(".wma\0.wmv\0.asf\0.asx"), 12, "Windows Media", &CLSID_WMAConvSource,
            &CLSID_WMAConvDest),
    MakeRow(TX_EXTENSIONS(".aif\0.aiff\0.iff"), 13, "AIFF", &CLSID_DirectShowConvSource, &CLSID_AIFFConvDest),
    MakeRow(TX_EXTENSIONS(".cda"), 15, "Track", &CLSID_AudioCDTrack, nullptr),
    MakeRow(TX_EXTENSIONS(".ogg"), 28, "Ogg Vorbis", &CLSID_DirectShowConvSource, &CLSID_OggConvDest),
    MakeRow(TX_EXTENSIONS(".qcp"), 16, "PureVoice QCP", &CLSID_QCPConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".aac"), 29, "AAC", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".mid\0.midi\0.rmi"), 30, "MIDI", &CLSID_MIDIConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".mp4\0.m4p\0.m4a"), 31, "MP4", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".mpc"), 17, "MPC", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".ac3"), 34, "AC3", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".flac"), 35, "FLAC", &CLSID_DirectShowConvSource, nullptr),
    MakeRow(TX_EXTENSIONS(".ra\0.rm\0.ram\0.rmvb\0.rmj"), 38, "RealAudio", &CLSID_DirectShowConvSource,
            nullptr),
    MakeRow(TX_EXTENSIONS(".ape"), 36, "Monkey's APE", &CLSID_DirectShowConvSource, nullptr),
};

#undef TX_EXTENSIONS

// The extension of path's file-name part with its dot, or "" when it has none.
const char* ExtensionOf(const char* path) {
    const char* name = trelvox::FileNamePart(path);
    const char* dot = strrchr(name, '.');
    return dot ? dot : "";
}

template <class Interface, class Entry, size_t N>
HRESULT CreateObject(const GUID* clsid, const Entry (&classes)[N], const FormatRecord* rec, Interface** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!clsid)
        return E_NOTIMPL;
    for (const Entry& entry : classes) {
        if (!IsEqualGUID(*clsid, *entry.clsid))
            continue;
        if (!entry.create)
            return E_NOTIMPL;
        Interface* object = nullptr;
        try {
            object = entry.create();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        if (!object)
            return E_OUTOFMEMORY;
        // The factory's reference is the caller's; the index follows the record's name.
        object->SetFormatIndex(static_cast<int32_t>(ConvGetFormatPos(rec)));
        *out = object;
        return S_OK;
    }
    return E_NOTIMPL;
}

} // namespace

namespace trelvox {

void FetchFormat(FormatRecord* out, uint32_t index) {
    FormatRecord& row = g_formats[index];
    char text[MAX_PATH];
    int length =
        LoadStringA(reinterpret_cast<HINSTANCE>(&__ImageBase), row.descriptionId, text, sizeof(text));
    if (length > 0)
        memcpy(row.description, text, static_cast<size_t>(length) + 1);
    memcpy(out, &row, sizeof(FormatRecord));
}

int32_t FindFormatByName(const char* name) {
    for (uint32_t i = 0; i < kFormatCount; ++i) {
        if (lstrcmpiA(g_formats[i].name, name) == 0)
            return static_cast<int32_t>(i);
        if (lstrcmpiA(g_formats[i].name, "Windows Media") == 0 && lstrcmpiA(name, "wma") == 0)
            return static_cast<int32_t>(i);
    }
    return -1;
}

} // namespace trelvox

extern "C" {

int32_t __cdecl ConvGetFormatCount() {
    return trelvox::kFormatCount;
}

uint32_t __cdecl ConvGetFormatPos(const FormatRecord* rec) {
    if (!rec)
        return 0xFFFFFFFF;
    char name[sizeof(rec->name) + 1] = {};
    memcpy(name, rec->name, sizeof(rec->name));
    for (uint32_t i = 0; i < trelvox::kFormatCount; ++i) {
        if (lstrcmpiA(g_formats[i].name, name) == 0)
            return i;
    }
    return 0xFFFFFFFF;
}

HRESULT __cdecl ConvGetFormatAt(FormatRecord* out, uint32_t index) {
    if (!out || index >= trelvox::kFormatCount)
        return E_INVALIDARG;
    trelvox::FetchFormat(out, index);
    return S_OK;
}

HRESULT __cdecl ConvGetFormatOf(FormatRecord* out, const char* path) {
    if (!out)
        return E_INVALIDARG;
    if (!path)
        return E_FAIL;
    const char* extension = ExtensionOf(path);
    if (!*extension)
        return E_FAIL;
    for (uint32_t i = 0; i < trelvox::kFormatCount; ++i) {
        for (const char* candidate = g_formats[i].extensions; *candidate;
             candidate += strlen(candidate) + 1) {
            if (lstrcmpiA(candidate, extension) == 0) {
                trelvox::FetchFormat(out, i);
                return S_OK;
            }
        }
    }
    return E_FAIL;
}

HRESULT __cdecl ConvGetFormatByName(FormatRecord* out, const char* name) {
    if (!out)
        return E_INVALIDARG;
    int32_t index = name ? trelvox::FindFormatByName(name) : -1;
    if (index < 0)
        return E_FAIL;
    trelvox::FetchFormat(out, static_cast<uint32_t>(index));
    return S_OK;
}

HRESULT __cdecl ConvCreateSource(const FormatRecord* rec, IConvertSource** out) {
    return CreateObject(rec ? rec->sourceClsid : nullptr, trelvox::kSourceClasses, rec, out);
}

HRESULT __cdecl ConvCreateDest(const FormatRecord* rec, IConvertDestination** out) {
    return CreateObject(rec ? rec->destClsid : nullptr, trelvox::kDestinationClasses, rec, out);
}

} // extern "C"
