#include "WMAConvSource.h"

#include "TrelvoxMetadata.h"
#include "WMRuntime.h"
#include "WatchedFileStream.h"

#include <wmsdk.h>
#include <uuids.h>

#include <string.h>

#include <memory>
#include <new>

using trelvox::ComPtr;
using trelvox::DescribeWmError;
using trelvox::RuntimeCaller;

namespace {

constexpr HRESULT kNoMoreSamples = static_cast<HRESULT>(0xC00D0BCF);
constexpr HRESULT kProtectedContent = static_cast<HRESULT>(0xC00D0BBD);
constexpr int kMaxWidePath = 2048;
constexpr const char* kRuntimeHelp = "https://www.microsoft.com/windows/windowsmedia/download/";
constexpr const char* kOpenHelp = "https://support.microsoft.com/kb/wmerrors";
// Samples fetched per call of the runtime caller, and the bytes after which a call stops early
// (video samples can be large).
constexpr unsigned kBatchSamples = 16;
constexpr DWORD kBatchBytes = 256 * 1024;

} // namespace

struct CWMAConvSource::SampleBatch {
    struct Entry {
        ComPtr<INSSBuffer> sample;
        DWORD output = 0;
    };
    Entry entries[kBatchSamples];
    unsigned count = 0; // entries fetched
    unsigned next = 0;  // entries handed out
    HRESULT end = S_OK; // what ended the fetching after the entries: kNoMoreSamples or a failure
};

CWMAConvSource::CWMAConvSource() = default;

CWMAConvSource::~CWMAConvSource() {
    Close();
}

HRESULT CWMAConvSource::QueryInterface(REFIID riid, void** out) {
    return CDefConvertSource::QueryInterface(riid, out);
}

ULONG CWMAConvSource::AddRef() {
    return CDefConvertSource::AddRef();
}

ULONG CWMAConvSource::Release() {
    return CDefConvertSource::Release();
}

void* CWMAConvSource::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_ISampleReader))
        return static_cast<ISampleReader*>(this);
    if (IsEqualIID(riid, IID_ISourceInfo))
        return static_cast<ISourceInfo*>(this);
    return CDefConvertSource::FindInterface(riid);
}

bool CWMAConvSource::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_WMAConvSource;
    return true;
}

bool CWMAConvSource::GetMetadata(IMetadata** md) {
    return md && SUCCEEDED(MetadataCreateFromFile(m_path, md));
}

bool CWMAConvSource::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!OpenReader()) {
        Close();
        return false;
    }
    return true;
}

