// The registry defaults of a format's destination, without creating a destination.
#include "MP3Settings.h"
#include "Trelvox.h"
#include "WAVSettings.h"

extern "C" HRESULT __cdecl ConvDefOutputSettings(HWND parent, const FormatRecord* row) {
    if (!row)
        return E_INVALIDARG;
    const GUID* dest = row->destClsid;
    if (!dest)
        return S_FALSE;
    try {
        if (IsEqualGUID(*dest, CLSID_WavConvDest)) {
            CWAVSettings settings;
            return settings.RunAsDefaults(parent);
        }
        if (IsEqualGUID(*dest, CLSID_MP3ConvDest)) {
            CMP3Settings settings;
            return settings.RunAsDefaults(parent);
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    // The Windows Media dialog comes with its destination.
    if (IsEqualGUID(*dest, CLSID_WMAConvDest))
        return E_NOTIMPL;
    // Ogg Vorbis keeps no defaults; the other formats have no settings.
    return S_FALSE;
}

extern "C" HRESULT __cdecl ConvDefOutputSettingsString(char* text, int size, const FormatRecord* row) {
    if (!text || size <= 0 || !row)
        return E_INVALIDARG;
    const GUID* dest = row->destClsid;
    if (!dest)
        return E_FAIL;
    try {
        if (IsEqualGUID(*dest, CLSID_WavConvDest)) {
            WAVSETTINGS settings;
            settings.Load();
            return settings.GetText(text, size) ? S_OK : E_FAIL;
        }
        if (IsEqualGUID(*dest, CLSID_MP3ConvDest)) {
            MP3SETTINGS settings;
            settings.Load();
            return settings.GetText(text, size) ? S_OK : E_FAIL;
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    // The Windows Media record has defaults too, but its destination is not part of this
    // build yet.
    if (IsEqualGUID(*dest, CLSID_WMAConvDest))
        return E_NOTIMPL;
    return E_FAIL;
}
