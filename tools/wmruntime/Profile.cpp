#include "Profile.h"

namespace wmruntime {

HRESULT NewStreamConfig(StreamData data, IWMStreamConfig** config) {
    if (!config)
        return E_POINTER;
    return Guard([&] {
        *config = new StreamConfig(std::move(data));
        return S_OK;
    });
}

void* Profile::FindInterface(REFIID riid) {
    return IsEqualIID(riid, __uuidof(IWMProfile)) ? static_cast<IWMProfile*>(this) : nullptr;
}

HRESULT Profile::GetVersion(WMT_VERSION* version) {
    if (!version)
        return E_POINTER;
    *version = m_data.version;
    return S_OK;
}

HRESULT Profile::GetName(WCHAR* name, DWORD* length) {
    return Guard([&] { return CopyText(m_data.name, name, length); });
}

HRESULT Profile::SetName(const WCHAR* name) {
    if (!name)
        return E_POINTER;
    return Guard([&] {
        m_data.name = U16(name);
        return S_OK;
    });
}

HRESULT Profile::GetDescription(WCHAR* description, DWORD* length) {
    return Guard([&] { return CopyText(m_data.description, description, length); });
}

HRESULT Profile::SetDescription(const WCHAR* description) {
    if (!description)
        return E_POINTER;
    return Guard([&] {
        m_data.description = U16(description);
        return S_OK;
    });
}

HRESULT Profile::GetStreamCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = static_cast<DWORD>(m_data.streams.size());
    return S_OK;
}

// The runtime hands out copies: a change reaches the profile only through ReconfigStream.
HRESULT Profile::GetStream(DWORD index, IWMStreamConfig** config) {
    if (!config)
        return E_POINTER;
    if (index >= m_data.streams.size())
        return E_INVALIDARG;
    return NewStreamConfig(m_data.streams[index], config);
}

HRESULT Profile::GetStreamByNumber(WORD number, IWMStreamConfig** config) {
    if (!config)
        return E_POINTER;
    auto found = FindNumber(number);
    if (found == m_data.streams.end())
        return NS_E_INVALID_STREAM;
    return NewStreamConfig(*found, config);
}

std::vector<StreamData>::iterator Profile::FindNumber(WORD number) {
    for (auto it = m_data.streams.begin(); it != m_data.streams.end(); ++it)
        if (it->number == number)
            return it;
    return m_data.streams.end();
}

WORD Profile::FreeNumber() const {
    for (WORD number = 1; number <= 127; ++number) {
        bool used = false;
        for (const StreamData& stream : m_data.streams)
            used = used || stream.number == number;
        if (!used)
            return number;
    }
    return 0;
}

HRESULT Profile::RemoveStream(IWMStreamConfig* config) {
    WORD number = 0;
    if (!config)
        return E_POINTER;
    HRESULT hr = config->GetStreamNumber(&number);
    return FAILED(hr) ? hr : RemoveStreamByNumber(number);
}

HRESULT Profile::RemoveStreamByNumber(WORD number) {
    auto found = FindNumber(number);
    if (found == m_data.streams.end())
        return NS_E_INVALID_STREAM;
    m_data.streams.erase(found);
    return S_OK;
}

HRESULT Profile::AddStream(IWMStreamConfig* config) {
    return Guard([&] {
        StreamData data;
        HRESULT hr = ReadStream(config, &data);
        if (FAILED(hr))
            return hr;
        // A configuration from the codec information has no number yet.
        if (data.number == 0)
            data.number = FreeNumber();
        if (data.number == 0 || FindNumber(data.number) != m_data.streams.end())
            return NS_E_INVALID_STREAM;
        m_data.streams.push_back(std::move(data));
        return S_OK;
    });
}

HRESULT Profile::ReconfigStream(IWMStreamConfig* config) {
    return Guard([&] {
        StreamData data;
        HRESULT hr = ReadStream(config, &data);
        if (FAILED(hr))
            return hr;
        auto found = FindNumber(data.number);
        if (found == m_data.streams.end())
            return NS_E_INVALID_STREAM;
        *found = std::move(data);
        return S_OK;
    });
}

HRESULT Profile::CreateNewStream(REFGUID type, IWMStreamConfig** config) {
    if (!config)
        return E_POINTER;
    *config = nullptr;
    if (!IsEqualGUID(type, wmsdk::kMediaTypeAudio))
        return NS_E_INVALID_REQUEST;
    StreamData data;
    data.type = type;
    data.number = FreeNumber();
    data.name = u"Audio Stream";
    data.connection = u"Audio" + std::u16string(1, static_cast<char16_t>(u'0' + data.number % 10));
    return NewStreamConfig(std::move(data), config);
}

HRESULT Profile::GetMutualExclusionCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT Profile::GetMutualExclusion(DWORD, IWMMutualExclusion**) {
    return E_INVALIDARG;
}

HRESULT Profile::RemoveMutualExclusion(IWMMutualExclusion*) {
    return E_INVALIDARG;
}

HRESULT Profile::AddMutualExclusion(IWMMutualExclusion*) {
    return E_NOTIMPL;
}

HRESULT Profile::CreateNewMutualExclusion(IWMMutualExclusion**) {
    return E_NOTIMPL;
}

HRESULT ReadProfile(IWMProfile* profile, ProfileData* data) {
    if (!profile)
        return E_POINTER;
    trelvox::ComPtr<IWMProfile> held;
    if (SUCCEEDED(profile->QueryInterface(__uuidof(IWMProfile), held.putVoid()))) {
        if (auto* ours = dynamic_cast<Profile*>(held.get())) {
            *data = ours->Data();
            return S_OK;
        }
    }
    return Guard([&] {
        ProfileData read;
        DWORD count = 0;
        HRESULT hr = profile->GetVersion(&read.version);
        if (SUCCEEDED(hr))
            hr = profile->GetStreamCount(&count);
        for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
            trelvox::ComPtr<IWMStreamConfig> config;
            hr = profile->GetStream(i, config.put());
            StreamData stream;
            if (SUCCEEDED(hr))
                hr = ReadStream(config.get(), &stream);
            if (SUCCEEDED(hr))
                read.streams.push_back(std::move(stream));
        }
        DWORD length = 0;
        if (SUCCEEDED(hr) && SUCCEEDED(profile->GetName(nullptr, &length)) && length > 0) {
            std::vector<WCHAR> name(length);
            if (SUCCEEDED(profile->GetName(name.data(), &length)))
                read.name = U16(name.data());
        }
        if (SUCCEEDED(hr))
            *data = std::move(read);
        return hr;
    });
}

} // namespace wmruntime
