#include "WMAConvDest.h"

#include "Trace.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"
#include "WMAProfile.h"
#include "WMRuntime.h"

#include <uuids.h>
#include <wmsdk.h>

#include <string.h>

#include <memory>
#include <new>
#include <vector>

using trelvox::ComPtr;
using trelvox::DescribeWmError;

namespace {

constexpr int kMaxWidePath = 2048;
constexpr uint64_t kUnitsPerSecond = 10000000; // 100-ns units

} // namespace

CWMAConvDest::CWMAConvDest() = default;

CWMAConvDest::~CWMAConvDest() {
    Close();
}

bool CWMAConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_WMAConvDest;
    return true;
}

bool CWMAConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    m_sampleTime = 0;
    m_bytesWritten = 0;
    m_passes = 0;
    wchar_t widePath[kMaxWidePath];
    if (MultiByteToWideChar(CP_ACP, 0, m_path, -1, widePath, kMaxWidePath) == 0) {
        SetError("Wide char cannot be converted multi byte");
        return false;
    }
    try {
        return OpenWriter(widePath);
    } catch (const std::bad_alloc&) {
        Close();
        SetError("Out of memory");
        return false;
    }
}

bool CWMAConvDest::OpenWriter(const wchar_t* path) {
    HRESULT hr = trelvox::WmCreateWriter(m_writer.put());
    if (FAILED(hr) || !m_writer) {
        hr = FAILED(hr) ? hr : E_UNEXPECTED;
        Close();
        SetError("Writer cannot be created (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    // Only runtimes whose codecs can look at the audio first have it.
    if (FAILED(m_writer.As(&m_preprocess)))
        m_preprocess.reset();

    ComPtr<IWMProfile> profile;
    hr = trelvox::BuildWmaProfile(Settings(), profile.put());
    if (FAILED(hr) || !profile) {
        hr = FAILED(hr) ? hr : E_UNEXPECTED;
        Close();
        SetError("Profile cannot be created (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    hr = m_writer->SetProfile(profile.get());
    profile.reset();
    if (FAILED(hr)) {
        Close();
        SetError("WMA encoding profile cannot be set (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    if (!SetAudioInput())
        return false;
    hr = m_writer->SetOutputFilename(path);
    if (FAILED(hr)) {
        Close();
        SetError("Output filename was not accepted by WMA encoder (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    hr = m_writer->BeginWriting();
    if (FAILED(hr)) {
        Close();
        SetError("Writing process cannot be started (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    m_writing = true;
    m_passes = 0;
    m_recording = false;
    BeginTwoPass();
    return true;
}

bool CWMAConvDest::SetAudioInput() {
    DWORD inputs = 0;
    HRESULT hr = m_writer->GetInputCount(&inputs);
    if (FAILED(hr)) {
        Close();
        SetError("Number of input properties cannot be retrieved (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    ComPtr<IWMInputMediaProps> audio;
    for (DWORD i = 0; i < inputs; ++i) {
        ComPtr<IWMInputMediaProps> props;
        hr = m_writer->GetInputProps(i, props.put());
        if (FAILED(hr) || !props) {
            hr = FAILED(hr) ? hr : E_UNEXPECTED;
            SetError("Input property cannot be retrieved (error %lX)", hr);
            DescribeWmError(*this, hr);
            return false;
        }
        GUID type = GUID_NULL;
        hr = props->GetType(&type);
        if (FAILED(hr)) {
            SetError("Type of input property cannot be retrieved (error %lX)", hr);
            DescribeWmError(*this, hr);
            return false;
        }
        if (IsEqualGUID(type, MEDIATYPE_Audio)) {
            audio = props;
            m_audioInput = i;
        }
    }
    if (!audio) {
        Close();
        SetError("Audio properties not found (error #%lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }

    // Only the 18 bytes of the record travel between objects; extra bytes (none for PCM) are 0.
    std::vector<BYTE> format(sizeof(WAVEFORMATEX) + m_format.cbSize, 0);
    memcpy(format.data(), &m_format, sizeof(WAVEFORMATEX));
    WM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = m_format.wBitsPerSample / 8;
    type.formattype = FORMAT_WaveFormatEx;
    type.pUnk = nullptr;
    type.cbFormat = static_cast<ULONG>(format.size());
    type.pbFormat = format.data();
    hr = audio->SetMediaType(&type);
    if (FAILED(hr)) {
        Close();
        char text[128];
        wsprintfA(text, "Media type cannot be set (error %lX)", hr);
        if (IConvertCallback* callback = Callback())
            callback->ReportMessage(text);
        DescribeWmError(*this, hr);
        return false;
    }
    hr = m_writer->SetInputProps(m_audioInput, audio.get());
    audio.reset();
    if (FAILED(hr)) {
        Close();
        SetError("Input properties cannot be set (error %lX)", hr);
        DescribeWmError(*this, hr);
        SetInfo("Source format is %d kHz, %d bit, %s", int(m_format.nSamplesPerSec / 1000),
                int(m_format.wBitsPerSample), m_format.nChannels == 1 ? "mono" : "stereo");
        return false;
    }
    return true;
}

void CWMAConvDest::BeginTwoPass() {
    if (!m_preprocess)
        return;
    DWORD passes = 0;
    if (FAILED(m_preprocess->GetMaxPreprocessingPasses(0, 0, &passes)))
        return;
    m_passes = passes;
    if (m_passes != 0 && FAILED(m_preprocess->SetNumPreprocessingPasses(0, 0, m_passes)))
        m_passes = 0; // the codec encodes in one pass
    if (m_passes == 0)
        return;
    TX_TRACE(wm, "%lu preprocessing passes", m_passes);
    m_preprocess->BeginPreprocessingPass(m_audioInput, 0);
    m_replay.Create("wpp");
    m_recording = true;
}

bool CWMAConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!m_writer || !pcm)
        return false;
    return WriteBlock(bytes, pcm);
}

bool CWMAConvDest::WriteBlock(uint32_t bytes, const void* pcm) {
    ComPtr<INSSBuffer> sample;
    HRESULT hr = m_writer->AllocateSample(bytes, sample.put());
    if (FAILED(hr) || !sample) {
        hr = FAILED(hr) ? hr : E_UNEXPECTED;
        SetError("Sample cannot be allocated (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    BYTE* buffer = nullptr;
    DWORD length = 0;
    hr = sample->GetBufferAndLength(&buffer, &length);
    if (FAILED(hr)) {
        SetError("Buffer and length cannot be retrieved (error %lX)", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    if (length != bytes || !buffer) {
        SetError("Buffer too small");
        return false;
    }
    memcpy(buffer, pcm, bytes);
    const bool preprocessing = m_passes != 0;
    if (preprocessing) {
        hr = m_preprocess->PreprocessSample(m_audioInput, m_sampleTime, 0, sample.get());
        if (SUCCEEDED(hr) && m_recording && m_replay.IsOpen() &&
            fwrite(pcm, 1, bytes, m_replay.get()) != bytes) {
            SetError("Temporary file cannot be written: %s", m_replay.Path());
            return false;
        }
    } else {
        hr = m_writer->WriteSample(m_audioInput, m_sampleTime, 0, sample.get());
    }
    if (FAILED(hr)) {
        SetError("Sample cannot be %s (error %lX)", preprocessing ? "preprocessed" : "processed", hr);
        DescribeWmError(*this, hr);
        return false;
    }
    m_bytesWritten += bytes;
    if (m_format.nAvgBytesPerSec != 0)
        m_sampleTime += uint64_t(bytes) * kUnitsPerSecond / m_format.nAvgBytesPerSec;
    return true;
}

bool CWMAConvDest::Replay() {
    IConvertCallback* callback = Callback();
    bool cancelled = callback && callback->IsCancelled();
    int pass = 1;
    const DWORD blockBytes = m_format.nAvgBytesPerSec;
    std::unique_ptr<BYTE[]> block(blockBytes ? new (std::nothrow) BYTE[blockBytes] : nullptr);
    while (m_passes != 0 && !cancelled) {
        HRESULT hr = m_preprocess->EndPreprocessingPass(m_audioInput, 0);
        if (FAILED(hr)) {
            SetError("Preprocessing pass cannot be ended (error %lX)", hr);
            DescribeWmError(*this, hr);
        }
        --m_passes;
        FILE* file = m_replay.get();
        long size = 0;
        if (file && fflush(file) == 0 && fseek(file, 0, SEEK_END) == 0)
            size = ftell(file);
        if (size <= 0 || !block) {
            SetError("Source file doesn't contain audio: Nothing to do!");
            cancelled = true;
            break;
        }
        rewind(file);
        m_recording = false;
        if (m_passes != 0)
            m_preprocess->BeginPreprocessingPass(m_audioInput, 0);
        if (callback) {
            ++pass;
            char status[32];
            wsprintfA(status, "Pass %d:", pass);
            callback->SetStatusText(status);
            callback->SetProgressPos(0);
        }
        m_sampleTime = 0;
        m_bytesWritten = 0;
        for (;;) {
            const size_t read = fread(block.get(), 1, blockBytes, file);
            if (read == 0)
                break;
            // A block that fails has been reported; the rest of the pass still goes in.
            WriteBlock(static_cast<uint32_t>(read), block.get());
            if (callback) {
                callback->StepProgress(static_cast<uint32_t>(read));
                if (callback->IsCancelled()) {
                    cancelled = true;
                    break;
                }
            }
        }
    }
    return cancelled;
}

bool CWMAConvDest::Close() {
    CDefConvertDestination::Close();
    if (!m_writer) {
        m_replay.Reset();
        return true;
    }
    const bool cancelled = Replay();
    m_replay.Reset();
    const bool wrote = m_writing;
    if (m_writing) {
        m_writing = false;
        HRESULT hr = m_writer->EndWriting();
        if (FAILED(hr) && !cancelled) {
            SetError("Writing process cannot be finished (error %lX)", hr);
            DescribeWmError(*this, hr);
        }
    }
    ReleaseWriter();
    if (wrote && !cancelled)
        AddToMediaLibrary(nullptr, m_path);
    return true;
}

void CWMAConvDest::ReleaseWriter() {
    m_preprocess.reset();
    m_writer.reset();
    m_passes = 0;
    m_recording = false;
}

bool CWMAConvDest::GetMetadata(IMetadata** md) {
    return md && SUCCEEDED(MetadataCreateFromFile(m_path, md));
}

bool CWMAConvDest::EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat, uint32_t* outBytes) {
    if (!inFormat || !outBytes || inFormat->nAvgBytesPerSec == 0)
        return false;
    trelvox::WmaCodecInfo info;
    const WMASETTINGS& record = Settings();
    ComPtr<IWMStreamConfig> config;
    DWORD bitrate = 0;
    if (FAILED(info.Open()) || FAILED(info.SetVbrForMode(DWORD(record.codec), record.mode)) ||
        FAILED(info.Format(DWORD(record.codec), DWORD(record.format), config.put())) || !config ||
        FAILED(config->GetBitrate(&bitrate)) || bitrate == 0)
        return false;
    *outBytes =
        static_cast<uint32_t>(double(bitrate) / 8.0 * double(inBytes) / double(inFormat->nAvgBytesPerSec));
    return true;
}

bool CWMAConvDest::ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) {
    return m_settings.RunFor<CWMAConvDest>(parent, alsoApply, CLSID_WMAConvDest);
}

bool CWMAConvDest::GetSettingsText(char* buf, int size) {
    return trelvox::WmaFormatDescription(Settings(), buf, size);
}

bool CWMAConvDest::SetOption(const char* name, const char* value, char* message) {
    try {
        return trelvox::SetWmaOption(Settings(), name, value, message);
    } catch (const std::bad_alloc&) {
        return false;
    }
}
