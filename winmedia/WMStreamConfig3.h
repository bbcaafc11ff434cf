// IWMStreamConfig2 and IWMStreamConfig3 of the Windows Media Format SDK, which the MinGW
// headers leave out: the stream language is set through the latter.
#pragma once

#include <wmsdk.h>

#ifndef __IWMStreamConfig3_INTERFACE_DEFINED__
#define __IWMStreamConfig3_INTERFACE_DEFINED__

MIDL_INTERFACE("7688D8CB-FC0D-43BD-9459-5A8DEC200CFA")
IWMStreamConfig2 : public IWMStreamConfig {
    virtual HRESULT STDMETHODCALLTYPE GetTransportType(int* transportType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportType(int transportType) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID extensionSystem, WORD extensionDataSize,
                                                           BYTE * systemInfo, DWORD systemInfoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD * count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD number, GUID * extensionSystem,
                                                           WORD * extensionDataSize, BYTE * systemInfo,
                                                           DWORD * systemInfoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() = 0;
};
__CRT_UUID_DECL(IWMStreamConfig2, 0x7688d8cb, 0xfc0d, 0x43bd, 0x94, 0x59, 0x5a, 0x8d, 0xec, 0x20, 0x0c, 0xfa)

MIDL_INTERFACE("CB164104-3AA9-45A7-9AC9-4DAEE131D6E1")
IWMStreamConfig3 : public IWMStreamConfig2 {
    virtual HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR * language, WORD * length) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLanguage(LPWSTR language) = 0;
};
__CRT_UUID_DECL(IWMStreamConfig3, 0xcb164104, 0x3aa9, 0x45a7, 0x9a, 0xc9, 0x4d, 0xae, 0xe1, 0x31, 0xd6, 0xe1)

#endif
