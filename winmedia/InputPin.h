// The input pin of the library's DirectShow filters: it checks media types, takes the
// allocator the upstream pin chooses and receives samples on the upstream streaming thread.
#pragma once

#include "ComPtr.h"
#include "FilterParts.h"

#include <new>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

namespace trelvox {

// A pin inside its filter (Filter, a CBaseFilter), sharing the filter's reference count. The
// filter answers, and declares this template a friend for:
//   HRESULT CheckMediaType(const AM_MEDIA_TYPE*)   S_OK accepts the type
//   HRESULT Receive(IMediaSample*)                 on the streaming thread
//   HRESULT EndOfStream()
//   void BeginFlush(), void EndFlush(), void NewSegment(REFERENCE_TIME start)
template <class Filter> class CBaseInputPin : public CBasePin<Filter>, public IMemInputPin {
public:
    CBaseInputPin(Filter* filter, const wchar_t* name) : CBasePin<Filter>(filter, PINDIR_INPUT, name) {}

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
    ULONG STDMETHODCALLTYPE AddRef() override { return CBasePin<Filter>::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CBasePin<Filter>::Release(); }

    // IPin. Connections are made by the upstream output pin.
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
        if (!connector || !type)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(this->FilterLock());
        if (this->m_peer)
            return VFW_E_ALREADY_CONNECTED;
        if (this->FilterState() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        PIN_DIRECTION direction;
        if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            return VFW_E_INVALID_DIRECTION;
        if (this->m_filter->CheckMediaType(type) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        AM_MEDIA_TYPE copy;
        HRESULT hr = CopyMediaType(copy, *type);
        if (FAILED(hr))
            return hr;
        this->m_type = copy;
        this->m_peer = connector;
        this->m_peer->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        return this->m_filter->CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        if (!types)
            return E_POINTER;
        *types = new (std::nothrow) CMediaTypeEnum();
        return *types ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return this->m_filter->EndOfStream(); }
    HRESULT STDMETHODCALLTYPE BeginFlush() override {
        this->m_filter->BeginFlush();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override {
        this->m_filter->EndFlush();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double) override {
        this->m_filter->NewSegment(start);
        return S_OK;
    }

    // IMemInputPin. Without an allocator of its own the upstream pin gets the system's
    // memory allocator.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override {
        if (!allocator)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(this->FilterLock());
        if (!m_allocator) {
            HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IMemAllocator, m_allocator.putVoid());
            if (FAILED(hr)) {
                *allocator = nullptr;
                return hr;
            }
        }
        *allocator = m_allocator.get();
        m_allocator->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL) override {
        if (!allocator)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(this->FilterLock());
        m_allocator.assign(allocator);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
        if (!sample)
            return E_POINTER;
        return this->m_filter->Receive(sample);
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

    // The connected upstream pin, without a reference; under the filter's lock.
    IPin* Peer() const { return this->m_peer; }

private:
    ComPtr<IMemAllocator> m_allocator;
};

} // namespace trelvox
