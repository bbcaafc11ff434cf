#include "WMAProfile.h"

#include "Handles.h"
#include "TextRules.h"
#include "TrelvoxWinMedia.h"
#include "Trace.h"
#include "WMRuntime.h"
// The stream configuration's language interface, which MinGW's headers lack, as the runtime
// for Wine declares it.
#include "../tools/wmruntime/WmSdkExtras.h"

#include <uuids.h>

#include <stdio.h>
#include <string.h>

namespace trelvox {

namespace {

// The runtime's audio major type; DirectShow's audio type has the same value.
const GUID& kAudio = MEDIATYPE_Audio;
constexpr const wchar_t* kProfileName = L"Harvane Custom Profile";
constexpr const wchar_t* kLanguage = L"en-us";
constexpr const wchar_t* kMaxRate = L"_RMAX";
constexpr const wchar_t* kMaxBuffer = L"_BMAX";

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

HRESULT SetDwordProperty(IWMPropertyVault* vault, const wchar_t* name, DWORD value) {
    return vault->SetProperty(name, WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&value), sizeof(value));
}

// A DWORD or BOOL property of a profile stream; 0 when it is missing.
DWORD ReadDwordProperty(IWMPropertyVault* vault, const wchar_t* name) {
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (FAILED(vault->GetPropertyByName(name, &type, reinterpret_cast<BYTE*>(&value), &size)))
        return 0;
    return type == WMT_TYPE_DWORD || type == WMT_TYPE_BOOL ? value : 0;
}

} // namespace

bool ReadMediaType(IUnknown* object, std::vector<BYTE>& buffer) {
    ComPtr<IWMMediaProps> props;
    if (!object || FAILED(object->QueryInterface(__uuidof(IWMMediaProps), props.putVoid())) || !props)
        return false;
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE))
        return false;
    buffer.assign(size, 0);
    return SUCCEEDED(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data()), &size));
}

const WAVEFORMATEX* WaveFormatIn(const std::vector<BYTE>& buffer) {
    if (buffer.size() < sizeof(WM_MEDIA_TYPE))
        return nullptr;
    auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(buffer.data());
    if (!IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) || !type->pbFormat ||
        type->cbFormat < sizeof(WAVEFORMAT) + sizeof(WORD))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
}

HRESULT WmaCodecInfo::Open() {
    HRESULT hr = WmCreateProfileManager(m_manager.put());
    if (FAILED(hr))
        return hr;
    if (!m_manager)
        return E_UNEXPECTED;
    hr = m_manager.As(&m_info);
    if (FAILED(hr))
        return hr;
    // The newer interfaces are optional: an older runtime lists the constant bit rate formats.
    m_manager.As(&m_info2);
    m_manager.As(&m_info3);
    return S_OK;
}

DWORD WmaCodecInfo::CodecCount() const {
    DWORD count = 0;
    if (!m_info || FAILED(m_info->GetCodecInfoCount(kAudio, &count)))
        return 0;
    return count;
}

std::string WmaCodecInfo::CodecName(DWORD codec) const {
    DWORD size = 0;
    if (!m_info2 || FAILED(m_info2->GetCodecName(kAudio, codec, nullptr, &size)) || size == 0)
        return std::string();
    std::wstring name(size, L'\0');
    if (FAILED(m_info2->GetCodecName(kAudio, codec, &name[0], &size)))
        return std::string();
    name.resize(wcsnlen(name.c_str(), name.size()));
    return Narrow(name, CP_ACP);
}

HRESULT WmaCodecInfo::SetMode(DWORD codec, int32_t mode) const {
    if (!m_info3)
        return S_OK;
    BOOL vbr = WmaModeIsVbr(mode);
    HRESULT hr = m_info3->SetCodecEnumerationSetting(kAudio, codec, g_wszVBREnabled, WMT_TYPE_BOOL,
                                                     reinterpret_cast<const BYTE*>(&vbr), sizeof(vbr));
    if (FAILED(hr))
        return hr;
    DWORD passes = WmaModePasses(mode);
    return m_info3->SetCodecEnumerationSetting(kAudio, codec, g_wszNumPasses, WMT_TYPE_DWORD,
                                               reinterpret_cast<const BYTE*>(&passes), sizeof(passes));
}

HRESULT WmaCodecInfo::SetVbrForMode(DWORD codec, int32_t mode) const {
    if (!m_info3 || mode == WMASETTINGS::kTwoPassCBR)
        return S_OK;
    BOOL vbr = WmaModeIsVbr(mode);
    return m_info3->SetCodecEnumerationSetting(kAudio, codec, g_wszVBREnabled, WMT_TYPE_BOOL,
                                               reinterpret_cast<const BYTE*>(&vbr), sizeof(vbr));
}

