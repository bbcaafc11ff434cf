// The registry defaults of a format's destination, without creating a destination.
#include "MP3Settings.h"
#include "Trelvox.h"
#include "WAVSettings.h"
#include "WMAProfile.h"
#include "WMASettingsDlg.h"

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
        if (IsEqualGUID(*dest, CLSID_WMAConvDest)) {
            CWMASettingsDlg settings;
            return settings.RunAsDefaults(parent);
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
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
        if (IsEqualGUID(*dest, CLSID_WMAConvDest)) {
            WMASETTINGS settings;
            settings.Load();
            // Without the runtime there is no description, and the text stays empty.
            trelvox::WmaFormatDescription(settings, text, size);
            return S_OK;
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return E_FAIL;
}