bool CWMAConvSource::OpenReader() {
    wchar_t widePath[kMaxWidePath];
    if (MultiByteToWideChar(CP_ACP, 0, m_path, -1, widePath, kMaxWidePath) == 0) {
        SetError("Wide char cannot be converted multi byte");
        return false;
    }
    // The clock and the batch belong to the calls as well, which may outlive this source.
    try {
        m_clock = std::make_shared<trelvox::ProgressClock>();
        m_batch = std::make_shared<SampleBatch>();
    } catch (const std::bad_alloc&) {
        SetError("Out of memory");
        return false;
    }
    HRESULT hr = trelvox::WmCreateSyncReader(m_reader.put());
    if (hr == trelvox::kWmRuntimeMissing) {
        SetError("Windows Media component has not been installed or is obsolete, see %s", kRuntimeHelp);
        return false;
    }
    if (FAILED(hr) || !m_reader) {
        SetError("Reader cannot be created (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    m_stream = CWatchedFileStream::Open(widePath, m_clock, &hr);
    // Opening starts the decoder, which reads the file: where a damaged file makes it loop.
    if (m_stream &&
        !ReaderCall([reader = m_reader, stream = m_stream] { return reader->OpenStream(stream.get()); },
                    &hr)) {
        Close();
        return false;
    }
    if (FAILED(hr)) {
        Close();
        SetError("Source file cannot be opened (error %lX)", hr);
        if (hr == kProtectedContent)
            SetError("See also: %s", kOpenHelp);
        DescribeWmError(*this, hr);
        return false;
    }
    if (!FindAudioOutput() || !ReadAudioFormat())
        return false;

    ComPtr<IWMHeaderInfo> header;
    if (FAILED(m_reader.As(&header))) {
        Close();
        SetError("Windows Media reader does not support header information interface");
        return false;
    }
    WORD anyStream = 0;
    WMT_ATTR_DATATYPE type;
    QWORD duration = 0;
    WORD size = sizeof(duration);
    if (FAILED(header->GetAttributeByName(&anyStream, L"Duration", &type, reinterpret_cast<BYTE*>(&duration),
                                          &size)))
        duration = 0;
    m_duration = duration;

    ReleaseHeldSample();
    if (FAILED(m_reader->GetStreamNumberForOutput(m_audioOutput, &m_audioStream))) {
        SetInfo("Warning: Stream number for audio output cannot be retrieved");
        m_audioStream = 0;
    }
    // Bytes per hundredth of a second times hundredths of a second, in single precision.
    const float bytesPerHundredth = static_cast<float>(m_format.nAvgBytesPerSec) / 100.0f;
    m_totalBytes = static_cast<uint32_t>(bytesPerHundredth * static_cast<float>(m_duration / 100000));
    return true;
}

bool CWMAConvSource::FindAudioOutput() {
    DWORD outputs = 0;
    HRESULT hr = m_reader->GetOutputCount(&outputs);
    if (FAILED(hr)) {
        Close();
        SetError("Number of output properties cannot be retrieved (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    bool found = false;
    for (DWORD output = 0; output < outputs; ++output) {
        ComPtr<IWMOutputMediaProps> props;
        hr = m_reader->GetOutputProps(output, props.put());
        if (FAILED(hr)) {
            Close();
            SetError("Output properties cannot be retrieved (error %lX)", hr);
            DescribeWmError(*this, hr);
            return false;
        }
        GUID type;
        hr = props->GetType(&type);
        if (FAILED(hr)) {
            SetError("Type of output property cannot be retrieved (error %lX)", hr);
            DescribeWmError(*this, hr);
            continue;
        }
        if (IsEqualGUID(type, MEDIATYPE_Audio)) {
            m_audioOutput = output;
            found = true;
        }
    }
    if (!found) {
        Close();
        SetError("Windows Media file does not contain audio");
        return false;
    }
    return true;
}

bool CWMAConvSource::ReadAudioFormat() {
    ComPtr<IWMOutputMediaProps> props;
    DWORD size = 0;
    if (FAILED(m_reader->GetOutputProps(m_audioOutput, props.put())) ||
        FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE)) {
        Close();
        return false;
    }
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
    if (!block) {
        Close();
        SetError("Out of memory");
        return false;
    }
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.get());
    if (FAILED(props->GetMediaType(type, &size))) {
        Close();
        return false;
    }
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) || !IsEqualGUID(type->subtype, MEDIASUBTYPE_PCM) ||
        !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) || !type->pbFormat || type->cbFormat < 16) {
        Close();
        SetError("Audio format of WMA is invalid");
        return false;
    }
    m_format = {};
    memcpy(&m_format, type->pbFormat, type->cbFormat < sizeof(WAVEFORMATEX) ? 16 : sizeof(WAVEFORMATEX));
    if (m_format.nBlockAlign == 0 || m_format.nSamplesPerSec == 0) {
        Close();
        SetError("Audio format of WMA is invalid");
        return false;
    }
    return true;
}

bool CWMAConvSource::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (!m_reader) {
        SetError("Source not opened");
        return false;
    }
    if (!sink)
        return false;
    if (m_startTime > 0) {
        HRESULT hr;
        if (!MoveReader(static_cast<QWORD>(m_startTime) * 10000, &hr))
            return false;
        if (FAILED(hr)) {
            SetError("Reader range cannot be set (error %lX)", hr);
            DescribeWmError(*this, hr);
        }
    }
    for (;;) {
        ComPtr<INSSBuffer> sample;
        BYTE* data = nullptr;
        DWORD length = 0;
        HRESULT hr = NextSample(sample, &data, &length);
        if (hr == kNoMoreSamples)
            return true;
        if (FAILED(hr))
            return false;
        if (length > 0 && !sink->OnData(data, length))
            return false;
    }
}