HRESULT WmaCodecInfo::FormatCount(DWORD codec, DWORD* count) const {
    *count = 0;
    return m_info ? m_info->GetCodecFormatCount(kAudio, codec, count) : E_UNEXPECTED;
}

HRESULT WmaCodecInfo::Format(DWORD codec, DWORD format, IWMStreamConfig** config) const {
    return m_info ? m_info->GetCodecFormat(kAudio, codec, format, config) : E_UNEXPECTED;
}

HRESULT WmaCodecInfo::FormatDescription(DWORD codec, DWORD format, std::string& text,
                                        IWMStreamConfig** config) const {
    text.clear();
    if (!m_info2)
        return E_NOINTERFACE;
    DWORD size = 0;
    HRESULT hr = m_info2->GetCodecFormatDesc(kAudio, codec, format, nullptr, nullptr, &size);
    if (FAILED(hr))
        return hr;
    std::wstring description(size + 1, L'\0');
    hr = m_info2->GetCodecFormatDesc(kAudio, codec, format, config, &description[0], &size);
    if (FAILED(hr))
        return hr;
    description.resize(wcsnlen(description.c_str(), description.size()));
    text = Narrow(description, CP_ACP);
    return S_OK;
}

HRESULT WmaCodecInfo::ListFormats(DWORD codec, int32_t mode, std::vector<WmaListedFormat>& formats) const {
    formats.clear();
    HRESULT hr = SetMode(codec, mode);
    if (FAILED(hr))
        return hr;
    DWORD count = 0;
    hr = FormatCount(codec, &count);
    if (FAILED(hr))
        return hr;
    for (DWORD index = 0; index < count; ++index) {
        WmaListedFormat format;
        ComPtr<IWMStreamConfig> config;
        if (FAILED(FormatDescription(codec, index, format.description, config.put())) || !config ||
            Contains(format.description, "(A/V)"))
            continue;
        std::vector<BYTE> type;
        const WAVEFORMATEX* wave = ReadMediaType(config.get(), type) ? WaveFormatIn(type) : nullptr;
        if (!wave)
            continue;
        format.index = index;
        format.mode = mode;
        format.rate = WmaRateValue(wave->nAvgBytesPerSec);
        format.sampleRate = wave->nSamplesPerSec;
        format.channels = wave->nChannels;
        format.bitsPerSample = wave->wBitsPerSample;
        format.lowDelay = Contains(format.description, "Low Delay");
        formats.push_back(std::move(format));
    }
    return S_OK;
}

HRESULT WmaCodecInfo::BuildProfile(const WMASETTINGS& record, IWMProfile** out) const {
    *out = nullptr;
    if (!m_manager)
        return E_UNEXPECTED;
    const DWORD codec = static_cast<DWORD>(record.codec);
    const DWORD format = static_cast<DWORD>(record.format);
    ComPtr<IWMProfile> profile;
    ComPtr<IWMStreamConfig> config;
    ComPtr<IWMStreamConfig> stream;
    HRESULT hr = m_manager->CreateEmptyProfile(m_info3 ? WMT_VER_9_0 : WMT_VER_7_0, profile.put());
    if (SUCCEEDED(hr))
        hr = profile->SetName(const_cast<wchar_t*>(kProfileName));
    if (SUCCEEDED(hr))
        hr = SetMode(codec, record.mode);
    if (SUCCEEDED(hr))
        hr = Format(codec, format, config.put());
    if (SUCCEEDED(hr) && !config)
        hr = E_UNEXPECTED;
    if (FAILED(hr))
        return hr;

    if (!m_info3) {
        // A version 7 runtime takes the codec's configuration as it is.
        config->SetStreamNumber(1);
        hr = profile->AddStream(config.get());
        if (SUCCEEDED(hr))
            *out = profile.detach();
        return hr;
    }

    hr = profile->CreateNewStream(kAudio, stream.put());
    if (SUCCEEDED(hr) && !stream)
        hr = E_UNEXPECTED;
    if (FAILED(hr))
        return hr;
    DWORD bitrate = 0;
    DWORD window = 0;
    hr = config->GetBitrate(&bitrate);
    if (SUCCEEDED(hr))
        hr = stream->SetBitrate(bitrate);
    // The buffer window and the names belong to the stream as well; a runtime that keeps
    // them itself may refuse them.
    if (SUCCEEDED(hr) && SUCCEEDED(config->GetBufferWindow(&window)))
        stream->SetBufferWindow(window);
    stream->SetStreamNumber(1);
    stream->SetStreamName(const_cast<wchar_t*>(L"Audio"));
    stream->SetConnectionName(const_cast<wchar_t*>(L"Audio"));
    std::vector<BYTE> type;
    ComPtr<IWMMediaProps> props;
    if (SUCCEEDED(hr) && !ReadMediaType(config.get(), type))
        hr = E_UNEXPECTED;
    if (SUCCEEDED(hr))
        hr = stream.As(&props);
    if (SUCCEEDED(hr))
        hr = props->SetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(type.data()));
    ComPtr<IWMPropertyVault> vault;
    if (SUCCEEDED(hr))
        hr = stream.As(&vault);
    if (SUCCEEDED(hr)) {
        BOOL vbr = WmaModeIsVbr(record.mode);
        hr = vault->SetProperty(g_wszVBREnabled, WMT_TYPE_BOOL, reinterpret_cast<BYTE*>(&vbr), sizeof(vbr));
    }
    if (SUCCEEDED(hr))
        hr = SetDwordProperty(vault.get(), kMaxRate, static_cast<DWORD>(record.maxBitrate));
    if (SUCCEEDED(hr))
        hr = SetDwordProperty(vault.get(), kMaxBuffer, static_cast<DWORD>(record.bufferWindow));
    ComPtr<IWMStreamConfig3> language;
    if (SUCCEEDED(hr) && SUCCEEDED(stream.As(&language)) && language)
        hr = language->SetLanguage(const_cast<wchar_t*>(kLanguage));
    if (SUCCEEDED(hr))
        hr = profile->AddStream(stream.get());
    if (FAILED(hr)) {
        TX_TRACE(wm, "profile of codec %ld format %ld mode %ld: 0x%08lX", long(record.codec),
                 long(record.format), long(record.mode), static_cast<unsigned long>(hr));
        return hr;
    }
    *out = profile.detach();
    return S_OK;
}

