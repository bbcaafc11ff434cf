#include "Writer.h"

#include "CodecList.h"
#include "Editor.h"
#include "SampleBuffer.h"

#include <algorithm>

namespace wmruntime {

namespace {

constexpr WORD kTagPcm = 1;
constexpr WORD kTagFloat = 3;
constexpr WORD kTagExtensible = 0xFFFE;
constexpr char16_t kInputName[] = u"Audio";

// The PCM layout of an input media type, or false when it is not PCM the encoder can take.
bool PcmFrom(const MediaType& type, PcmInput* pcm) {
    const WAVEFORMATEX* wave = type.Wave();
    if (!wave || !IsEqualGUID(type.Header().majortype, wmsdk::kMediaTypeAudio))
        return false;
    WORD tag = wave->wFormatTag;
    if (tag == kTagExtensible) {
        // The subformat GUID's first field is the plain format tag.
        if (wave->cbSize < 22 || type.Format().size() < 18 + 22)
            return false;
        DWORD subformat;
        memcpy(&subformat, type.Format().data() + 18 + 6, sizeof subformat);
        tag = static_cast<WORD>(subformat);
    }
    if (tag != kTagPcm && tag != kTagFloat)
        return false;
    pcm->floating = tag == kTagFloat;
    pcm->channels = wave->nChannels;
    pcm->sampleRate = wave->nSamplesPerSec;
    pcm->bits = wave->wBitsPerSample;
    bool bitsOk = pcm->floating ? pcm->bits == 32
                                : (pcm->bits == 8 || pcm->bits == 16 || pcm->bits == 24 || pcm->bits == 32);
    return bitsOk && pcm->channels >= 1 && pcm->channels <= 8 && pcm->sampleRate >= 1000 &&
           pcm->sampleRate <= 384000 && wave->nBlockAlign == pcm->channels * (pcm->bits / 8);
}

HRESULT SampleBytes(INSSBuffer* sample, BYTE** bytes, DWORD* length) {
    if (!sample)
        return E_POINTER;
    return sample->GetBufferAndLength(bytes, length);
}

} // namespace

void* Writer::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, __uuidof(IWMWriter)))
        return static_cast<IWMWriter*>(this);
    if (IsEqualIID(riid, __uuidof(IWMWriterPreprocess)))
        return static_cast<IWMWriterPreprocess*>(this);
    if (IsEqualIID(riid, __uuidof(IWMHeaderInfo)) || IsEqualIID(riid, __uuidof(IWMHeaderInfo2)) ||
        IsEqualIID(riid, __uuidof(IWMHeaderInfo3)))
        return static_cast<IWMHeaderInfo3*>(this);
    return nullptr;
}

// Attributes go into the file when writing ends; they can be set until then.
HRESULT Writer::AttributesReady(bool) const {
    return S_OK;
}

HRESULT Writer::CheckInput(DWORD input) const {
    if (m_state == State::NoProfile)
        return NS_E_NOT_CONFIGURED;
    return input == 0 ? S_OK : NS_E_INVALID_INPUT_STREAM;
}

// 16-bit PCM at the stream's rate and channels: what the encoder takes without resampling.
MediaType Writer::DefaultInput() const {
    WAVEFORMATEX wave = {};
    wave.wFormatTag = kTagPcm;
    wave.nChannels = m_target.channels;
    wave.nSamplesPerSec = m_target.sampleRate;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = static_cast<WORD>(wave.nChannels * 2);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    std::vector<uint8_t> bytes(18);
    memcpy(bytes.data(), &wave, 18);
    return MediaType::Audio(wmsdk::AudioSubtype(kTagPcm), bytes, wave.nBlockAlign);
}

HRESULT Writer::SetProfileByID(REFGUID) {
    // There are no system profiles (see the profile manager).
    return NS_E_INVALIDPROFILE;
}