HRESULT CWMAConvSource::NextSample(ComPtr<INSSBuffer>& sample, BYTE** data, DWORD* length) {
    for (;;) {
        if (!m_batch)
            return E_ABORT;
        if (m_batch->next == m_batch->count) {
            const HRESULT end = m_batch->end;
            if (end == kNoMoreSamples)
                return end;
            if (FAILED(end)) {
                SetError("Windows Media sample reading failed (error %lX)", end);
                DescribeWmError(*this, end);
                return end;
            }
            if (!FetchSamples())
                return E_ABORT;
            continue;
        }
        SampleBatch::Entry& entry = m_batch->entries[m_batch->next++];
        sample = std::move(entry.sample);
        if (!sample || entry.output != m_audioOutput)
            continue;
        HRESULT hr = sample->GetBufferAndLength(data, length);
        if (FAILED(hr))
            SetError("Buffer and length of sample cannot be retrieved (error %lX)", hr);
        return hr;
    }
}

bool CWMAConvSource::FetchSamples() {
    m_batch->count = m_batch->next = 0;
    HRESULT hr;
    const bool returned = ReaderCall(
        [reader = m_reader, batch = m_batch, clock = m_clock, stream = m_audioStream] {
            DWORD bytes = 0;
            while (batch->count < kBatchSamples && bytes < kBatchBytes) {
                SampleBatch::Entry& entry = batch->entries[batch->count];
                QWORD time = 0, duration = 0;
                DWORD flags = 0, length = 0;
                WORD number = 0;
                HRESULT hr = reader->GetNextSample(stream, entry.sample.put(), &time, &duration, &flags,
                                                   &entry.output, &number);
                if (FAILED(hr)) {
                    batch->end = hr;
                    break;
                }
                ++batch->count;
                clock->Touch();
                if (entry.sample && SUCCEEDED(entry.sample->GetLength(&length)))
                    bytes += length;
            }
            return S_OK;
        },
        &hr);
    // An abandoned call may still write into the batch: it is its own from now on.
    if (!returned)
        m_batch.reset();
    return returned;
}

bool CWMAConvSource::MoveReader(QWORD start, HRESULT* result) {
    if (!ReaderCall([reader = m_reader, start] { return reader->SetRange(start, 0); }, result))
        return false;
    if (SUCCEEDED(*result)) {
        ReleaseHeldSample();
        DropFetched();
    }
    return true;
}

void CWMAConvSource::DropFetched() {
    if (!m_batch)
        return;
    for (SampleBatch::Entry& entry : m_batch->entries)
        entry.sample.reset();
    m_batch->count = m_batch->next = 0;
    m_batch->end = S_OK;
}

bool CWMAConvSource::Close() {
    CDefConvertSource::Close();
    ReleaseHeldSample();
    ReleaseReader();
    return true;
}

template <class Call> bool CWMAConvSource::ReaderCall(Call&& call, HRESULT* result) {
    *result = E_ABORT;
    if (m_caller.Abandoned())
        return false;
    const RuntimeCaller::End end = m_caller.Run(std::forward<Call>(call), result, *m_clock, m_stream.get());
    if (end == RuntimeCaller::End::Returned)
        return true;
    SetError("Windows Media reader made no progress for %lu seconds, the file may be damaged",
             trelvox::StallLimitSeconds());
    if (end == RuntimeCaller::End::Abandoned)
        SetInfo("Windows Media: The reader does not stop; it is left behind until the program ends");
    return false;
}

void CWMAConvSource::ReleaseReader() {
    DropFetched();
    if (!m_reader)
        return;
    // After an abandoned call the reader is only let go (that call holds it as well), on a new
    // thread.
    m_caller.StartOver();
    ComPtr<CWatchedFileStream> stream = m_stream;
    HRESULT hr;
    m_caller.Run(
        [reader = std::move(m_reader), stream = std::move(m_stream)]() mutable {
            reader.reset();
            stream.reset();
            return S_OK;
        },
        &hr, *m_clock, stream.get());
    m_reader.reset();
    m_stream.reset();
}

