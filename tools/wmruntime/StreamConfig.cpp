#include "StreamConfig.h"

namespace wmruntime {

void* StreamConfig::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, __uuidof(IWMStreamConfig)) || IsEqualIID(riid, __uuidof(IWMStreamConfig2)) ||
        IsEqualIID(riid, __uuidof(IWMStreamConfig3)))
        return static_cast<IWMStreamConfig3*>(this);
    if (IsEqualIID(riid, __uuidof(IWMMediaProps)))
        return static_cast<IWMMediaProps*>(this);
    if (IsEqualIID(riid, __uuidof(IWMPropertyVault)))
        return static_cast<IWMPropertyVault*>(this);
    return nullptr;
}

HRESULT StreamConfig::GetStreamType(GUID* type) {
    if (!type)
        return E_POINTER;
    *type = m_data.type;
    return S_OK;
}

HRESULT StreamConfig::GetStreamNumber(WORD* number) {
    if (!number)
        return E_POINTER;
    *number = m_data.number;
    return S_OK;
}

HRESULT StreamConfig::SetStreamNumber(WORD number) {
    // ASF numbers streams 1 to 127.
    if (number < 1 || number > 127)
        return E_INVALIDARG;
    m_data.number = number;
    return S_OK;
}

HRESULT StreamConfig::GetStreamName(WCHAR* name, WORD* length) {
    return Guard([&] { return CopyText(m_data.name, name, length); });
}

HRESULT StreamConfig::SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE name) {
    return Guard([&] {
        m_data.name = U16(name);
        return S_OK;
    });
}

HRESULT StreamConfig::GetConnectionName(WCHAR* name, WORD* length) {
    return Guard([&] { return CopyText(m_data.connection, name, length); });
}

HRESULT StreamConfig::SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE name) {
    return Guard([&] {
        m_data.connection = U16(name);
        return S_OK;
    });
}

HRESULT StreamConfig::GetBitrate(DWORD* bitrate) {
    if (!bitrate)
        return E_POINTER;
    *bitrate = m_data.bitrate;
    return S_OK;
}

HRESULT StreamConfig::SetBitrate(DWORD bitrate) {
    m_data.bitrate = bitrate;
    return S_OK;
}

HRESULT StreamConfig::GetBufferWindow(DWORD* window) {
    if (!window)
        return E_POINTER;
    *window = m_data.bufferWindow;
    return S_OK;
}

HRESULT StreamConfig::SetBufferWindow(DWORD window) {
    m_data.bufferWindow = window;
    return S_OK;
}

HRESULT StreamConfig::GetTransportType(WMT_TRANSPORT_TYPE* type) {
    if (!type)
        return E_POINTER;
    *type = WMT_Transport_Type_Unreliable;
    return S_OK;
}

HRESULT StreamConfig::SetTransportType(WMT_TRANSPORT_TYPE type) {
    return type == WMT_Transport_Type_Unreliable ? S_OK : E_NOTIMPL;
}

HRESULT StreamConfig::AddDataUnitExtension(GUID, WORD, BYTE*, DWORD) {
    return E_NOTIMPL;
}

HRESULT StreamConfig::GetDataUnitExtensionCount(WORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT StreamConfig::GetDataUnitExtension(WORD, GUID*, WORD*, BYTE*, DWORD*) {
    return E_INVALIDARG;
}

HRESULT StreamConfig::RemoveAllDataUnitExtensions() {
    return S_OK;
}

HRESULT StreamConfig::GetLanguage(WCHAR* language, WORD* length) {
    return Guard([&] { return CopyText(m_data.language, language, length); });
}

HRESULT StreamConfig::SetLanguage(LPWSTR language) {
    return Guard([&] {
        m_data.language = U16(language);
        return S_OK;
    });
}

HRESULT StreamConfig::GetType(GUID* type) {
    return GetStreamType(type);
}

HRESULT StreamConfig::GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) {
    return m_data.media.CopyOut(type, size);
}

HRESULT StreamConfig::SetMediaType(WM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    if (!IsEqualGUID(type->majortype, m_data.type))
        return NS_E_INVALID_INPUT_FORMAT;
    return Guard([&] {
        m_data.media.Set(*type);
        return S_OK;
    });
}

