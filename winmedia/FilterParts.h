// Small parts that the library's own DirectShow filters share: the common part of a filter,
// media-type copies and the enumerators of pins and media types. The filters outside the
// library (tools/dshowaac) are built on the same parts.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"

#include <mutex>

#include <string.h>
#include <wchar.h>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

namespace trelvox {

// What every filter of the library does alike: its class, its state, its clock and its place in
// a graph, all under one lock that the filter's own parts use as well. Stop, Pause and Run only
// change the state; filters with more to do override them.
class CBaseFilter : public ComObject<IBaseFilter> {
public:
    // IPersist, IMediaFilter, IBaseFilter (EnumPins and FindPin are the filter's own).
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    // Sends an event to the graph's event queue; nothing when the filter is in no graph. Not
    // under the lock.
    void NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    explicit CBaseFilter(const CLSID& clsid) : m_clsid(clsid) {}
    // IPersist, IMediaFilter and IBaseFilter.
    void* FindInterface(REFIID riid) override;

    mutable std::mutex m_lock;
    FILTER_STATE m_state = State_Stopped; // under m_lock
    IFilterGraph* m_graph = nullptr;      // under m_lock; not owned: the graph owns its filters

private:
    template <class Filter> friend class CBasePin;

    const CLSID m_clsid;
    wchar_t m_name[MAX_FILTER_NAME] = {}; // under m_lock
    ComPtr<IReferenceClock> m_clock;      // under m_lock
};

// Frees the format block and the object of a media type its holder owns, and clears it.
void FreeMediaType(AM_MEDIA_TYPE& type);
// A deep copy of from into to (which holds nothing of its own yet).
HRESULT CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from);
// Whether type fits a partial type as a graph asks for it: GUID_NULL matches anything.
bool MatchesPartialType(const AM_MEDIA_TYPE& partial, const AM_MEDIA_TYPE& type);
// An output pin's allocator request: count buffers of bytes each, aligned to align, no prefix.
// Fails when the allocator cannot give buffers of that size.
HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, long count, long bytes,
                       long align);

// What every pin of the library's filters shares: its identity and its connection, which the
// filter's lock guards. A pin lives inside its filter (Filter, a CBaseFilter) and shares the
// filter's reference count; connecting, QueryInterface and the data path are the pin's own.
template <class Filter> class CBasePin : public IPin {
public:
    CBasePin(Filter* filter, PIN_DIRECTION direction, const wchar_t* name)
        : m_filter(filter), m_direction(direction), m_name(name) {}
    virtual ~CBasePin() { Forget(); }

    ULONG STDMETHODCALLTYPE AddRef() override { return m_filter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_filter->Release(); }

    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
        if (!pin)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        *pin = m_peer;
        if (!m_peer)
            return VFW_E_NOT_CONNECTED;
        m_peer->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        if (!m_peer) {
            *type = AM_MEDIA_TYPE{};
            return VFW_E_NOT_CONNECTED;
        }
        return CopyMediaType(*type, m_type);
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override {
        if (!info)
            return E_POINTER;
        info->pFilter = m_filter;
        m_filter->AddRef();
        info->dir = m_direction;
        lstrcpynW(info->achName, m_name, MAX_PIN_NAME);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
        if (!direction)
            return E_POINTER;
        *direction = m_direction;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override {
        if (!id)
            return E_POINTER;
        const size_t bytes = (wcslen(m_name) + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*id)
            return E_OUTOFMEMORY;
        memcpy(*id, m_name, bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect() override {
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        if (m_filter->m_state != State_Stopped)
            return VFW_E_NOT_STOPPED;
        if (!m_peer)
            return S_FALSE;
        Forget();
        return S_OK;
    }

protected:
    // The filter's lock and its state (under the lock), for the pins built on this one.
    std::mutex& FilterLock() const { return m_filter->m_lock; }
    FILTER_STATE FilterState() const { return m_filter->m_state; }

    // Drops the connection; under the filter's lock (or in the destructor).
    virtual void Forget() {
        if (m_peer)
            m_peer->Release();
        m_peer = nullptr;
        FreeMediaType(m_type);
    }

    Filter* m_filter;
    const PIN_DIRECTION m_direction;
    const wchar_t* m_name;
    IPin* m_peer = nullptr; // one reference while connected
    AM_MEDIA_TYPE m_type = {};
};

// Enumerates up to two pins of a filter, holding a reference to each (and through it the
// filter).
class CPinEnum : public ComObject<IEnumPins> {
public:
    CPinEnum(IPin* first, IPin* second, ULONG position = 0);
    ~CPinEnum() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

private:
    void* FindInterface(REFIID riid) override;

    IPin* m_pins[2];
    ULONG m_count;
    ULONG m_position;
};

// Enumerates copies of up to two media types; none for a pin that proposes no type of its own.
class CMediaTypeEnum : public ComObject<IEnumMediaTypes> {
public:
    CMediaTypeEnum() = default;
    ~CMediaTypeEnum() override;
    // Adds a copy of type; false when it cannot be copied or there is no room.
    bool Add(const AM_MEDIA_TYPE& type);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

private:
    void* FindInterface(REFIID riid) override;

    AM_MEDIA_TYPE m_types[2] = {};
    ULONG m_count = 0;
    ULONG m_position = 0;
};

} // namespace trelvox
