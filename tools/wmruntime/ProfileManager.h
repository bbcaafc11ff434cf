// The profile manager (IWMProfileManager) with the codec information it answers
// (IWMCodecInfo, IWMCodecInfo2, IWMCodecInfo3): what WMCreateProfileManager returns.
#pragma once

#include "Profile.h"

namespace wmruntime {

class ProfileManager : public ComObjectOf<IWMProfileManager2, IWMCodecInfo3> {
public:
    ProfileManager();

    // IWMProfileManager
    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override;
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID id, IWMProfile** profile) override;
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR* text, IWMProfile** profile) override;
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile* profile, WCHAR* text, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD index, IWMProfile** profile) override;
    // IWMProfileManager2
    HRESULT STDMETHODCALLTYPE GetSystemProfileVersion(WMT_VERSION* version) override;
    HRESULT STDMETHODCALLTYPE SetSystemProfileVersion(WMT_VERSION version) override;
    // IWMCodecInfo
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(REFGUID type, DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetCodecFormat(REFGUID type, DWORD codec, DWORD format,
                                             IWMStreamConfig** config) override;
    // IWMCodecInfo2
    HRESULT STDMETHODCALLTYPE GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format,
                                                 IWMStreamConfig** config, WCHAR* description,
                                                 DWORD* length) override;
    // IWMCodecInfo3
    HRESULT STDMETHODCALLTYPE GetCodecFormatProp(REFGUID type, DWORD codec, DWORD format, const WCHAR* name,
                                                 WMT_ATTR_DATATYPE* valueType, BYTE* value,
                                                 DWORD* size) override;
    HRESULT STDMETHODCALLTYPE GetCodecProp(REFGUID type, DWORD codec, const WCHAR* name,
                                           WMT_ATTR_DATATYPE* valueType, BYTE* value, DWORD* size) override;
    HRESULT STDMETHODCALLTYPE SetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                         WMT_ATTR_DATATYPE valueType, const BYTE* value,
                                                         DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetCodecEnumerationSetting(REFGUID type, DWORD codec, const WCHAR* name,
                                                         WMT_ATTR_DATATYPE* valueType, BYTE* value,
                                                         DWORD* size) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    // NS_E_... when type/codec/format name nothing; S_OK otherwise.
    HRESULT CheckCodec(REFGUID type, DWORD codec) const;
    HRESULT CheckFormat(REFGUID type, DWORD codec, DWORD format) const;
    bool VbrEnabled(DWORD codec) const;

    // Per codec: "_VBRENABLED" and "_PASSESUSED", which choose the formats listed.
    std::vector<PropertyList> m_enumeration;
    WMT_VERSION m_systemVersion = WMT_VER_9_0;
};

} // namespace wmruntime
