#include "BaseRenderer.h"

#include "FilterParts.h"

#include <string.h>
#include <wchar.h>

#include <new>

using trelvox::ComPtr;
using trelvox::CopyMediaType;
using trelvox::FreeMediaType;

namespace {

constexpr wchar_t kPinName[] = L"In";

} // namespace

// The renderer's input pin. It lives inside its filter and shares the filter's reference
// count; its connection state is guarded by the filter's lock.
class CRendererInputPin : public trelvox::CBasePin<CBaseRenderer>, public IMemInputPin {
public:
    explicit CRendererInputPin(CBaseRenderer* filter) : CBasePin(filter, PINDIR_INPUT, kPinName) {}
    ~CRendererInputPin() override {
        if (m_allocator)
            m_allocator->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin))
            *out = static_cast<IPin*>(this);
        else if (IsEqualIID(riid, IID_IMemInputPin))
            *out = static_cast<IMemInputPin*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CBasePin::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CBasePin::Release(); }

    // IPin. Connections are made by the upstream output pin.
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
        if (!connector || !type)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        if (m_peer)
            return VFW_E_ALREADY_CONNECTED;
        if (m_filter->m_state != State_Stopped)
            return VFW_E_NOT_STOPPED;
        PIN_DIRECTION direction;
        if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            return VFW_E_INVALID_DIRECTION;
        if (m_filter->CheckMediaType(type) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        AM_MEDIA_TYPE copy;
        HRESULT hr = CopyMediaType(copy, *type);
        if (FAILED(hr))
            return hr;
        m_type = copy;
        m_peer = connector;
        m_peer->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        return m_filter->CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        if (!types)
            return E_POINTER;
        *types = new (std::nothrow) trelvox::CMediaTypeEnum();
        return *types ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return m_filter->EndOfStream(); }
    HRESULT STDMETHODCALLTYPE BeginFlush() override {
        m_filter->BeginFlush();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override {
        m_filter->EndFlush();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double) override {
        m_filter->NewSegment(start);
        return S_OK;
    }

    // IMemInputPin. Without an allocator of its own the upstream pin gets the system's
    // memory allocator.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override {
        if (!allocator)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        if (!m_allocator) {
            HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IMemAllocator, reinterpret_cast<void**>(&m_allocator));
            if (FAILED(hr)) {
                *allocator = nullptr;
                return hr;
            }
        }
        *allocator = m_allocator;
        m_allocator->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL) override {
        if (!allocator)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        allocator->AddRef();
        if (m_allocator)
            m_allocator->Release();
        m_allocator = allocator;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
        if (!sample)
            return E_POINTER;
        return m_filter->Receive(sample);
    }
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override {
        if (!samples || !processed)
            return E_POINTER;
        HRESULT hr = S_OK;
        *processed = 0;
        while (*processed < count) {
            hr = Receive(samples[*processed]);
            if (hr != S_OK)
                break;
            ++*processed;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }

    IPin* Peer() const { return m_peer; }

private:
    IMemAllocator* m_allocator = nullptr; // one reference
};

CBaseRenderer::CBaseRenderer(const CLSID& clsid)
    : CBaseFilter(clsid), m_pin(std::make_unique<CRendererInputPin>(this)),
      m_canReceive(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

CBaseRenderer::~CBaseRenderer() = default;

HRESULT CBaseRenderer::QueryInterface(REFIID riid, void** out) {
    return CBaseFilter::QueryInterface(riid, out);
}

ULONG CBaseRenderer::AddRef() {
    return CBaseFilter::AddRef();
}

ULONG CBaseRenderer::Release() {
    return CBaseFilter::Release();
}

void* CBaseRenderer::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IMediaSeeking))
        return static_cast<IMediaSeeking*>(this);
    if (IsEqualIID(riid, IID_IAMFilterMiscFlags))
        return static_cast<IAMFilterMiscFlags*>(this);
    return CBaseFilter::FindInterface(riid);
}

HRESULT CBaseRenderer::Stop() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Stopped;
    m_endOfStream = false;
    m_completeReported = false;
    // A Receive waiting in the paused state returns now, so that upstream can stop its thread.
    SetEvent(m_canReceive.get());
    return S_OK;
}

HRESULT CBaseRenderer::Pause() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_state == State_Stopped) {
        m_endOfStream = false;
        m_completeReported = false;
    }
    m_state = State_Paused;
    if (!m_flushing)
        ResetEvent(m_canReceive.get());
    return S_OK;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME) {
    bool complete = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_state == State_Stopped) {
            m_endOfStream = false;
            m_completeReported = false;
        }
        m_state = State_Running;
        SetEvent(m_canReceive.get());
        complete = m_endOfStream && !m_completeReported;
        if (complete)
            m_completeReported = true;
    }
    if (complete)
        NotifyComplete();
    return S_OK;
}

