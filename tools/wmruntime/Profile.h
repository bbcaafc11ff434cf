// A profile (IWMProfile): a name, a description and streams, as the profile manager builds,
// loads and saves it and the writer takes it.
#pragma once

#include "StreamConfig.h"

#include <vector>

namespace wmruntime {

struct ProfileData {
    WMT_VERSION version = WMT_VER_9_0;
    std::u16string name;
    std::u16string description;
    std::vector<StreamData> streams;
};

class Profile : public ComObjectOf<IWMProfile> {
public:
    explicit Profile(ProfileData data) : m_data(std::move(data)) {}
    const ProfileData& Data() const { return m_data; }

    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION* version) override;
    HRESULT STDMETHODCALLTYPE GetName(WCHAR* name, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR* name) override;
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR* description, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR* description) override;
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetStream(DWORD index, IWMStreamConfig** config) override;
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD number, IWMStreamConfig** config) override;
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig* config) override;
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD number) override;
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig* config) override;
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig* config) override;
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID type, IWMStreamConfig** config) override;
    // Mutual exclusion is for alternative streams of one medium: not supported.
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD index, IWMMutualExclusion** exclusion) override;
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion* exclusion) override;
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion* exclusion) override;
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion** exclusion) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    WORD FreeNumber() const;
    std::vector<StreamData>::iterator FindNumber(WORD number);

    ProfileData m_data;
};

// What a profile holds, read through its public interfaces.
HRESULT ReadProfile(IWMProfile* profile, ProfileData* data);

// Hands out a new configuration object holding data.
HRESULT NewStreamConfig(StreamData data, IWMStreamConfig** config);

} // namespace wmruntime
