#include "DirectShowConvSource.h"

#include "DeclaredChannels.h"
#include "MmioReader.h"
#include "MyBaseRenderer.h"
#include "ReaderGuard.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <dshow.h>

#include <string.h>

#include <new>

using trelvox::ComPtr;
using trelvox::RuntimeCaller;

namespace {

constexpr HRESULT kUnknownFileType = static_cast<HRESULT>(0x80040240);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80040216);
// Wine's file source reports a missing file with the Win32 codes instead.
constexpr HRESULT kWin32FileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kWin32PathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
constexpr const char* kInstallHelp = "https://www.trelvox.net/help/decoders";
constexpr const char* kReinstallHelp = "https://www.trelvox.net/help/directshow";
constexpr LONGLONG kUnitsPerSecond = 10000000; // 100-ns units
constexpr DWORD kPlayPollMs = 20;
constexpr DWORD kReaderWaitMs = 300;
constexpr const char* kTempPrefix = "dss";
// Wine's GStreamer decoders hand a file's channel count to GStreamer's channel mixer, which
// takes fewer than 64 and otherwise fails an assertion that ends the process in native code.
constexpr uint32_t kMaxDecodedChannels = 63;

// The first output pin of filter, or null.
ComPtr<IPin> FirstOutputPin(IBaseFilter* filter, HRESULT* result) {
    ComPtr<IEnumPins> pins;
    *result = filter->EnumPins(pins.put());
    if (FAILED(*result))
        return {};
    for (;;) {
        ComPtr<IPin> pin;
        *result = pins->Next(1, pin.put(), nullptr);
        if (*result != S_OK)
            return {};
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT)
            return pin;
    }
}

} // namespace

CDirectShowConvSource::CDirectShowConvSource() = default;

CDirectShowConvSource::~CDirectShowConvSource() {
    Close();
}

HRESULT CDirectShowConvSource::QueryInterface(REFIID riid, void** out) {
    return CDefConvertSource::QueryInterface(riid, out);
}

ULONG CDirectShowConvSource::AddRef() {
    return CDefConvertSource::AddRef();
}

ULONG CDirectShowConvSource::Release() {
    return CDefConvertSource::Release();
}

void* CDirectShowConvSource::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_ISampleReader))
        return static_cast<ISampleReader*>(this);
    return CDefConvertSource::FindInterface(riid);
}

bool CDirectShowConvSource::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_DirectShowConvSource;
    return true;
}

bool CDirectShowConvSource::GetMetadata(IMetadata** md) {
    return md && SUCCEEDED(MetadataCreateFromFile(m_path, md));
}

bool CDirectShowConvSource::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!BuildGraph()) {
        Close();
        return false;
    }
    return true;
}

bool CDirectShowConvSource::ChannelsDecodable() {
    // mmioOpen takes a writable name.
    char path[sizeof m_path];
    memcpy(path, m_path, sizeof path);
    trelvox::UniqueMmio file(mmioOpenA(path, nullptr, MMIO_READ | MMIO_DENYNONE));
    trelvox::MmioReader reader(file.get());
    uint32_t channels = 0;
    // A file that cannot be opened here is reported by the source filter.
    if (!file || !trelvox::ReadDeclaredChannels(reader, channels) ||
        (channels > 0 && channels <= kMaxDecodedChannels))
        return true;
    if (channels == 0)
        SetError("File format is invalid or corrupted");
    else
        SetError("DirectShow: %lu channels cannot be decoded (at most %lu)",
                 static_cast<unsigned long>(channels), static_cast<unsigned long>(kMaxDecodedChannels));
    return false;
}

