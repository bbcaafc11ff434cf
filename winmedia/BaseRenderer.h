// The least DirectShow base-class layer a renderer needs: a filter with one input pin that
// checks media types, receives samples on the upstream streaming thread, reports the end of
// the stream to the graph, and passes position requests through to the upstream filter so that
// the graph's IMediaSeeking seeks.
#pragma once

#include "ComPtr.h"
#include "FilterParts.h"
#include "Handles.h"

#include <memory>
#include <mutex>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

class CRendererInputPin;
namespace trelvox {
template <class Filter> class CBaseInputPin;
}

class CBaseRenderer : public trelvox::CBaseFilter, public IMediaSeeking, public IAMFilterMiscFlags {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMediaFilter, IBaseFilter: what a renderer does beyond the common part.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

    // IAMFilterMiscFlags: tells the graph that this filter ends a stream.
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    // IMediaSeeking, passed through to the pin this filter's input is connected to.
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // True once the end of the stream reached the input since the filter last ran from the
    // stopped state or was flushed.
    bool EndOfStreamReached() const;

protected:
    explicit CBaseRenderer(const CLSID& clsid);
    ~CBaseRenderer() override;

    void* FindInterface(REFIID riid) override;

    // S_OK accepts the media type for the input pin; anything else refuses it.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    // Called on the streaming thread for every sample while the filter runs; the sample is
    // only lent for the call.
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
    // Called on the streaming thread when the end of the stream reached the filter, after the
    // graph has been told (when running).
    virtual void OnEndOfStream() {}

    // Start of the current segment (100-ns units): sample times are relative to it.
    REFERENCE_TIME SegmentStart() const;

private:
    friend class CRendererInputPin;
    friend class trelvox::CBaseInputPin<CBaseRenderer>;

    // The input pin's calls into the filter.
    HRESULT Receive(IMediaSample* sample);
    HRESULT EndOfStream();
    void BeginFlush();
    void EndFlush();
    void NewSegment(REFERENCE_TIME start);
    void NotifyComplete();
    // The upstream pin's IMediaSeeking, or null when not connected or it cannot seek.
    trelvox::ComPtr<IMediaSeeking> Upstream();
    template <class Call> HRESULT ForwardSeeking(Call call);

    std::unique_ptr<CRendererInputPin> m_pin; // shares this filter's reference count
    // Under the common part's lock, like the state.
    bool m_flushing = false;
    bool m_endOfStream = false;      // reached while not running: reported on Run
    bool m_completeReported = false; // EC_COMPLETE sent for the current run
    REFERENCE_TIME m_segmentStart = 0;
    trelvox::UniqueEvent
        m_canReceive; // manual-reset; reset while paused, so that Receive holds the data back
};
