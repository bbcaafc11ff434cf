// The source-filter part of the library's DirectShow base layer: a filter with one output pin
// that runs its own streaming thread, on which the pin fills buffer after buffer and delivers
// them downstream until it ends the stream.
#pragma once

#include "FilterParts.h"
#include "Handles.h"
#include "OutputPin.h"

#include <atomic>
#include <memory>

// After the C++ headers: the DirectShow headers deprecate C string functions that they use.
#include <dshow.h>

class CSourceStream;

class CSource : public trelvox::CBaseFilter {
public:
    // IMediaFilter, IBaseFilter: pausing from the stopped state starts the pin's thread, stopping
    // ends it.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

protected:
    explicit CSource(const CLSID& clsid);
    // Stops the pin's thread before the derived pin goes.
    ~CSource() override;

    // Takes the filter's pin, made for this filter; once, in the derived constructor.
    void SetPin(std::unique_ptr<CSourceStream> pin);

private:
    std::unique_ptr<CSourceStream> m_pin; // shares this filter's reference count
};

class CSourceStream : public trelvox::CBaseOutputPin<CSource> {
public:
    CSourceStream(CSource* filter, const wchar_t* name);
    ~CSourceStream() override;

    const wchar_t* Name() const { return m_name; }
    // Commits the allocator and starts the streaming thread; nothing when not connected or
    // already running.
    HRESULT Start();
    // Asks the thread to end, decommits the allocator and waits for the thread.
    void Finish();

protected:
    // Fills sample on the streaming thread: S_OK delivers it, S_FALSE ends the stream, an
    // error ends it and reports EC_ERRORABORT. Long waits inside poll StopRequested.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    bool StopRequested() const { return m_stop; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Stream();

    trelvox::UniqueHandle m_thread;
    std::atomic<bool> m_stop{false};
};
