#include "ReaderGuard.h"

#include "FilterParts.h"

#include <string.h>
#include <wchar.h>

#include <new>

using trelvox::ComPtr;
using trelvox::CopyMediaType;
using trelvox::FreeMediaType;

namespace {

constexpr wchar_t kInputName[] = L"In";
constexpr wchar_t kOutputName[] = L"Out";
constexpr LONGLONG kUnitsPerByte = 10000000; // sample times of a byte stream: byte offsets in 100-ns units

} // namespace

// Both of the guard's pins pass a byte stream.
class CGuardPin : public trelvox::CBasePin<CReaderGuard> {
public:
    using CBasePin::CBasePin;

    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        return IsEqualGUID(type->majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
    }
};

// Takes the connection of the file source's output pin; reads go through its IAsyncReader.
class CReaderGuardInput : public CGuardPin {
public:
    explicit CReaderGuardInput(CReaderGuard* filter) : CGuardPin(filter, PINDIR_INPUT, kInputName) {}
    ~CReaderGuardInput() override { Forget(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPin))
            return E_NOINTERFACE;
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
        if (!connector || !type)
            return E_POINTER;
        if (!IsEqualGUID(type->majortype, MEDIATYPE_Stream))
            return VFW_E_TYPE_NOT_ACCEPTED;
        ComPtr<IAsyncReader> reader;
        if (FAILED(connector->QueryInterface(IID_IAsyncReader, reader.putVoid())) || !reader)
            return VFW_E_NO_TRANSPORT;
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        if (m_peer)
            return VFW_E_ALREADY_CONNECTED;
        if (m_filter->m_state != State_Stopped)
            return VFW_E_NOT_STOPPED;
        AM_MEDIA_TYPE copy;
        HRESULT hr = CopyMediaType(copy, *type);
        if (FAILED(hr))
            return hr;
        m_type = copy;
        m_peer = connector;
        m_peer->AddRef();
        m_reader = std::move(reader);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        if (!types)
            return E_POINTER;
        *types = new (std::nothrow) trelvox::CMediaTypeEnum();
        return *types ? S_OK : E_OUTOFMEMORY;
    }
    // A pull connection carries no pushed data.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // Under the filter's lock.
    const AM_MEDIA_TYPE* Type() const { return m_peer ? &m_type : nullptr; }
    IAsyncReader* Reader() const { return m_reader.get(); }

private:
    void Forget() override {
        m_reader.reset();
        CGuardPin::Forget();
    }

    ComPtr<IAsyncReader> m_reader;
};

// The output pin's IAsyncReader: the file source's, refused once cancelled. A part of the
// output pin with the filter's reference count; IPin and IAsyncReader both name a BeginFlush
// and an EndFlush, so one object cannot serve both.
class CGuardReader : public IAsyncReader {
public:
    CGuardReader(CReaderGuard* filter, IPin* pin) : m_filter(filter), m_pin(pin) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IAsyncReader)) {
            *out = static_cast<IAsyncReader*>(this);
            AddRef();
            return S_OK;
        }
        return m_pin->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_filter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_filter->Release(); }

    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                               IMemAllocator** actual) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        return reader ? reader->RequestAllocator(preferred, properties, actual) : E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        return reader ? reader->Request(sample, user) : E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        if (!reader) {
            if (sample)
                *sample = nullptr;
            return E_ABORT;
        }
        HRESULT hr = reader->WaitForNext(timeoutMs, sample, user);
        if (hr == S_OK && sample && *sample)
            ReachedSample(*sample);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        if (!reader)
            return E_ABORT;
        HRESULT hr = reader->SyncReadAligned(sample);
        if (hr == S_OK)
            ReachedSample(sample);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        if (!reader)
            return E_ABORT;
        HRESULT hr = reader->SyncRead(position, length, buffer);
        if (hr == S_OK && length > 0)
            m_filter->m_reads.Reached(position + length);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        return reader ? reader->Length(total, available) : E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE BeginFlush() override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        return reader ? reader->BeginFlush() : E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override {
        ComPtr<IAsyncReader> reader = m_filter->Upstream();
        return reader ? reader->EndFlush() : E_ABORT;
    }

private:
    // Samples of a byte stream carry byte offsets as times.
    void ReachedSample(IMediaSample* sample) {
        REFERENCE_TIME start = 0, end = 0;
        if (SUCCEEDED(sample->GetTime(&start, &end)))
            m_filter->m_reads.Reached(end / kUnitsPerByte);
    }

    CReaderGuard* m_filter;
    IPin* m_pin;
};