bool CDirectShowConvSource::BuildGraph() {
    m_stalled = false;
    if (!ChannelsDecodable())
        return false;
    if (!m_clock) {
        try {
            m_clock = std::make_shared<trelvox::ProgressClock>();
        } catch (const std::bad_alloc&) {
            SetError("Out of memory");
            return false;
        }
    }
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.putVoid());
    if (FAILED(hr)) {
        SetError("DirectShow: Filter graph cannot be instanciated (error %lX)", hr);
        return false;
    }
    try {
        m_renderer = ComPtr<CMyBaseRenderer>(new CMyBaseRenderer(this));
    } catch (const std::bad_alloc&) {
        SetError("Out of memory");
        return false;
    }
    hr = m_graph->AddFilter(m_renderer.get(), L"DirectShowConvSource");
    if (FAILED(hr)) {
        SetError("DirectShow: Renderer filter cannot be added (error %lX)", hr);
        return false;
    }
    wchar_t widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, m_path, -1, widePath, MAX_PATH) == 0)
        widePath[0] = L'\0';
    ComPtr<IBaseFilter> source;
    hr = m_graph->AddSourceFilter(widePath, L"Source", source.put());
    if (FAILED(hr)) {
        if (hr == kUnknownFileType) {
            SetError("Decoding filter for the file format was not installed. (error %lX)", hr);
            SetInfo("To install now, see %s", kInstallHelp);
        } else if (hr == kFileNotFound || hr == kWin32FileNotFound || hr == kWin32PathNotFound) {
            SetError("Source file was not found");
        } else {
            SetError("Source filter could not be loaded. (error %lX)", hr);
            SetInfo("Try reinstalling, see %s", kReinstallHelp);
        }
        return false;
    }
    ComPtr<IPin> output = FirstOutputPin(source.get(), &hr);
    if (!output) {
        SetError("Source filter doesn't have output pin (error %lX)", hr);
        return false;
    }
    // Without a reference clock the graph runs as fast as the renderer takes the data.
    ComPtr<IMediaFilter> graphFilter;
    if (SUCCEEDED(m_graph->QueryInterface(IID_IMediaFilter, graphFilter.putVoid())))
        graphFilter->SetSyncSource(nullptr);
    InsertGuard(output);
    ComPtr<IPin> input;
    m_renderer->FindPin(L"In", input.put());
    // Connecting finds and starts the parser, which reads the file: where a damaged file makes
    // it loop.
    if (!GraphCall([graph = m_graph, output, input] { return graph->Connect(output.get(), input.get()); },
                   &hr))
        return false;
    if (FAILED(hr)) {
        SetError("Decoding filter for the file format was not installed! (error %lX)", hr);
        SetInfo("To install now, see %s", kInstallHelp);
        return false;
    }
    m_graph->QueryInterface(IID_IMediaControl, m_control.putVoid());
    m_graph->QueryInterface(IID_IMediaEventEx, m_events.putVoid());
    m_graph->QueryInterface(IID_IMediaSeeking, m_seeking.putVoid());
    m_graph->QueryInterface(IID_IMediaPosition, m_position.putVoid());

    memcpy(&m_format, &m_pcmFormat, sizeof(WAVEFORMATEX));
    m_format.cbSize = 0;
    m_dataSize = 0;
    LONGLONG duration = 0;
    if (m_seeking && m_seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK &&
        SUCCEEDED(m_seeking->GetDuration(&duration)) && duration > 0)
        m_dataSize = static_cast<uint32_t>(
            MulDiv(static_cast<int>(duration / 10000),
                   m_format.nBlockAlign * static_cast<int>(m_format.nSamplesPerSec), 1000));
    m_totalBytes = m_dataSize;
    m_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_completed = false;
    m_seekFrame = 0;
    m_handedOut = 0;
    return true;
}