HRESULT StreamConfig::GetPropertyCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = static_cast<DWORD>(m_data.properties.Entries().size());
    return S_OK;
}

HRESULT StreamConfig::GetPropertyByName(const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                        DWORD* size) {
    return Guard([&] { return m_data.properties.Get(name, type, value, size); });
}

HRESULT StreamConfig::SetProperty(const WCHAR* name, WMT_ATTR_DATATYPE type, BYTE* value, DWORD size) {
    if (!name || (!value && size))
        return E_POINTER;
    return Guard([&] {
        m_data.properties.Set(U16(name), type, value, size);
        return S_OK;
    });
}

HRESULT StreamConfig::GetPropertyByIndex(DWORD index, WCHAR* name, DWORD* length, WMT_ATTR_DATATYPE* type,
                                         BYTE* value, DWORD* size) {
    const auto& entries = m_data.properties.Entries();
    if (index >= entries.size())
        return E_INVALIDARG;
    if (!type)
        return E_POINTER;
    return Guard([&] {
        const PropertyList::Entry& entry = entries[index];
        HRESULT hr = CopyText(entry.name, name, length);
        if (FAILED(hr))
            return hr;
        *type = entry.type;
        return CopyBytes(entry.value, value, size);
    });
}

HRESULT StreamConfig::CopyPropertiesFrom(IWMPropertyVault* vault) {
    if (!vault)
        return E_POINTER;
    return Guard([&] {
        DWORD count = 0;
        HRESULT hr = vault->GetPropertyCount(&count);
        for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
            DWORD nameLength = 0, size = 0;
            WMT_ATTR_DATATYPE type;
            hr = vault->GetPropertyByIndex(i, nullptr, &nameLength, &type, nullptr, &size);
            if (FAILED(hr))
                break;
            std::vector<WCHAR> name(nameLength + 1);
            std::vector<BYTE> value(size + 1);
            hr = vault->GetPropertyByIndex(i, name.data(), &nameLength, &type, value.data(), &size);
            if (SUCCEEDED(hr))
                m_data.properties.Set(U16(name.data()), type, value.data(), size);
        }
        return hr;
    });
}

HRESULT StreamConfig::Clear() {
    m_data.properties.Clear();
    return S_OK;
}

HRESULT ReadStream(IWMStreamConfig* config, StreamData* data) {
    if (!config)
        return E_POINTER;
    // Our own configurations are copied whole.
    trelvox::ComPtr<IWMStreamConfig3> own;
    if (SUCCEEDED(config->QueryInterface(__uuidof(IWMStreamConfig3), own.putVoid()))) {
        if (auto* ours = dynamic_cast<StreamConfig*>(own.get())) {
            *data = ours->Data();
            return S_OK;
        }
    }
    return Guard([&] {
        StreamData read;
        HRESULT hr = config->GetStreamType(&read.type);
        if (SUCCEEDED(hr))
            hr = config->GetStreamNumber(&read.number);
        if (SUCCEEDED(hr))
            hr = config->GetBitrate(&read.bitrate);
        if (SUCCEEDED(hr))
            hr = config->GetBufferWindow(&read.bufferWindow);
        if (FAILED(hr))
            return hr;
        trelvox::ComPtr<IWMMediaProps> props;
        if (SUCCEEDED(config->QueryInterface(__uuidof(IWMMediaProps), props.putVoid()))) {
            DWORD size = 0;
            if (SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE)) {
                std::vector<uint8_t> buffer(size);
                auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data());
                if (SUCCEEDED(props->GetMediaType(type, &size)))
                    read.media.Set(*type);
            }
        }
        trelvox::ComPtr<IWMPropertyVault> vault;
        if (SUCCEEDED(config->QueryInterface(__uuidof(IWMPropertyVault), vault.putVoid()))) {
            StreamConfig copy{StreamData()};
            if (SUCCEEDED(copy.CopyPropertiesFrom(vault.get())))
                read.properties = copy.Data().properties;
        }
        *data = std::move(read);
        return S_OK;
    });
}

} // namespace wmruntime
