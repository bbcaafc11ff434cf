#include "DirectShowConvDest.h"

#include "AacFilterIds.h"
#include "MySource.h"
#include "Trace.h"
#include "TrelvoxConvert.h"

#include <dshow.h>

#include <initializer_list>
#include <new>

using trelvox::ComPtr;

namespace {

constexpr const char* kTempPrefix = "dsd";

// The first pin of filter in direction, or null.
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return {};
    for (;;) {
        ComPtr<IPin> pin;
        if (pins->Next(1, pin.put(), nullptr) != S_OK)
            return {};
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            return pin;
    }
}

// Connects the first output pin of from to the first input pin of to.
HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
    ComPtr<IPin> output = FirstPin(from, PINDIR_OUTPUT);
    ComPtr<IPin> input = FirstPin(to, PINDIR_INPUT);
    if (!output || !input)
        return VFW_E_NOT_FOUND;
    return graph->Connect(output.get(), input.get());
}

} // namespace

CDirectShowConvDest::CDirectShowConvDest() = default;

CDirectShowConvDest::~CDirectShowConvDest() {
    Close();
}

bool CDirectShowConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_DirectShowConvDest;
    return true;
}

bool CDirectShowConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    if (!BuildGraph()) {
        Close();
        // The file writer may have created the output already; Open made sure that nothing
        // was there before.
        if (m_outputNamed)
            DeleteFileA(m_path);
        return false;
    }
    return true;
}

bool CDirectShowConvDest::BuildGraph() {
    m_outputNamed = false;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.putVoid());
    if (FAILED(hr)) {
        SetError("DirectShow: Filter graph cannot be instanciated (error %lX)", hr);
        return false;
    }
    hr = CoCreateInstance(trelvox::kClsidAacEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_encoder.putVoid());
    if (FAILED(hr)) {
        SetError("3ivx D4 Audio Encoder not available (error %lX)", hr);
        return false;
    }
    hr = CoCreateInstance(trelvox::kClsidMp4Muxer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_muxer.putVoid());
    if (FAILED(hr)) {
        SetError("3ivx D4 Media Muxer not available (error %lX)", hr);
        return false;
    }
    hr = CoCreateInstance(trelvox::kClsidFileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_writer.putVoid());
    if (FAILED(hr)) {
        SetError("Filewriter not available (error %lX)", hr);
        return false;
    }
    m_graph->AddFilter(m_encoder.get(), L"Audio Encoder");
    m_graph->AddFilter(m_muxer.get(), L"Media Muxer");
    m_graph->AddFilter(m_writer.get(), L"File Writer");

    if (!m_tempFile.Create(kTempPrefix)) {
        SetError("Cannot create temp file");
        return false;
    }
    m_inputFinished = false;
    try {
        m_sourceFilter = ComPtr<CMySource>(new CMySource(m_format, m_tempFile.Path(), &m_inputFinished));
    } catch (const std::bad_alloc&) {
        SetError("Out of memory");
        return false;
    }
    m_graph->AddFilter(m_sourceFilter.get(), L"DirectShowConvDest");

    // An encoder that refuses this PCM, or a muxer that refuses the encoder's output, is as
    // good as missing for this conversion.
    hr = ConnectFilters(m_graph.get(), m_sourceFilter.get(), m_encoder.get());
    if (FAILED(hr)) {
        SetError("3ivx D4 Audio Encoder not available (error %lX)", hr);
        return false;
    }
    hr = ConnectFilters(m_graph.get(), m_encoder.get(), m_muxer.get());
    if (FAILED(hr)) {
        SetError("3ivx D4 Media Muxer not available (error %lX)", hr);
        return false;
    }
    ComPtr<IFileSinkFilter> sink;
    wchar_t widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, m_path, -1, widePath, MAX_PATH) == 0)
        widePath[0] = L'\0';
    hr = m_writer->QueryInterface(IID_IFileSinkFilter, sink.putVoid());
    if (SUCCEEDED(hr))
        hr = sink->SetFileName(widePath, nullptr);
    m_outputNamed = SUCCEEDED(hr);
    if (FAILED(hr)) {
        SetError("Output filename not accepted (error %lX)", hr);
        return false;
    }
    hr = ConnectFilters(m_graph.get(), m_muxer.get(), m_writer.get());
    if (FAILED(hr)) {
        SetError("File writer cannot be connected (error %lX)", hr);
        return false;
    }
    m_graph->QueryInterface(IID_IMediaControl, m_control.putVoid());
    m_graph->QueryInterface(IID_IMediaEventEx, m_events.putVoid());
    // Without a reference clock the graph runs as fast as the data comes.
    ComPtr<IMediaFilter> graphFilter;
    if (SUCCEEDED(m_graph->QueryInterface(IID_IMediaFilter, graphFilter.putVoid())))
        graphFilter->SetSyncSource(nullptr);
    hr = m_control ? m_control->Run() : E_NOINTERFACE;
    if (FAILED(hr)) {
        SetError("Media control run failed (error %lX)", hr);
        return false;
    }
    m_running = true;
    return true;
}

bool CDirectShowConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!CDefConvertDestination::Write(bytes, pcm))
        return false;
    FILE* file = m_tempFile.get();
    // Flushed at once: the source pin reads the file through its own handle.
    if (!file || fwrite(pcm, 1, bytes, file) != bytes || fflush(file) != 0) {
        SetError("Write error");
        return false;
    }
    return true;
}

bool CDirectShowConvDest::Close() {
    CDefConvertDestination::Close();
    if (m_tempFile.get())
        fflush(m_tempFile.get());
    m_inputFinished = true;
    if (m_running && m_events) {
        long code = 0;
        HRESULT hr = m_events->WaitForCompletion(INFINITE, &code);
        TX_TRACE(dshow, "MP4 graph finished: %lX, event %lX", hr, code);
    }
    if (m_control)
        m_control->Stop();
    // When Run failed half-way, Wine's graph leaves the filters it had paused in that state;
    // it then cannot disconnect them and would never finish releasing them.
    if (!m_running) {
        for (IBaseFilter* filter : {static_cast<IBaseFilter*>(m_sourceFilter.get()), m_encoder.get(),
                                    m_muxer.get(), m_writer.get()}) {
            if (filter)
                filter->Stop();
        }
    }
    m_running = false;
    ReleaseGraph();
    m_tempFile.Reset();
    return true;
}

void CDirectShowConvDest::ReleaseGraph() {
    m_control.reset();
    m_events.reset();
    m_sourceFilter.reset();
    m_writer.reset();
    m_muxer.reset();
    m_encoder.reset();
    m_graph.reset();
}
