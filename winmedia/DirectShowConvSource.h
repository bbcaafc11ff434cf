#pragma once

#include "ComPtr.h"
#include "DefConvertSource.h"
#include "Handles.h"
#include "TempFile.h"
#include "TrelvoxWinMedia.h"

#include <atomic>
#include <mutex>

struct IGraphBuilder;
struct IMediaControl;
struct IMediaEventEx;
struct IMediaSeeking;
struct IMediaPosition;
class CMyBaseRenderer;

// Decodes any file that an installed DirectShow filter chain can turn into PCM. The graph ends
// in the library's own renderer, which hands the samples over on DirectShow's streaming
// thread: straight to the sink of a running Play, or into a temporary file from which
// ISampleReader reads frames at any position.
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

    // Shared with the streaming thread.
    std::atomic<IPlayCallback*> m_sink{nullptr};
    std::atomic<bool> m_stopRequest{false};
    trelvox::UniqueEvent m_event; // auto-reset; set by the renderer after each sample and a stop request

    bool m_completed = false; // reader mode: the graph delivered the whole stream
    uint64_t m_seekFrame = 0; // reader mode: first frame wanted after SetPosition
    uint32_t m_handedOut = 0; // reader mode: frames ReadFrames returned since then
    std::mutex m_fileLock;    // guards the temporary file and m_fileBytes
    TempFile m_tempFile;
    uint64_t m_fileBytes = 0;

    WAVEFORMATEX m_pcmFormat = {}; // what the renderer accepted
    uint32_t m_dataSize = 0;       // bytes, from the graph's duration
};