HRESULT CBaseRenderer::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = new (std::nothrow) trelvox::CPinEnum(m_pin.get(), nullptr);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseRenderer::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin)
        return E_POINTER;
    if (wcscmp(id, kPinName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = m_pin.get();
    m_pin->AddRef();
    return S_OK;
}

ULONG CBaseRenderer::GetMiscFlags() {
    return AM_FILTER_MISC_FLAGS_IS_RENDERER;
}

bool CBaseRenderer::EndOfStreamReached() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_endOfStream;
}

REFERENCE_TIME CBaseRenderer::SegmentStart() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_segmentStart;
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_flushing)
                return S_FALSE;
            if (m_state == State_Stopped || m_endOfStream)
                return VFW_E_WRONG_STATE;
            if (m_state == State_Running)
                break;
        }
        // Paused: the first sample waits here until the graph runs or stops.
        WaitForSingleObject(m_canReceive.get(), INFINITE);
    }
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        HRESULT accepted = CheckMediaType(changed);
        FreeMediaType(*changed);
        CoTaskMemFree(changed);
        if (accepted != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return DoRenderSample(sample);
}

HRESULT CBaseRenderer::EndOfStream() {
    bool complete = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_flushing || m_state == State_Stopped)
            return S_FALSE;
        m_endOfStream = true;
        complete = m_state == State_Running && !m_completeReported;
        if (complete)
            m_completeReported = true;
    }
    if (complete)
        NotifyComplete();
    OnEndOfStream();
    return S_OK;
}

void CBaseRenderer::BeginFlush() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_flushing = true;
    m_endOfStream = false;
    m_completeReported = false;
    SetEvent(m_canReceive.get());
}

void CBaseRenderer::EndFlush() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_flushing = false;
    if (m_state == State_Paused)
        ResetEvent(m_canReceive.get());
}

void CBaseRenderer::NewSegment(REFERENCE_TIME start) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_segmentStart = start;
}

void CBaseRenderer::NotifyComplete() {
    ComPtr<IMediaEventSink> sink;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_graph || FAILED(m_graph->QueryInterface(IID_IMediaEventSink, sink.putVoid())))
            return;
    }
    sink->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

ComPtr<IMediaSeeking> CBaseRenderer::Upstream() {
    ComPtr<IPin> peer;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        peer.assign(m_pin->Peer());
    }
    ComPtr<IMediaSeeking> seeking;
    if (peer)
        peer->QueryInterface(IID_IMediaSeeking, seeking.putVoid());
    return seeking;
}

template <class Call> HRESULT CBaseRenderer::ForwardSeeking(Call call) {
    ComPtr<IMediaSeeking> upstream = Upstream();
    if (!upstream)
        return E_NOTIMPL;
    return call(upstream.get());
}

HRESULT CBaseRenderer::GetCapabilities(DWORD* capabilities) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCapabilities(capabilities); });
}
HRESULT CBaseRenderer::CheckCapabilities(DWORD* capabilities) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->CheckCapabilities(capabilities); });
}
HRESULT CBaseRenderer::IsFormatSupported(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->IsFormatSupported(format); });
}
HRESULT CBaseRenderer::QueryPreferredFormat(GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
}
HRESULT CBaseRenderer::GetTimeFormat(GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetTimeFormat(format); });
}
HRESULT CBaseRenderer::IsUsingTimeFormat(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
}
HRESULT CBaseRenderer::SetTimeFormat(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->SetTimeFormat(format); });
}
HRESULT CBaseRenderer::GetDuration(LONGLONG* duration) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetDuration(duration); });
}
HRESULT CBaseRenderer::GetStopPosition(LONGLONG* stop) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetStopPosition(stop); });
}
HRESULT CBaseRenderer::GetCurrentPosition(LONGLONG* current) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
}
HRESULT CBaseRenderer::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                         const GUID* sourceFormat) {
    return ForwardSeeking(
        [&](IMediaSeeking* s) { return s->ConvertTimeFormat(target, targetFormat, source, sourceFormat); });
}
HRESULT CBaseRenderer::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    return ForwardSeeking(
        [&](IMediaSeeking* s) { return s->SetPositions(current, currentFlags, stop, stopFlags); });
}
HRESULT CBaseRenderer::GetPositions(LONGLONG* current, LONGLONG* stop) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
}
HRESULT CBaseRenderer::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
}
HRESULT CBaseRenderer::SetRate(double rate) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->SetRate(rate); });
}
HRESULT CBaseRenderer::GetRate(double* rate) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetRate(rate); });
}
HRESULT CBaseRenderer::GetPreroll(LONGLONG* preroll) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
}