// Offers the file source's stream to the parser; its reads go through the CGuardReader.
class CReaderGuardOutput : public CGuardPin {
public:
    explicit CReaderGuardOutput(CReaderGuard* filter)
        : CGuardPin(filter, PINDIR_OUTPUT, kOutputName), m_reader(filter, this) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin))
            *out = static_cast<IPin*>(this);
        else if (IsEqualIID(riid, IID_IAsyncReader))
            *out = static_cast<IAsyncReader*>(&m_reader);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // The types the file source offered: its own, then the same with any subtype, as a file
    // source offers them, so that the graph finds the same parsers as without this filter.
    HRESULT Offered(trelvox::CMediaTypeEnum& types) {
        std::lock_guard<std::mutex> hold(m_filter->m_lock);
        const AM_MEDIA_TYPE* type = m_filter->m_input->Type();
        if (!type)
            return VFW_E_NOT_CONNECTED;
        if (!types.Add(*type))
            return E_OUTOFMEMORY;
        if (!IsEqualGUID(type->subtype, GUID_NULL)) {
            AM_MEDIA_TYPE any = *type;
            any.subtype = GUID_NULL;
            if (!types.Add(any))
                return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // Like a file source, connects only with the type it has: one try per parser, since a parser
    // reads (and may get stuck) while it decides.
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override {
        if (!receiver)
            return E_POINTER;
        AM_MEDIA_TYPE type;
        {
            std::lock_guard<std::mutex> hold(m_filter->m_lock);
            if (m_peer)
                return VFW_E_ALREADY_CONNECTED;
            if (m_filter->m_state != State_Stopped)
                return VFW_E_NOT_STOPPED;
            const AM_MEDIA_TYPE* offered = m_filter->m_input->Type();
            if (!offered)
                return VFW_E_NOT_CONNECTED;
            HRESULT hr = CopyMediaType(type, *offered);
            if (FAILED(hr))
                return hr;
        }
        HRESULT hr = wanted && !trelvox::MatchesPartialType(*wanted, type) ? VFW_E_NO_ACCEPTABLE_TYPES
                                                                           : Attempt(receiver, type);
        FreeMediaType(type);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
        if (!types)
            return E_POINTER;
        *types = nullptr;
        auto* offered = new (std::nothrow) trelvox::CMediaTypeEnum();
        if (!offered)
            return E_OUTOFMEMORY;
        HRESULT hr = Offered(*offered);
        if (FAILED(hr)) {
            offered->Release();
            return hr;
        }
        *types = offered;
        return S_OK;
    }
    // Only input pins take these.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
        return E_UNEXPECTED;
    }

private:
    // One try of the connection protocol: the receiver checks the type and takes our reader
    // while we already count as connected to it.
    HRESULT Attempt(IPin* receiver, const AM_MEDIA_TYPE& type) {
        {
            std::lock_guard<std::mutex> hold(m_filter->m_lock);
            AM_MEDIA_TYPE copy;
            HRESULT hr = CopyMediaType(copy, type);
            if (FAILED(hr))
                return hr;
            m_type = copy;
            m_peer = receiver;
            m_peer->AddRef();
        }
        // Not under the lock: the receiver reads through this pin while it connects.
        HRESULT hr = receiver->ReceiveConnection(this, &type);
        if (FAILED(hr)) {
            std::lock_guard<std::mutex> hold(m_filter->m_lock);
            Forget();
        }
        return hr;
    }

    CGuardReader m_reader;
};

CReaderGuard::CReaderGuard(std::shared_ptr<trelvox::ProgressClock> clock)
    : CBaseFilter(GUID_NULL), m_reads(std::move(clock)), m_input(std::make_unique<CReaderGuardInput>(this)),
      m_output(std::make_unique<CReaderGuardOutput>(this)) {}

CReaderGuard::~CReaderGuard() = default;

IPin* CReaderGuard::Input() const {
    return m_input.get();
}

IPin* CReaderGuard::Output() const {
    return m_output.get();
}

ComPtr<IAsyncReader> CReaderGuard::Upstream() {
    ComPtr<IAsyncReader> reader;
    if (m_reads.Cancelled())
        return reader;
    std::lock_guard<std::mutex> hold(m_lock);
    reader.assign(m_input->Reader());
    return reader;
}

void CReaderGuard::CancelStalled() {
    m_reads.Cancel();
    ComPtr<IAsyncReader> reader;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        reader.assign(m_input->Reader());
    }
    // Wakes a parser that waits for a queued read (WaitForNext); those that read
    // synchronously fail at their next read.
    if (reader)
        reader->BeginFlush();
}

HRESULT CReaderGuard::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = new (std::nothrow) trelvox::CPinEnum(Input(), Output());
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CReaderGuard::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin)
        return E_POINTER;
    *pin = wcscmp(id, kInputName) == 0 ? Input() : wcscmp(id, kOutputName) == 0 ? Output() : nullptr;
    if (!*pin)
        return VFW_E_NOT_FOUND;
    (*pin)->AddRef();
    return S_OK;
}