HRESULT Writer::SetProfile(IWMProfile* profile) {
    if (!profile)
        return E_POINTER;
    if (m_state == State::Writing)
        return NS_E_INVALID_REQUEST;
    return Guard([&] {
        ProfileData data;
        HRESULT hr = ReadProfile(profile, &data);
        if (FAILED(hr))
            return hr;
        if (data.streams.size() != 1 || !IsEqualGUID(data.streams[0].type, wmsdk::kMediaTypeAudio))
            return NS_E_INVALIDPROFILE;
        const StreamData& stream = data.streams[0];
        const WAVEFORMATEX* wave = stream.media.Wave();
        if (!wave)
            return NS_E_INVALIDPROFILE;
        const Codec* codec = CodecForTag(wave->wFormatTag);
        if (!codec)
            return NS_E_CODEC_UNAVAILABLE;
        if (stream.properties.Number(wmsdk::kVbrEnabled, 0) != 0)
            return NS_E_VBRMODE_MISMATCH;
        DWORD passes = stream.properties.Number(wmsdk::kNumPasses, 1);
        if (passes != 1 && passes != 2)
            return NS_E_INVALID_NUM_PASSES;
        passes = std::max<DWORD>(passes, PassesOf(stream.media));
        EncodeTarget target = {codec->version, wave->nSamplesPerSec, wave->nChannels,
                               wave->nAvgBytesPerSec * 8};
        // The encoder's limits: up to two channels and 48 kHz, at least 24 kbps.
        if (target.channels < 1 || target.channels > 2 || target.sampleRate < 8000 ||
            target.sampleRate > 48000 || target.bitrate < 24000)
            return NS_E_INVALID_OUTPUT_FORMAT;
        m_target = target;
        m_maxPasses = passes - 1;
        m_passes = m_passesEnded = 0;
        m_inPass = false;
        m_state = State::Ready;
        m_input = DefaultInput();
        return S_OK;
    });
}

HRESULT Writer::SetOutputFilename(const WCHAR* path) {
    if (!path)
        return E_POINTER;
    if (m_state == State::Writing)
        return NS_E_INVALID_REQUEST;
    if (!*path)
        return NS_E_INVALID_NAME;
    return Guard([&] {
        m_path = U16(path);
        return S_OK;
    });
}

HRESULT Writer::GetInputCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    if (m_state == State::NoProfile)
        return NS_E_NOT_CONFIGURED;
    *count = 1;
    return S_OK;
}

HRESULT Writer::GetInputProps(DWORD input, IWMInputMediaProps** props) {
    if (!props)
        return E_POINTER;
    *props = nullptr;
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        *props = new InputProps(m_input, kInputName);
        return S_OK;
    });
}

HRESULT Writer::SetInputProps(DWORD input, IWMInputMediaProps* props) {
    if (!props)
        return E_POINTER;
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (m_state == State::Writing)
        return NS_E_INVALID_REQUEST;
    return Guard([&] {
        DWORD size = 0;
        HRESULT result = props->GetMediaType(nullptr, &size);
        if (FAILED(result))
            return result;
        if (size < sizeof(WM_MEDIA_TYPE))
            return NS_E_INVALID_INPUT_FORMAT;
        std::vector<uint8_t> buffer(size);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data());
        result = props->GetMediaType(type, &size);
        if (FAILED(result))
            return result;
        MediaType media;
        media.Set(*type);
        PcmInput pcm;
        if (!PcmFrom(media, &pcm))
            return NS_E_INVALID_INPUT_FORMAT;
        m_input = std::move(media);
        return S_OK;
    });
}

HRESULT Writer::GetInputFormatCount(DWORD input, DWORD* count) {
    if (!count)
        return E_POINTER;
    HRESULT hr = CheckInput(input);
    if (SUCCEEDED(hr))
        *count = 1;
    return hr;
}

HRESULT Writer::GetInputFormat(DWORD input, DWORD format, IWMInputMediaProps** props) {
    if (!props)
        return E_POINTER;
    *props = nullptr;
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (format != 0)
        return E_INVALIDARG;
    return Guard([&] {
        *props = new InputProps(DefaultInput(), kInputName);
        return S_OK;
    });
}

