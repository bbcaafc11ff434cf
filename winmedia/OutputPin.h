// The output pin of the library's DirectShow filters: it proposes its own media types,
// agrees on an allocator with the downstream input pin and delivers samples to it.
#pragma once

#include "ComPtr.h"
#include "FilterParts.h"

#include <new>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

namespace trelvox {

// A pin inside its filter (Filter, a CBaseFilter), sharing the filter's reference count. The
// derived pin proposes its types with GetMediaType and sizes the buffers with
// DecideBufferSize; the filter calls Active when it leaves the stopped state and Inactive
// when it stops, so that buffers are only handed out in between.
template <class Filter> class CBaseOutputPin : public CBasePin<Filter> {
public:
    CBaseOutputPin(Filter* filter, const wchar_t* name) : CBasePin<Filter>(filter, PINDIR_OUTPUT, name) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPin))
            return E_NOINTERFACE;
        *out = static_cast<IPin*>(this);
        this->AddRef();
        return S_OK;
    }

    // IPin. Tries the pin's own types in order; wanted (when given) narrows them.
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override {
        if (!receiver)
            return E_POINTER;
        {
            std::lock_guard<std::mutex> hold(this->FilterLock());
            if (this->m_peer)
                return VFW_E_ALREADY_CONNECTED;
            if (this->FilterState() != State_Stopped)
                return VFW_E_NOT_STOPPED;
        }
        HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
        for (int i = 0;; ++i) {
            AM_MEDIA_TYPE type = {};
            HRESULT hr = GetMediaType(i, &type);
            if (hr != S_OK) {
                FreeMediaType(type);
                return result;
            }
            if (!wanted || MatchesPartialType(*wanted, type)) {
                hr = Attempt(receiver, type);
                if (SUCCEEDED(hr)) {
                    FreeMediaType(type);
                    return S_OK;
                }
                result = hr;
            }
            FreeMediaType(type);
        }
    }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        for (int i = 0;; ++i) {
            AM_MEDIA_TYPE own = {};
            HRESULT hr = GetMediaType(i, &own);
            const bool same = hr == S_OK && IsEqualGUID(own.majortype, type->majortype) &&
                              IsEqualGUID(own.subtype, type->subtype);
            FreeMediaType(own);
            if (hr != S_OK || same)
                return same ? S_OK : S_FALSE;
        }
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        if (!types)
            return E_POINTER;
        auto* offered = new (std::nothrow) CMediaTypeEnum();
        *types = offered;
        if (!offered)
            return E_OUTOFMEMORY;
        for (int i = 0;; ++i) {
            AM_MEDIA_TYPE type = {};
            HRESULT hr = GetMediaType(i, &type);
            const bool added = hr == S_OK && offered->Add(type);
            FreeMediaType(type);
            if (!added)
                return S_OK;
        }
    }
    // Only input pins take these.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
        return E_UNEXPECTED;
    }

    // Commits the allocator; nothing when not connected.
    HRESULT Active() {
        ComPtr<IMemAllocator> allocator = Allocator();
        return allocator ? allocator->Commit() : S_OK;
    }
    // Decommits the allocator, which makes a thread waiting for a buffer give up.
    HRESULT Inactive() {
        ComPtr<IMemAllocator> allocator = Allocator();
        return allocator ? allocator->Decommit() : S_OK;
    }

    // A free buffer of the allocator (waits for one); fails once the pin is inactive.
    HRESULT GetDeliveryBuffer(IMediaSample** sample) {
        ComPtr<IMemAllocator> allocator = Allocator();
        if (!allocator)
            return VFW_E_NOT_CONNECTED;
        return allocator->GetBuffer(sample, nullptr, nullptr, 0);
    }
    HRESULT Deliver(IMediaSample* sample) {
        ComPtr<IMemInputPin> input = Input();
        return input ? input->Receive(sample) : VFW_E_NOT_CONNECTED;
    }
    HRESULT DeliverEndOfStream() {
        ComPtr<IPin> peer = Peer();
        return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
    }

protected:
    // The index-th type the pin offers (0 the preferred); S_OK with a type the caller frees,
    // or S_FALSE after the last one.
    virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) = 0;
    // Sets the allocator's properties for the connected type (the downstream pin's wishes in
    // request, zero where it has none).
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    void Forget() override {
        m_input.reset();
        m_allocator.reset();
        CBasePin<Filter>::Forget();
    }

private:
    ComPtr<IMemAllocator> Allocator() {
        std::lock_guard<std::mutex> hold(this->FilterLock());
        return m_allocator;
    }
    ComPtr<IMemInputPin> Input() {
        std::lock_guard<std::mutex> hold(this->FilterLock());
        return m_input;
    }
    ComPtr<IPin> Peer() {
        std::lock_guard<std::mutex> hold(this->FilterLock());
        ComPtr<IPin> peer;
        peer.assign(this->m_peer);
        return peer;
    }

    // One try of the connection protocol with type. Nothing is held under the lock while the
    // receiver is called, as it may call back into this pin.
    HRESULT Attempt(IPin* receiver, const AM_MEDIA_TYPE& type) {
        HRESULT hr = receiver->ReceiveConnection(this, &type);
        if (FAILED(hr))
            return hr;
        ComPtr<IMemInputPin> input;
        ComPtr<IMemAllocator> allocator;
        hr = receiver->QueryInterface(IID_IMemInputPin, input.putVoid());
        if (SUCCEEDED(hr) && FAILED(input->GetAllocator(allocator.put())))
            hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  allocator.putVoid());
        if (SUCCEEDED(hr)) {
            ALLOCATOR_PROPERTIES request = {};
            input->GetAllocatorRequirements(&request);
            hr = DecideBufferSize(allocator.get(), &request);
        }
        if (SUCCEEDED(hr))
            hr = input->NotifyAllocator(allocator.get(), FALSE);
        if (SUCCEEDED(hr)) {
            std::lock_guard<std::mutex> hold(this->FilterLock());
            hr = CopyMediaType(this->m_type, type);
            if (SUCCEEDED(hr)) {
                this->m_peer = receiver;
                receiver->AddRef();
                m_input = std::move(input);
                m_allocator = std::move(allocator);
                return S_OK;
            }
            this->m_type = AM_MEDIA_TYPE{};
        }
        receiver->Disconnect();
        return hr;
    }

    ComPtr<IMemInputPin> m_input;      // while connected; under the filter's lock
    ComPtr<IMemAllocator> m_allocator; // while connected; under the filter's lock
};

} // namespace trelvox
