#include "ProfileManager.h"

#include "CodecList.h"
#include "ProfileText.h"

namespace wmruntime {

ProfileManager::ProfileManager() : m_enumeration(AudioCodecs().size()) {
    for (PropertyList& settings : m_enumeration) {
        settings.SetBool(wmsdk::kVbrEnabled, false);
        settings.SetDword(wmsdk::kNumPasses, 1);
    }
}

void* ProfileManager::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, __uuidof(IWMProfileManager)) || IsEqualIID(riid, __uuidof(IWMProfileManager2)))
        return static_cast<IWMProfileManager2*>(this);
    if (IsEqualIID(riid, __uuidof(IWMCodecInfo)) || IsEqualIID(riid, __uuidof(IWMCodecInfo2)) ||
        IsEqualIID(riid, __uuidof(IWMCodecInfo3)))
        return static_cast<IWMCodecInfo3*>(this);
    return nullptr;
}

HRESULT ProfileManager::CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) {
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    if (version != WMT_VER_4_0 && version != WMT_VER_7_0 && version != WMT_VER_8_0 && version != WMT_VER_9_0)
        return E_INVALIDARG;
    return Guard([&] {
        ProfileData data;
        data.version = version;
        *profile = new Profile(std::move(data));
        return S_OK;
    });
}

// There are no system profiles: every profile is built from the codec list or loaded.
HRESULT ProfileManager::LoadProfileByID(REFGUID, IWMProfile** profile) {
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    return NS_E_INVALIDPROFILE;
}

HRESULT ProfileManager::LoadProfileByData(const WCHAR* text, IWMProfile** profile) {
    if (!text || !profile)
        return E_POINTER;
    *profile = nullptr;
    return Guard([&] {
        ProfileData data;
        if (!ProfileFromText(U16(text), &data))
            return NS_E_INVALIDPROFILE;
        *profile = new Profile(std::move(data));
        return S_OK;
    });
}

HRESULT ProfileManager::SaveProfile(IWMProfile* profile, WCHAR* text, DWORD* length) {
    if (!profile || !length)
        return E_POINTER;
    return Guard([&] {
        ProfileData data;
        HRESULT hr = ReadProfile(profile, &data);
        return FAILED(hr) ? hr : CopyText(ProfileToText(data), text, length);
    });
}

HRESULT ProfileManager::GetSystemProfileCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ProfileManager::LoadSystemProfile(DWORD, IWMProfile** profile) {
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    return E_INVALIDARG;
}

HRESULT ProfileManager::GetSystemProfileVersion(WMT_VERSION* version) {
    if (!version)
        return E_POINTER;
    *version = m_systemVersion;
    return S_OK;
}

HRESULT ProfileManager::SetSystemProfileVersion(WMT_VERSION version) {
    m_systemVersion = version;
    return S_OK;
}

HRESULT ProfileManager::CheckCodec(REFGUID type, DWORD codec) const {
    if (!IsEqualGUID(type, wmsdk::kMediaTypeAudio) || codec >= AudioCodecs().size())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT ProfileManager::CheckFormat(REFGUID type, DWORD codec, DWORD format) const {
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    // The encoders have constant bit rates only: under VBR there is nothing to list.
    if (VbrEnabled(codec))
        return NS_E_VBRMODE_MISMATCH;
    return format < AudioFormats().size() ? S_OK : E_INVALIDARG;
}

bool ProfileManager::VbrEnabled(DWORD codec) const {
    return m_enumeration[codec].Number(wmsdk::kVbrEnabled, 0) != 0;
}

HRESULT ProfileManager::GetCodecInfoCount(REFGUID type, DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = IsEqualGUID(type, wmsdk::kMediaTypeAudio) ? static_cast<DWORD>(AudioCodecs().size()) : 0;
    return S_OK;
}

HRESULT ProfileManager::GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) {
    if (!count)
        return E_POINTER;
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    *count = VbrEnabled(codec) ? 0 : static_cast<DWORD>(AudioFormats().size());
    return S_OK;
}

HRESULT ProfileManager::GetCodecFormat(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config) {
    if (!config)
        return E_POINTER;
    *config = nullptr;
    HRESULT hr = CheckFormat(type, codec, format);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        const CodecFormat& chosen = AudioFormats()[format];
        StreamData data;
        data.type = wmsdk::kMediaTypeAudio;
        data.name = u"Audio Stream";
        data.bitrate = chosen.bitrate;
        data.bufferWindow = 3000;
        DWORD passes = m_enumeration[codec].Number(wmsdk::kNumPasses, 1);
        data.media = FormatMediaType(AudioCodecs()[codec], chosen, static_cast<WORD>(passes));
        data.properties.SetBool(wmsdk::kVbrEnabled, false);
        data.properties.SetDword(wmsdk::kNumPasses, passes);
        return NewStreamConfig(std::move(data), config);
    });
}

HRESULT ProfileManager::GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* length) {
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    return Guard([&] { return CopyText(AudioCodecs()[codec].name, name, length); });
}

HRESULT ProfileManager::GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config,
                                           WCHAR* description, DWORD* length) {
    if (config)
        *config = nullptr;
    HRESULT hr = CheckFormat(type, codec, format);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        HRESULT result = CopyText(FormatDescription(AudioFormats()[format]), description, length);
        if (SUCCEEDED(result) && config)
            result = GetCodecFormat(type, codec, format, config);
        return result;
    });
}

HRESULT ProfileManager::GetCodecFormatProp(REFGUID type, DWORD codec, DWORD format, const WCHAR* name,
                                           WMT_ATTR_DATATYPE*, BYTE*, DWORD*) {
    if (!name)
        return E_POINTER;
    HRESULT hr = CheckFormat(type, codec, format);
    return FAILED(hr) ? hr : NS_E_UNSUPPORTED_PROPERTY;
}

HRESULT ProfileManager::GetCodecProp(REFGUID type, DWORD codec, const WCHAR* name,
                                     WMT_ATTR_DATATYPE* valueType, BYTE* value, DWORD* size) {
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        PropertyList properties;
        properties.SetBool(wmsdk::kIsVbrSupported, false);
        return properties.Get(name, valueType, value, size);
    });
}

HRESULT ProfileManager::SetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                   WMT_ATTR_DATATYPE valueType, const BYTE* value,
                                                   DWORD size) {
    if (!name || !value)
        return E_POINTER;
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    std::u16string setting = U16(name);
    if (setting == U16(wmsdk::kVbrEnabled)) {
        if (valueType != WMT_TYPE_BOOL || size != sizeof(BOOL))
            return E_INVALIDARG;
    } else if (setting == U16(wmsdk::kNumPasses)) {
        DWORD passes = 0;
        if (valueType != WMT_TYPE_DWORD || size != sizeof(DWORD))
            return E_INVALIDARG;
        memcpy(&passes, value, sizeof passes);
        if (passes != 1 && passes != 2)
            return NS_E_INVALID_NUM_PASSES;
    } else {
        return NS_E_UNSUPPORTED_PROPERTY;
    }
    return Guard([&] {
        m_enumeration[codec].Set(setting, valueType, value, size);
        return S_OK;
    });
}

HRESULT ProfileManager::GetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                   WMT_ATTR_DATATYPE* valueType, BYTE* value, DWORD* size) {
    HRESULT hr = CheckCodec(type, codec);
    if (FAILED(hr))
        return hr;
    return Guard([&] { return m_enumeration[codec].Get(name, valueType, value, size); });
}

} // namespace wmruntime
