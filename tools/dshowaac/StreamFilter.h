// The common part of the AAC encoder and the MP4 muxer filter: one input pin whose samples
// are processed on the upstream streaming thread, and one output pin that delivers the result
// downstream on the same thread. Built on the library's own DirectShow base layer.
#pragma once

#include "FilterParts.h"
#include "InputPin.h"
#include "OutputPin.h"

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <mutex>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

namespace dshowaac {

// Filters alive in this module, for DllCanUnloadNow.
extern std::atomic<long> g_objects;

class CStreamInputPin;
class CStreamOutputPin;

class CStreamFilter : public trelvox::CBaseFilter {
public:
    // Stopping ends the processing; pausing from the stopped state starts it.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

protected:
    explicit CStreamFilter(const CLSID& clsid);
    ~CStreamFilter() override;

    // S_OK when the input pin can take type; called under the filter's lock.
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE& type) = 0;
    // The index-th output type for the connected input type (in input); S_FALSE after the last.
    virtual HRESULT GetOutputType(const AM_MEDIA_TYPE& input, int index, AM_MEDIA_TYPE* type) = 0;
    // Sets the output allocator's properties.
    virtual HRESULT DecideOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Prepares the processing of a new stream of the connected input type; the output pin can
    // take samples from here on.
    virtual HRESULT StartStreaming(const AM_MEDIA_TYPE& input) = 0;
    // Drops what StartStreaming prepared.
    virtual void StopStreaming() = 0;
    // One input sample, on the streaming thread.
    virtual HRESULT Process(IMediaSample* sample) = 0;
    // The end of the input, on the streaming thread, before the end goes downstream.
    virtual HRESULT Finish() = 0;

    // Copies size bytes into an output sample with the times start and end and delivers it;
    // size must fit the buffers that DecideOutputBuffers asked for.
    HRESULT DeliverBytes(const uint8_t* data, size_t size, REFERENCE_TIME start, REFERENCE_TIME end);

private:
    friend class trelvox::CBaseInputPin<CStreamFilter>;
    friend class CStreamOutputPin;

    // The input pin's calls into the filter.
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type);
    HRESULT Receive(IMediaSample* sample);
    HRESULT EndOfStream();
    void BeginFlush();
    void EndFlush();
    void NewSegment(REFERENCE_TIME) {}

    std::unique_ptr<CStreamInputPin> m_input; // both pins share this filter's reference count
    std::unique_ptr<CStreamOutputPin> m_output;
    bool m_flushing = false; // under the filter's lock
    // Held while a sample or the end of the stream is processed, and while processing starts
    // and stops: the streaming thread and the graph's thread never process at once.
    std::mutex m_streamLock;
    bool m_streaming = false; // under m_streamLock
};

} // namespace dshowaac
