#include "BaseRenderer.h"

#include "FilterParts.h"
#include "InputPin.h"

#include <string.h>
#include <wchar.h>

#include <new>

using trelvox::ComPtr;
using trelvox::FreeMediaType;

namespace {

constexpr wchar_t kPinName[] = L"In";

} // namespace

// The renderer's input pin.
class CRendererInputPin final : public trelvox::CBaseInputPin<CBaseRenderer> {
public:
    explicit CRendererInputPin(CBaseRenderer* filter) : CBaseInputPin(filter, kPinName) {}
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
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
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