void CWMAConvSource::ReleaseHeldSample() {
    m_heldSample.reset();
    m_heldOffset = 0;
}

bool CWMAConvSource::SetPosition(DWORD frame) {
    if (!m_reader) {
        SetError("Source not opened");
        return false;
    }
    const QWORD start = static_cast<QWORD>(frame) * 10000000 / m_format.nSamplesPerSec;
    HRESULT hr;
    if (!MoveReader(start, &hr))
        return false;
    if (FAILED(hr)) {
        SetError("Reader range cannot be set (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    return true;
}

WORD CWMAConvSource::GetFrameSize() {
    return m_format.nBlockAlign;
}

bool CWMAConvSource::GetFrameCount(DWORD* frames) {
    if (!frames)
        return false;
    *frames = 0;
    if (m_format.nBlockAlign == 0)
        return false;
    *frames = m_totalBytes / m_format.nBlockAlign;
    return true;
}

DWORD CWMAConvSource::ReadFrames(DWORD frames, void* buffer) {
    if (!m_reader) {
        SetError("Source not opened");
        return 0;
    }
    const WORD frameSize = m_format.nBlockAlign;
    if (!buffer || frameSize == 0)
        return 0;
    const uint64_t wanted = static_cast<uint64_t>(frames) * frameSize;
    uint64_t copied = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (copied < wanted) {
        if (m_heldSample) {
            BYTE* data = nullptr;
            DWORD length = 0;
            if (FAILED(m_heldSample->GetBufferAndLength(&data, &length)) || m_heldOffset >= length) {
                ReleaseHeldSample();
                continue;
            }
            uint64_t take = length - m_heldOffset;
            if (take > wanted - copied)
                take = wanted - copied;
            memcpy(out + copied, data + m_heldOffset, static_cast<size_t>(take));
            copied += take;
            m_heldOffset += static_cast<DWORD>(take);
            if (m_heldOffset >= length)
                ReleaseHeldSample();
            continue;
        }
        ComPtr<INSSBuffer> sample;
        BYTE* data = nullptr;
        DWORD length = 0;
        if (NextSample(sample, &data, &length) != S_OK)
            break; // the end, or a failure already reported
        uint64_t take = length;
        if (take > wanted - copied)
            take = wanted - copied;
        memcpy(out + copied, data, static_cast<size_t>(take));
        copied += take;
        if (take < length) {
            m_heldSample = std::move(sample);
            m_heldOffset = static_cast<DWORD>(take);
        }
    }
    return static_cast<DWORD>(copied / frameSize);
}

bool CWMAConvSource::GetBitrate(DWORD* bitsPerSecond) {
    if (!m_reader || !bitsPerSecond)
        return false;
    bool found = false;
    DWORD bitrate = 0;
    {
        ComPtr<IWMProfile> profile;
        if (SUCCEEDED(m_reader.As(&profile))) {
            DWORD streams = 0;
            if (FAILED(profile->GetStreamCount(&streams)))
                streams = 0;
            for (DWORD i = 0; i < streams; ++i) {
                ComPtr<IWMStreamConfig> config;
                GUID type;
                WORD number = 0;
                DWORD rate = 0;
                if (FAILED(profile->GetStream(i, config.put())) || FAILED(config->GetStreamType(&type)) ||
                    !IsEqualGUID(type, MEDIATYPE_Audio) || FAILED(config->GetStreamNumber(&number)) ||
                    FAILED(config->GetBitrate(&rate)))
                    continue;
                bitrate = rate;
                found = true;
            }
        }
    }
    // The profile belongs to the reader's session, which ends here: reading needs a new Open.
    ReleaseHeldSample();
    ReleaseReader();
    if (found)
        *bitsPerSecond = bitrate;
    return found;
}
