#include "FilterParts.h"

#include <string.h>

#include <new>

namespace trelvox {

void* CBaseFilter::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IMediaFilter) ||
        IsEqualIID(riid, IID_IBaseFilter))
        return static_cast<IBaseFilter*>(this);
    return nullptr;
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Stopped;
    return S_OK;
}

HRESULT CBaseFilter::Pause() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_state = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    *state = m_state;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_clock.assign(clock);
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    *clock = m_clock.get();
    if (*clock)
        (*clock)->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    memcpy(info->achName, m_name, sizeof m_name);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_graph = graph;
    m_name[0] = L'\0';
    if (name)
        lstrcpynW(m_name, name, MAX_FILTER_NAME);
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR*) {
    return E_NOTIMPL;
}

void CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    ComPtr<IMediaEventSink> sink;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_graph || FAILED(m_graph->QueryInterface(IID_IMediaEventSink, sink.putVoid())))
            return;
    }
    sink->Notify(code, param1, param2);
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    if (type.pUnk)
        type.pUnk->Release();
    type = AM_MEDIA_TYPE{};
}

HRESULT CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from) {
    to = from;
    to.pbFormat = nullptr;
    to.cbFormat = 0;
    if (from.cbFormat && from.pbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to.pbFormat) {
            to.pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
        to.cbFormat = from.cbFormat;
    }
    if (to.pUnk)
        to.pUnk->AddRef();
    return S_OK;
}

HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, long count, long bytes,
                       long align) {
    request->cBuffers = count;
    request->cbBuffer = bytes;
    request->cbAlign = align;
    request->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < bytes ? E_FAIL : S_OK;
}

bool MatchesPartialType(const AM_MEDIA_TYPE& partial, const AM_MEDIA_TYPE& type) {
    return (IsEqualGUID(partial.majortype, GUID_NULL) || IsEqualGUID(partial.majortype, type.majortype)) &&
           (IsEqualGUID(partial.subtype, GUID_NULL) || IsEqualGUID(partial.subtype, type.subtype)) &&
           (IsEqualGUID(partial.formattype, GUID_NULL) || IsEqualGUID(partial.formattype, type.formattype));
}

CPinEnum::CPinEnum(IPin* first, IPin* second, ULONG position)
    : m_pins{first, second}, m_count(second ? 2 : 1), m_position(position) {
    for (ULONG i = 0; i < m_count; ++i)
        m_pins[i]->AddRef();
}

CPinEnum::~CPinEnum() {
    for (ULONG i = 0; i < m_count; ++i)
        m_pins[i]->Release();
}

void* CPinEnum::FindInterface(REFIID riid) {
    return IsEqualIID(riid, IID_IEnumPins) ? static_cast<IEnumPins*>(this) : nullptr;
}

HRESULT CPinEnum::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins || (count > 1 && !fetched))
        return E_POINTER;
    ULONG got = 0;
    while (got < count && m_position < m_count) {
        pins[got] = m_pins[m_position++];
        pins[got++]->AddRef();
    }
    if (fetched)
        *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT CPinEnum::Skip(ULONG count) {
    const ULONG left = m_count - m_position;
    m_position = count >= left ? m_count : m_position + count;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT CPinEnum::Reset() {
    m_position = 0;
    return S_OK;
}

HRESULT CPinEnum::Clone(IEnumPins** out) {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) CPinEnum(m_pins[0], m_count > 1 ? m_pins[1] : nullptr, m_position);
    return *out ? S_OK : E_OUTOFMEMORY;
}

CMediaTypeEnum::~CMediaTypeEnum() {
    for (ULONG i = 0; i < m_count; ++i)
        FreeMediaType(m_types[i]);
}

bool CMediaTypeEnum::Add(const AM_MEDIA_TYPE& type) {
    if (m_count == 2 || FAILED(CopyMediaType(m_types[m_count], type)))
        return false;
    ++m_count;
    return true;
}

void* CMediaTypeEnum::FindInterface(REFIID riid) {
    return IsEqualIID(riid, IID_IEnumMediaTypes) ? static_cast<IEnumMediaTypes*>(this) : nullptr;
}

HRESULT CMediaTypeEnum::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types || (count > 1 && !fetched))
        return E_POINTER;
    ULONG got = 0;
    while (got < count && m_position < m_count) {
        auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!type || FAILED(CopyMediaType(*type, m_types[m_position]))) {
            CoTaskMemFree(type);
            break;
        }
        types[got++] = type;
        ++m_position;
    }
    if (fetched)
        *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT CMediaTypeEnum::Skip(ULONG count) {
    const ULONG left = m_count - m_position;
    m_position = count >= left ? m_count : m_position + count;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT CMediaTypeEnum::Reset() {
    m_position = 0;
    return S_OK;
}

HRESULT CMediaTypeEnum::Clone(IEnumMediaTypes** out) {
    if (!out)
        return E_POINTER;
    auto* copy = new (std::nothrow) CMediaTypeEnum();
    if (!copy)
        return E_OUTOFMEMORY;
    for (ULONG i = 0; i < m_count; ++i) {
        if (!copy->Add(m_types[i])) {
            copy->Release();
            return E_OUTOFMEMORY;
        }
    }
    copy->m_position = m_position;
    *out = copy;
    return S_OK;
}

} // namespace trelvox
