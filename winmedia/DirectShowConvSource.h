#pragma once

#include "ComPtr.h"
#include "DefConvertSource.h"
#include "Handles.h"
#include "RuntimeCaller.h"
#include "TempFile.h"
#include "TrelvoxWinMedia.h"

#include <atomic>
#include <memory>
#include <mutex>

struct IGraphBuilder;
struct IMediaControl;
struct IMediaEventEx;
struct IMediaSeeking;
struct IMediaPosition;
struct IPin;
class CMyBaseRenderer;
class CReaderGuard;

// Decodes any file that an installed DirectShow filter chain can turn into PCM. The graph ends
// in the library's own renderer, which hands the samples over on DirectShow's streaming
// thread: straight to the sink of a running Play, or into a temporary file from which
// ISampleReader reads frames at any position.
//
// The graph's calls that can wait for the decoder (Connect, Run, Pause, Stop, seeking, the
// release of the graph) run on a RuntimeCaller, and Play and ReadFrames watch the samples: a
// decoder that makes no progress for StallLimitMs() fails the operation with an error, instead
// of holding the conversion for ever.
class CDirectShowConvSource : public CDefConvertSource, public ISampleReader {
public:
    CDirectShowConvSource();
    ~CDirectShowConvSource() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;

    bool TX_THISCALL SetPosition(DWORD frame) override;
    WORD TX_THISCALL GetFrameSize() override;
    bool TX_THISCALL GetFrameCount(DWORD* frames) override;
    DWORD TX_THISCALL ReadFrames(DWORD frames, void* buffer) override;

    // Called by the renderer while the graph connects: the PCM format it accepted.
    void AcceptFormat(const WAVEFORMATEX& format);
    // Called by the renderer on the streaming thread for each sample; start is the sample's
    // stream time in 100-ns units.
    void DeliverSample(LONGLONG start, const uint8_t* data, uint32_t length);
    // Called by the renderer on the streaming thread after it reported the end of the stream.
    void EndOfStream();

protected:
    void* FindInterface(REFIID riid) override;

private:
    bool BuildGraph();
    // False, with the error reported, when the file's header declares a channel count that
    // the platform's decoders cannot take.
    bool ChannelsDecodable();
    // Puts a CReaderGuard behind the file source's output pin, which becomes the guard's output;
    // false (and the graph as it was) when the source is not a file reader.
    bool InsertGuard(trelvox::ComPtr<IPin>& output);
    // Runs a graph call on the runtime caller; false, after reporting the stall, when it did not
    // return in time, and at once when an earlier call was abandoned.
    template <class Call> bool GraphCall(Call&& call, HRESULT* result);
    // Run, Pause or Stop of the graph through GraphCall.
    bool Control(HRESULT (STDMETHODCALLTYPE IMediaControl::*operation)(), HRESULT* result);
    // Reports the first stall of the decoder, and an abandoned call.
    void ReportStall(bool abandoned);
    // The decoder stopped making progress while the graph ran: its reads fail from now on and
    // the graph stops.
    void StopStalledGraph();
    // Seeks the graph to position (100-ns units); false when the call stalled.
    bool Seek(LONGLONG position, HRESULT* result);
    bool DecoderStalled() const;
    bool ReaderReady();
    // Whether a WaitForCompletion result means that the running graph has finished.
    bool Completed(HRESULT waitResult) const;
    bool CreateTempFile();
    void DeleteTempFile();
    uint32_t BufferedFrames();

    trelvox::ComPtr<IGraphBuilder> m_graph;
    trelvox::ComPtr<IMediaControl> m_control;
    trelvox::ComPtr<IMediaEventEx> m_events;
    trelvox::ComPtr<IMediaSeeking> m_seeking;
    trelvox::ComPtr<IMediaPosition> m_position;
    trelvox::ComPtr<CMyBaseRenderer> m_renderer;
    trelvox::ComPtr<CReaderGuard> m_guard; // null when the source filter is not a file reader
    trelvox::RuntimeCaller m_caller;
    std::shared_ptr<trelvox::ProgressClock> m_clock; // touched by samples, reads and calls
    bool m_stalled = false;                          // reported; the graph delivers no more

    // Shared with the streaming thread.
    std::atomic<IPlayCallback*> m_sink{nullptr};
    std::atomic<bool> m_stopRequest{false};
    std::atomic<bool> m_inSink{false}; // the sink has a sample: time spent there is not the decoder's
    trelvox::UniqueEvent m_event;      // auto-reset; set by the renderer after each sample and a stop request

    bool m_completed = false; // reader mode: the graph delivered the whole stream
    uint64_t m_seekFrame = 0; // reader mode: first frame wanted after SetPosition
    uint32_t m_handedOut = 0; // reader mode: frames ReadFrames returned since then
    std::mutex m_fileLock;    // guards the temporary file and m_fileBytes
    TempFile m_tempFile;
    uint64_t m_fileBytes = 0;

    WAVEFORMATEX m_pcmFormat = {}; // what the renderer accepted
    uint32_t m_dataSize = 0;       // bytes, from the graph's duration
};
