// Parts of the Windows Media Format SDK's public interface that MinGW's headers lack: result
// codes, property names, media type identifiers and the stream configuration's later
// interfaces. Shared by the runtime and by the library code that talks to a runtime.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wmsdk.h>

#include <nserror.h>

#ifndef ASF_E_BUFFERTOOSMALL
#define ASF_E_BUFFERTOOSMALL _HRESULT_TYPEDEF_(0xC00D07D1)
#endif
#ifndef ASF_E_INVALIDHEADER
#define ASF_E_INVALIDHEADER _HRESULT_TYPEDEF_(0xC00D07E2)
#endif
#ifndef ASF_E_NOTFOUND
#define ASF_E_NOTFOUND _HRESULT_TYPEDEF_(0xC00D07F0)
#endif

namespace wmsdk {

inline constexpr GUID kMediaTypeAudio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
inline constexpr GUID kMediaTypeVideo = {
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
// The audio subtypes are the format tag in the first field of this base.
inline constexpr GUID kMediaSubtypeBase = {
    0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
inline constexpr GUID kFormatWaveFormatEx = {
    0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};

inline GUID AudioSubtype(WORD formatTag) {
    GUID subtype = kMediaSubtypeBase;
    subtype.Data1 = formatTag;
    return subtype;
}

// Stream and codec enumeration properties (IWMPropertyVault, IWMCodecInfo3).
inline constexpr WCHAR kVbrEnabled[] = L"_VBRENABLED";
inline constexpr WCHAR kNumPasses[] = L"_PASSESUSED";
inline constexpr WCHAR kVbrQuality[] = L"_VBRQUALITY";
inline constexpr WCHAR kVbrBitrateMax[] = L"_RMAX";
inline constexpr WCHAR kVbrBufferWindowMax[] = L"_BMAX";
inline constexpr WCHAR kIsVbrSupported[] = L"_ISVBRSUPPORTED";

} // namespace wmsdk

typedef enum WMT_TRANSPORT_TYPE {
    WMT_Transport_Type_Unreliable,
    WMT_Transport_Type_Reliable
} WMT_TRANSPORT_TYPE;

// The stream configuration's second and third interfaces (data unit extensions, language).
interface IWMStreamConfig2 : public IWMStreamConfig {
    virtual HRESULT STDMETHODCALLTYPE GetTransportType(WMT_TRANSPORT_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportType(WMT_TRANSPORT_TYPE type) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID guid, WORD size, BYTE* info,
                                                           DWORD infoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD index, GUID* guid, WORD* size, BYTE* info,
                                                           DWORD* infoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() = 0;
};
__CRT_UUID_DECL(IWMStreamConfig2, 0x7688d8cb, 0xfc0d, 0x43bd, 0x94, 0x59, 0x5a, 0x8d, 0xec, 0x20, 0x0c, 0xfa)

interface IWMStreamConfig3 : public IWMStreamConfig2 {
    virtual HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR* language, WORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLanguage(LPWSTR language) = 0;
};
__CRT_UUID_DECL(IWMStreamConfig3, 0xcb164104, 0x3aa9, 0x45a7, 0x9a, 0xc9, 0x4d, 0xae, 0xe1, 0x31, 0xd6, 0xe1)