HRESULT BuildWmaProfile(const WMASETTINGS& record, IWMProfile** profile) {
    WmaCodecInfo info;
    HRESULT hr = info.Open();
    return FAILED(hr) ? hr : info.BuildProfile(record, profile);
}

bool WmaFormatDescription(const WMASETTINGS& record, char* text, int size) {
    if (!text || size <= 0)
        return false;
    text[0] = '\0';
    WmaCodecInfo info;
    std::string description;
    if (FAILED(info.Open()) || FAILED(info.SetMode(DWORD(record.codec), record.mode)) ||
        FAILED(info.FormatDescription(DWORD(record.codec), DWORD(record.format), description)))
        return false;
    lstrcpynA(text, description.c_str(), size);
    return true;
}

const char* ReadWmaProfileFile(const char* path, WMASETTINGS& record) {
    UniqueFile file(path ? fopen(path, "rb") : nullptr);
    if (!file)
        return "Profile file cannot be opened";
    if (fseek(file.get(), 0, SEEK_END) != 0)
        return "Profile file cannot be read";
    long size = ftell(file.get());
    if (size < 0)
        return "Profile file cannot be read";
    if (static_cast<unsigned long>(size) > kMaxPrxBytes)
        return "Profile file is too big";
    rewind(file.get());
    // UTF-16 text; the zero after it is ours.
    std::wstring text(static_cast<size_t>(size) / 2 + 1, L'\0');
    if (size > 0 && fread(&text[0], 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size))
        return "Profile file cannot be read";
    file.reset();

    WmaCodecInfo info;
    ComPtr<IWMProfile> profile;
    if (FAILED(info.Open()) || FAILED(info.Manager()->LoadProfileByData(text.c_str(), profile.put())) ||
        !profile)
        return "Profile data is invalid";
    DWORD streams = 0;
    profile->GetStreamCount(&streams);
    ComPtr<IWMStreamConfig> stream;
    for (DWORD i = 0; i < streams; ++i) {
        ComPtr<IWMStreamConfig> candidate;
        GUID type = GUID_NULL;
        if (SUCCEEDED(profile->GetStream(i, candidate.put())) && candidate &&
            SUCCEEDED(candidate->GetStreamType(&type)) && IsEqualGUID(type, kAudio)) {
            stream = candidate;
            break;
        }
    }
    std::vector<BYTE> mediaType;
    const WAVEFORMATEX* wave =
        stream && ReadMediaType(stream.get(), mediaType) ? WaveFormatIn(mediaType) : nullptr;
    if (!wave)
        return "Profile data is invalid";
    DWORD vbr = 0, maxRate = 0, maxBuffer = 0;
    ComPtr<IWMPropertyVault> vault;
    if (SUCCEEDED(stream.As(&vault)) && vault) {
        vbr = ReadDwordProperty(vault.get(), g_wszVBREnabled);
        maxRate = ReadDwordProperty(vault.get(), kMaxRate);
        maxBuffer = ReadDwordProperty(vault.get(), kMaxBuffer);
    }
    const int32_t codec = WmaCodecForFormatTag(wave->wFormatTag);
    if (codec < 0)
        return "Profile data is invalid";
    const int32_t mode = WmaModeOfStream(vbr != 0, wave->nAvgBytesPerSec);
    const DWORD rate = WmaRateValue(wave->nAvgBytesPerSec);
    std::vector<WmaListedFormat> formats;
    info.ListFormats(DWORD(codec), mode, formats);
    for (const WmaListedFormat& format : formats) {
        if (format.rate == rate && format.sampleRate == wave->nSamplesPerSec &&
            format.bitsPerSample == wave->wBitsPerSample && format.channels == wave->nChannels) {
            record.codec = codec;
            record.format = static_cast<int32_t>(format.index);
            record.mode = mode;
            record.maxBitrate = static_cast<int32_t>(maxRate);
            record.bufferWindow = static_cast<int32_t>(maxBuffer);
            return nullptr;
        }
    }
    TX_TRACE(wm, "no format of codec %ld mode %ld for %lu, %lu Hz, %u bit, %u channels", long(codec),
             long(mode), rate, wave->nSamplesPerSec, wave->wBitsPerSample, wave->nChannels);
    return "Profile format is not offered by the Windows Media codec";
}