HRESULT Writer::BeginWriting() {
    if (m_state != State::Ready)
        return m_state == State::Writing ? NS_E_INVALID_REQUEST : NS_E_NOT_CONFIGURED;
    if (m_path.empty())
        return NS_E_NOT_CONFIGURED;
    return Guard([&] {
        PcmInput pcm;
        if (!PcmFrom(m_input, &pcm))
            return NS_E_INVALID_INPUT_FORMAT;
        auto encoder = std::make_unique<AsfEncoder>();
        HRESULT hr = encoder->Open(m_path, m_target, pcm);
        if (FAILED(hr))
            return hr;
        m_encoder = std::move(encoder);
        m_passes = m_passesEnded = 0;
        m_inPass = false;
        m_state = State::Writing;
        return S_OK;
    });
}

HRESULT Writer::EndWriting() {
    if (m_state != State::Writing)
        return NS_E_INVALID_REQUEST;
    m_state = State::Ready;
    std::unique_ptr<AsfEncoder> encoder = std::move(m_encoder);
    return Guard([&] {
        HRESULT hr = encoder->Finish();
        if (FAILED(hr))
            return hr;
        std::vector<Attribute> written;
        for (const Attribute& attribute : Attributes())
            if (!attribute.readOnly)
                written.push_back(attribute);
        return written.empty() ? S_OK : WriteFileAttributes(m_path, written);
    });
}

HRESULT Writer::AllocateSample(DWORD size, INSSBuffer** sample) {
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    return Guard([&] {
        *sample = new SampleBuffer(size);
        return S_OK;
    });
}

HRESULT Writer::WriteSample(DWORD input, QWORD, DWORD, INSSBuffer* sample) {
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    // The final pass starts once every preprocessing pass asked for has ended.
    if (m_state != State::Writing || m_inPass || m_passesEnded < m_passes)
        return NS_E_INVALID_REQUEST;
    BYTE* bytes = nullptr;
    DWORD length = 0;
    hr = SampleBytes(sample, &bytes, &length);
    // Sample times are not needed: the audio is one stream, coded in the order written.
    return FAILED(hr) ? hr : m_encoder->Write(bytes, length);
}

HRESULT Writer::Flush() {
    return m_state == State::Writing ? S_OK : NS_E_INVALID_REQUEST;
}

HRESULT Writer::GetMaxPreprocessingPasses(DWORD input, DWORD, DWORD* passes) {
    if (!passes)
        return E_POINTER;
    HRESULT hr = CheckInput(input);
    if (SUCCEEDED(hr))
        *passes = m_maxPasses;
    return hr;
}

HRESULT Writer::SetNumPreprocessingPasses(DWORD input, DWORD, DWORD passes) {
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (passes > m_maxPasses)
        return NS_E_INVALID_NUM_PASSES;
    if (m_inPass || m_passesEnded > 0)
        return NS_E_INVALID_REQUEST;
    m_passes = passes;
    return S_OK;
}

HRESULT Writer::BeginPreprocessingPass(DWORD input, DWORD) {
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (m_state != State::Writing || m_inPass || m_passesEnded >= m_passes)
        return NS_E_INVALID_REQUEST;
    m_inPass = true;
    return S_OK;
}

HRESULT Writer::PreprocessSample(DWORD input, QWORD, DWORD, INSSBuffer* sample) {
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (!m_inPass)
        return NS_E_INVALID_REQUEST;
    BYTE* bytes = nullptr;
    DWORD length = 0;
    // The encoders give every frame the same number of bytes, so there is nothing to learn
    // from a first look at the audio: the pass only takes it.
    return SampleBytes(sample, &bytes, &length);
}

HRESULT Writer::EndPreprocessingPass(DWORD input, DWORD) {
    HRESULT hr = CheckInput(input);
    if (FAILED(hr))
        return hr;
    if (!m_inPass)
        return NS_E_INVALID_REQUEST;
    m_inPass = false;
    ++m_passesEnded;
    return S_OK;
}

} // namespace wmruntime
