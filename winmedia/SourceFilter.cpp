#include "SourceFilter.h"

#include "Trace.h"

#include <wchar.h>

#include <new>

CSource::CSource(const CLSID& clsid) : CBaseFilter(clsid) {}

CSource::~CSource() {
    if (m_pin)
        m_pin->Finish();
}

void CSource::SetPin(std::unique_ptr<CSourceStream> pin) {
    m_pin = std::move(pin);
}

HRESULT CSource::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state = State_Stopped;
    }
    // Not under the lock: the thread may be inside a downstream call that comes back here.
    if (m_pin)
        m_pin->Finish();
    return S_OK;
}

HRESULT CSource::Pause() {
    bool starting;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        starting = m_state == State_Stopped;
    }
    // A pin that cannot start leaves the filter stopped.
    HRESULT hr = starting && m_pin ? m_pin->Start() : S_OK;
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Paused;
    return S_OK;
}

HRESULT CSource::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = m_pin ? new (std::nothrow) trelvox::CPinEnum(m_pin.get(), nullptr) : nullptr;
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSource::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    if (!m_pin || wcscmp(id, m_pin->Name()) != 0)
        return VFW_E_NOT_FOUND;
    *pin = m_pin.get();
    m_pin->AddRef();
    return S_OK;
}

CSourceStream::CSourceStream(CSource* filter, const wchar_t* name) : CBaseOutputPin(filter, name) {}

CSourceStream::~CSourceStream() {
    Finish();
}

HRESULT CSourceStream::Start() {
    if (m_thread)
        return S_OK;
    {
        std::lock_guard<std::mutex> hold(FilterLock());
        if (!m_peer)
            return S_OK;
    }
    HRESULT hr = Active();
    if (FAILED(hr))
        return hr;
    m_stop = false;
    m_thread.reset(CreateThread(nullptr, 0, &CSourceStream::ThreadMain, this, 0, nullptr));
    if (!m_thread) {
        Inactive();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

void CSourceStream::Finish() {
    m_stop = true;
    Inactive();
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.reset();
    }
}

DWORD WINAPI CSourceStream::ThreadMain(void* self) {
    try {
        static_cast<CSourceStream*>(self)->Stream();
    } catch (...) {
        TX_TRACE(dshow, "source stream: the streaming thread ended with an exception");
    }
    return 0;
}

void CSourceStream::Stream() {
    while (!m_stop) {
        trelvox::ComPtr<IMediaSample> sample;
        // Fails once the pin is inactive: the filter is stopping.
        if (FAILED(GetDeliveryBuffer(sample.put())))
            return;
        HRESULT hr = FillBuffer(sample.get());
        if (m_stop)
            return;
        if (hr == S_OK) {
            hr = Deliver(sample.get());
            // Downstream wants no more (S_FALSE) or failed; it has told the graph itself.
            if (hr != S_OK) {
                TX_TRACE(dshow, "source stream: delivery refused, %lX", hr);
                return;
            }
            continue;
        }
        DeliverEndOfStream();
        if (FAILED(hr)) {
            TX_TRACE(dshow, "source stream: FillBuffer failed, %lX", hr);
            m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
        }
        return;
    }
}