const char* WriteWmaProfileFile(const char* path, const WMASETTINGS& record) {
    WmaCodecInfo info;
    ComPtr<IWMProfile> profile;
    if (FAILED(info.Open()) || FAILED(info.BuildProfile(record, profile.put())) || !profile)
        return "Profile cannot be created";
    DWORD length = 0;
    if (FAILED(info.Manager()->SaveProfile(profile.get(), nullptr, &length)) || length == 0)
        return "Profile cannot be saved";
    std::wstring text(length + 1, L'\0');
    if (FAILED(info.Manager()->SaveProfile(profile.get(), &text[0], &length)))
        return "Profile cannot be saved";
    // Neither the terminating zero nor a byte-order mark goes into the file.
    const size_t characters = wcsnlen(text.c_str(), text.size());
    UniqueFile file(path ? fopen(path, "wb") : nullptr);
    if (!file)
        return "Profile file cannot be created";
    const size_t bytes = characters * sizeof(wchar_t);
    if (fwrite(text.data(), 1, bytes, file.get()) != bytes || fflush(file.get()) != 0)
        return "Profile file cannot be written";
    return nullptr;
}

void ShowWmaProfileMessage(HWND owner, const char* message) {
    MessageBoxA(owner, message, "Harvane", MB_OK | MB_ICONERROR);
}

bool SetWmaOption(WMASETTINGS& record, const char* name, const char* value, char* message) {
    if (!name)
        return false;
    const bool codecOption = EqualsIgnoringCase(name, "wma-codec");
    if (!codecOption && !EqualsIgnoringCase(name, "wma-format"))
        return false;
    const char* notFound =
        codecOption ? "WMA codec with this name was not found" : "WMA format with this name was not found";
    WmaCodecInfo info;
    if (value && SUCCEEDED(info.Open())) {
        if (codecOption) {
            for (DWORD codec = 0, count = info.CodecCount(); codec < count; ++codec) {
                if (EqualsIgnoringCase(info.CodecName(codec).c_str(), value)) {
                    record.codec = static_cast<int32_t>(codec);
                    return true;
                }
            }
        } else {
            // The same description may stand for formats of several modes: the last mode
            // in this order that offers it wins.
            const DWORD codec = static_cast<DWORD>(record.codec);
            const int32_t modes = info.HasEnumerationSettings() ? 4 : 1;
            bool found = false;
            int32_t foundFormat = 0, foundMode = 0;
            for (int32_t mode = 0; mode < modes; ++mode) {
                std::vector<WmaListedFormat> formats;
                if (FAILED(info.ListFormats(codec, mode, formats)))
                    continue;
                for (const WmaListedFormat& format : formats) {
                    if (EqualsIgnoringCase(format.description.c_str(), value)) {
                        found = true;
                        foundFormat = static_cast<int32_t>(format.index);
                        foundMode = mode;
                        break;
                    }
                }
            }
            if (found) {
                record.format = foundFormat;
                record.mode = foundMode;
                return true;
            }
        }
    }
    if (message)
        lstrcpyA(message, notFound);
    return false;
}

} // namespace trelvox

extern "C" int __cdecl WMASetDefaultProfile(const char* prxPath) {
    try {
        WMASETTINGS record;
        record.Load();
        if (const char* message = trelvox::ReadWmaProfileFile(prxPath, record)) {
            trelvox::ShowWmaProfileMessage(nullptr, message);
            return -1;
        }
        record.Save();
        return 0;
    } catch (...) {
        return -1;
    }
}
