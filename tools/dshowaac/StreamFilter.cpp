#include "StreamFilter.h"

#include <string.h>
#include <wchar.h>

#include <new>

namespace dshowaac {

std::atomic<long> g_objects{0};

namespace {

constexpr wchar_t kInputName[] = L"In";
constexpr wchar_t kOutputName[] = L"Out";

} // namespace

class CStreamInputPin final : public trelvox::CBaseInputPin<CStreamFilter> {
public:
    explicit CStreamInputPin(CStreamFilter* filter) : CBaseInputPin(filter, kInputName) {}

    // A copy of the connected type; false when not connected.
    bool ConnectedType(AM_MEDIA_TYPE& type) { return SUCCEEDED(ConnectionMediaType(&type)); }
};

class CStreamOutputPin final : public trelvox::CBaseOutputPin<CStreamFilter> {
public:
    explicit CStreamOutputPin(CStreamFilter* filter) : CBaseOutputPin(filter, kOutputName) {}

protected:
    // Nothing to offer before the input is connected: the output follows from its type.
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
        AM_MEDIA_TYPE input = {};
        if (!m_filter->m_input->ConnectedType(input))
            return VFW_E_NOT_CONNECTED;
        HRESULT hr = m_filter->GetOutputType(input, index, type);
        trelvox::FreeMediaType(input);
        return hr;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        return m_filter->DecideOutputBuffers(allocator, request);
    }
};

CStreamFilter::CStreamFilter(const CLSID& clsid)
    : CBaseFilter(clsid), m_input(std::make_unique<CStreamInputPin>(this)),
      m_output(std::make_unique<CStreamOutputPin>(this)) {
    ++g_objects;
}

CStreamFilter::~CStreamFilter() {
    --g_objects;
}

HRESULT CStreamFilter::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = new (std::nothrow) trelvox::CPinEnum(m_input.get(), m_output.get());
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CStreamFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    if (wcscmp(id, kInputName) == 0)
        *pin = m_input.get();
    else if (wcscmp(id, kOutputName) == 0)
        *pin = m_output.get();
    else
        return VFW_E_NOT_FOUND;
    (*pin)->AddRef();
    return S_OK;
}

HRESULT CStreamFilter::Pause() {
    bool starting;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        starting = m_state == State_Stopped;
    }
    if (starting) {
        AM_MEDIA_TYPE input = {};
        if (m_input->ConnectedType(input)) {
            HRESULT hr = m_output->Active();
            std::lock_guard<std::mutex> hold(m_streamLock);
            if (SUCCEEDED(hr))
                hr = StartStreaming(input);
            trelvox::FreeMediaType(input);
            if (FAILED(hr)) {
                m_output->Inactive();
                return hr;
            }
            m_streaming = true;
        }
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Paused;
    return S_OK;
}

HRESULT CStreamFilter::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state = State_Stopped;
    }
    // First, so that a delivery waiting for a buffer gives up and the streaming thread lets go
    // of the stream lock.
    m_output->Inactive();
    std::lock_guard<std::mutex> hold(m_streamLock);
    if (m_streaming)
        StopStreaming();
    m_streaming = false;
    return S_OK;
}

HRESULT CStreamFilter::CheckMediaType(const AM_MEDIA_TYPE* type) {
    return CheckInputType(*type);
}

HRESULT CStreamFilter::Receive(IMediaSample* sample) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_flushing)
            return S_FALSE;
        if (m_state == State_Stopped)
            return VFW_E_WRONG_STATE;
    }
    std::lock_guard<std::mutex> hold(m_streamLock);
    return m_streaming ? Process(sample) : VFW_E_WRONG_STATE;
}

HRESULT CStreamFilter::EndOfStream() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_flushing || m_state == State_Stopped)
            return S_FALSE;
    }
    HRESULT hr;
    {
        std::lock_guard<std::mutex> hold(m_streamLock);
        hr = m_streaming ? Finish() : VFW_E_WRONG_STATE;
    }
    if (FAILED(hr)) {
        NotifyEvent(EC_ERRORABORT, hr, 0);
        return hr;
    }
    return m_output->DeliverEndOfStream();
}

void CStreamFilter::BeginFlush() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_flushing = true;
}

void CStreamFilter::EndFlush() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_flushing = false;
}

HRESULT CStreamFilter::DeliverBytes(const uint8_t* data, size_t size, REFERENCE_TIME start,
                                    REFERENCE_TIME end) {
    trelvox::ComPtr<IMediaSample> sample;
    HRESULT hr = m_output->GetDeliveryBuffer(sample.put());
    if (FAILED(hr))
        return hr;
    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (FAILED(hr))
        return hr;
    if (size > static_cast<size_t>(sample->GetSize()))
        return E_FAIL;
    memcpy(buffer, data, size);
    sample->SetActualDataLength(static_cast<long>(size));
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    return m_output->Deliver(sample.get());
}

} // namespace dshowaac