bool CDirectShowConvSource::InsertGuard(ComPtr<IPin>& output) {
    ComPtr<CReaderGuard> guard;
    try {
        guard = ComPtr<CReaderGuard>(new CReaderGuard(m_clock));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (FAILED(m_graph->AddFilter(guard.get(), L"Reader guard")))
        return false;
    // A file source connects at once: nothing reads the file yet.
    if (FAILED(m_graph->ConnectDirect(output.get(), guard->Input(), nullptr))) {
        m_graph->RemoveFilter(guard.get());
        return false;
    }
    output.assign(guard->Output());
    m_guard = std::move(guard);
    return true;
}

template <class Call> bool CDirectShowConvSource::GraphCall(Call&& call, HRESULT* result) {
    *result = E_ABORT;
    if (m_caller.Abandoned())
        return false;
    const RuntimeCaller::End end = m_caller.Run(std::forward<Call>(call), result, *m_clock, m_guard.get());
    if (end == RuntimeCaller::End::Returned)
        return true;
    ReportStall(end == RuntimeCaller::End::Abandoned);
    return false;
}

bool CDirectShowConvSource::Control(HRESULT (STDMETHODCALLTYPE IMediaControl::*operation)(),
                                    HRESULT* result) {
    return GraphCall([control = m_control, operation] { return (control.get()->*operation)(); }, result);
}

void CDirectShowConvSource::ReportStall(bool abandoned) {
    if (!m_stalled)
        SetError("DirectShow: Decoder made no progress for %lu seconds, the file may be damaged",
                 trelvox::StallLimitSeconds());
    m_stalled = true;
    if (abandoned)
        SetInfo("DirectShow: The decoder does not stop; it is left behind until the program ends");
}

bool CDirectShowConvSource::DecoderStalled() const {
    return !m_inSink.load() && m_clock->IdleMs() >= trelvox::StallLimitMs();
}

void CDirectShowConvSource::StopStalledGraph() {
    if (m_guard)
        m_guard->CancelStalled();
    ReportStall(false);
    HRESULT hr;
    Control(&IMediaControl::Stop, &hr);
}

void CDirectShowConvSource::EndOfStream() {
    if (m_event)
        SetEvent(m_event.get());
}

void CDirectShowConvSource::AcceptFormat(const WAVEFORMATEX& format) {
    m_pcmFormat = format;
}

void CDirectShowConvSource::DeliverSample(LONGLONG start, const uint8_t* data, uint32_t length) {
    m_clock->Touch();
    IPlayCallback* sink = m_sink.load();
    if (sink && !m_stopRequest.load()) {
        m_inSink.store(true);
        const bool taken = sink->OnData(data, length);
        m_clock->Touch();
        m_inSink.store(false);
        if (!taken) {
            m_stopRequest.store(true);
            if (m_event)
                SetEvent(m_event.get());
        }
    }
    std::lock_guard<std::mutex> hold(m_fileLock);
    if (!m_tempFile.IsOpen())
        return;
    const uint32_t rate = m_format.nSamplesPerSec;
    const uint32_t align = m_format.nBlockAlign;
    const LONGLONG target = static_cast<LONGLONG>(m_seekFrame) * kUnitsPerSecond / rate;
    uint32_t skip = 0;
    if (start < target) {
        const uint64_t frames = static_cast<uint64_t>(target - start) * rate / kUnitsPerSecond;
        const uint64_t bytes = frames * align;
        skip = bytes > length ? length : static_cast<uint32_t>(bytes);
    }
    if (skip < length) {
        fseek(m_tempFile.get(), 0, SEEK_END);
        const size_t written = fwrite(data + skip, 1, length - skip, m_tempFile.get());
        m_fileBytes += written;
    }
    if (m_event)
        SetEvent(m_event.get());
}

bool CDirectShowConvSource::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (!sink || !m_control || !m_events || m_stalled)
        return false;
    m_stopRequest.store(false);
    m_sink.store(sink);
    HRESULT hr;
    if (m_startTime != -1 && m_seeking) {
        hr = m_seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
        if (FAILED(hr))
            SetError("DirectShow: Failed to set time format (error %lX)", hr);
        if (!Seek(static_cast<LONGLONG>(m_startTime) * 10000, &hr)) {
            m_sink.store(nullptr);
            return false;
        }
        if (FAILED(hr))
            SetError("DirectShow: Seeking failed, encoding from start (error %lX)", hr);
    }
    if (!Control(&IMediaControl::Run, &hr)) {
        m_sink.store(nullptr);
        return false;
    }
    if (FAILED(hr)) {
        m_sink.store(nullptr);
        SetError("Media control run failed: %lX", hr);
        return false;
    }
    bool played = true;
    for (;;) {
        LONG code = 0;
        hr = m_events->WaitForCompletion(0, &code);
        // A sink that refused data ends the loop: a stopped graph completes nothing.
        if (Completed(hr) || m_stopRequest.load())
            break;
        if (DecoderStalled()) {
            StopStalledGraph();
            played = false;
            break;
        }
        // The renderer signals the stop request and the end of the stream; the time-out only
        // bounds how late anything else is noticed.
        WaitForSingleObject(m_event.get(), kPlayPollMs);
    }
    if (played)
        Control(&IMediaControl::Stop, &hr);
    m_stopRequest.store(false);
    m_sink.store(nullptr);
    return played;
}

bool CDirectShowConvSource::Seek(LONGLONG position, HRESULT* result) {
    return GraphCall(
        [seeking = m_seeking, position]() mutable {
            return seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                         AM_SEEKING_NoPositioning);
        },
        result);
}

bool CDirectShowConvSource::Close() {
    CDefConvertSource::Close();
    if (m_renderer)
        m_renderer->Detach();
    m_sink.store(nullptr);
    if (m_graph) {
        // Stopping and releasing the graph waits for its streaming threads, which a stalled
        // decoder may never let go; the guard is kept for cancelling until the call returns.
        ComPtr<CReaderGuard> guard = m_guard;
        // After an abandoned call nothing may call the graph, which that call may still hold
        // locked: its references are only let go, on a new thread.
        const bool stop = !m_caller.Abandoned();
        m_caller.StartOver();
        auto release = [stop, control = std::move(m_control), events = std::move(m_events),
                        seeking = std::move(m_seeking), position = std::move(m_position),
                        graph = std::move(m_graph), renderer = std::move(m_renderer),
                        guard = std::move(m_guard)]() mutable {
            if (stop && control)
                control->Stop();
            control.reset();
            events.reset();
            seeking.reset();
            position.reset();
            graph.reset();
            renderer.reset();
            guard.reset();
            return S_OK;
        };
        HRESULT hr;
        m_caller.Run(std::move(release), &hr, *m_clock, guard.get());
    }
    m_control.reset();
    m_events.reset();
    m_seeking.reset();
    m_position.reset();
    m_renderer.reset();
    m_guard.reset();
    DeleteTempFile();
    m_event.reset();
    m_stalled = false;
    return true;
}

