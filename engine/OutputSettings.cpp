// The registry defaults of a format's destination, without creating a destination.
#include "MP3SettingsRecord.h"
#include "Trelvox.h"
#include "WaveSettingsRecord.h"

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
