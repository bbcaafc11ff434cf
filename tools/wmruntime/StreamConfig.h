// A stream of a profile (IWMStreamConfig with its media type and properties), as profiles,
// the codec information and the writer hand it around.
#pragma once

#include "ComHelpers.h"

#include <string>

namespace wmruntime {

struct StreamData {
    GUID type = GUID_NULL;
    WORD number = 0;
    std::u16string name;
    std::u16string connection;
    DWORD bitrate = 0;      // bits per second
    DWORD bufferWindow = 0; // milliseconds
    std::u16string language;
    MediaType media;
    PropertyList properties;
};

class StreamConfig : public ComObjectOf<IWMStreamConfig3, IWMMediaProps, IWMPropertyVault> {
public:
    explicit StreamConfig(StreamData data) : m_data(std::move(data)) {}
    const StreamData& Data() const { return m_data; }

    // IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* type) override;
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* number) override;
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD number) override;
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR* name, WORD* length) override;
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE name) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* name, WORD* length) override;
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE name) override;
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* bitrate) override;
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD bitrate) override;
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD* window) override;
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD window) override;
    // IWMStreamConfig2: one transport, no data unit extensions.
    HRESULT STDMETHODCALLTYPE GetTransportType(WMT_TRANSPORT_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE SetTransportType(WMT_TRANSPORT_TYPE type) override;
    HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID guid, WORD size, BYTE* info, DWORD infoSize) override;
    HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD index, GUID* guid, WORD* size, BYTE* info,
                                                   DWORD* infoSize) override;
    HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() override;
    // IWMStreamConfig3
    HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR* language, WORD* length) override;
    HRESULT STDMETHODCALLTYPE SetLanguage(LPWSTR language) override;
    // IWMMediaProps
    HRESULT STDMETHODCALLTYPE GetType(GUID* type) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* type) override;
    // IWMPropertyVault
    HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetPropertyByName(const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                DWORD* size) override;
    HRESULT STDMETHODCALLTYPE SetProperty(const WCHAR* name, WMT_ATTR_DATATYPE type, BYTE* value,
                                          DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD index, WCHAR* name, DWORD* length,
                                                 WMT_ATTR_DATATYPE* type, BYTE* value, DWORD* size) override;
    HRESULT STDMETHODCALLTYPE CopyPropertiesFrom(IWMPropertyVault* vault) override;
    HRESULT STDMETHODCALLTYPE Clear() override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    StreamData m_data;
};

// What a stream configuration holds, read through its public interfaces (so any runtime's
// configuration will do).
HRESULT ReadStream(IWMStreamConfig* config, StreamData* data);

} // namespace wmruntime