bool CDirectShowConvSource::Completed(HRESULT waitResult) const {
    if (waitResult == E_ABORT)
        return false;
    // Wine's graph keeps reporting the completion of an earlier run after a stop, a seek and
    // a new Run; only the renderer knows whether this run reached the end.
    return waitResult != S_OK || m_renderer->EndOfStreamReached();
}

bool CDirectShowConvSource::ReaderReady() {
    if (m_control && m_events && m_seeking)
        return true;
    SetError("MediaSeeking object not availabe.");
    return false;
}

bool CDirectShowConvSource::SetPosition(DWORD frame) {
    if (m_stalled || !ReaderReady())
        return false;
    HRESULT hr = m_seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    if (FAILED(hr)) {
        SetError("Media set time format failed. (error %lX)", hr);
        return false;
    }
    if (!Seek(static_cast<LONGLONG>(frame) * kUnitsPerSecond / m_format.nSamplesPerSec, &hr))
        return false;
    if (FAILED(hr)) {
        SetError("DirectShow: Seeking failed. (error %lX)", hr);
        return false;
    }
    m_completed = false;
    if (!Control(&IMediaControl::Stop, &hr))
        return false;
    LONG code = 0;
    m_events->WaitForCompletion(trelvox::StallLimitMs(), &code);
    std::lock_guard<std::mutex> hold(m_fileLock);
    // What was buffered before the new position goes; a file that cannot be made anew is made
    // again when frames are read.
    if (m_tempFile.IsOpen())
        m_tempFile.Create(kTempPrefix);
    m_fileBytes = 0;
    m_seekFrame = frame;
    m_handedOut = 0;
    return true;
}

WORD CDirectShowConvSource::GetFrameSize() {
    return m_format.nBlockAlign;
}

bool CDirectShowConvSource::GetFrameCount(DWORD* frames) {
    if (!frames)
        return false;
    *frames = 0;
    if (!m_opened || m_format.nBlockAlign == 0)
        return false;
    *frames = m_dataSize / m_format.nBlockAlign;
    return true;
}

bool CDirectShowConvSource::CreateTempFile() {
    bool created;
    {
        std::lock_guard<std::mutex> hold(m_fileLock);
        created = m_tempFile.Create(kTempPrefix);
        m_fileBytes = 0;
    }
    if (!created)
        SetError("Cannot create temp file");
    return created;
}

void CDirectShowConvSource::DeleteTempFile() {
    std::lock_guard<std::mutex> hold(m_fileLock);
    m_tempFile.Reset();
    m_fileBytes = 0;
}

uint32_t CDirectShowConvSource::BufferedFrames() {
    std::lock_guard<std::mutex> hold(m_fileLock);
    return static_cast<uint32_t>(m_fileBytes / m_format.nBlockAlign);
}

DWORD CDirectShowConvSource::ReadFrames(DWORD frames, void* buffer) {
    if (!ReaderReady())
        return 0;
    if (!buffer || m_format.nBlockAlign == 0)
        return 0;
    if (!m_tempFile.IsOpen() && !CreateTempFile())
        return 0;
    if (!m_completed && !m_stalled && BufferedFrames() - m_handedOut < frames) {
        HRESULT hr;
        if (!Control(&IMediaControl::Run, &hr))
            return 0;
        if (FAILED(hr)) {
            SetError("Media control run failed: %lX", hr);
            return 0;
        }
        for (;;) {
            LONG code = 0;
            hr = m_events->WaitForCompletion(0, &code);
            if (Completed(hr)) {
                m_completed = true;
                Control(&IMediaControl::Stop, &hr);
                break;
            }
            if (BufferedFrames() - m_handedOut > frames) {
                if (!Control(&IMediaControl::Pause, &hr))
                    break;
                if (FAILED(hr))
                    SetError("Media control pause failed: %lX", hr);
                m_events->WaitForCompletion(trelvox::StallLimitMs(), &code);
                break;
            }
            if (DecoderStalled()) {
                // What was decoded before is still handed out; nothing more comes.
                StopStalledGraph();
                break;
            }
            WaitForSingleObject(m_event.get(), kReaderWaitMs);
        }
    }
    std::lock_guard<std::mutex> hold(m_fileLock);
    if (!m_tempFile.IsOpen())
        return 0;
    const uint32_t align = m_format.nBlockAlign;
    if (fseek(m_tempFile.get(), static_cast<long>(static_cast<uint64_t>(m_handedOut) * align), SEEK_SET) != 0)
        return 0;
    const size_t got = fread(buffer, align, frames, m_tempFile.get());
    m_handedOut += static_cast<uint32_t>(got);
    return static_cast<DWORD>(got);
}
