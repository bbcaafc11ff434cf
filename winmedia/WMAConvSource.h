#pragma once

#include "ComPtr.h"
#include "DefConvertSource.h"
#include "RuntimeCaller.h"
#include "TrelvoxWinMedia.h"

#include <memory>

struct IWMSyncReader;
struct INSSBuffer;
class CWatchedFileStream;

// Decodes MP3 and Windows Media files through the Windows Media runtime's synchronous reader.
// Besides pushing PCM through Play it can be pulled from (ISampleReader) and reports the
// bit rate of the audio stream (ISourceInfo).
//
// The reader's calls that wait for its decoder (OpenStream, GetNextSample, SetRange, its release)
// run on a RuntimeCaller, and it reads the file through a CWatchedFileStream: a decoder that
// makes no progress for StallLimitMs() fails the operation with an error.
class CWMAConvSource : public CDefConvertSource, public ISampleReader, public ISourceInfo {
public:
    CWMAConvSource();
    ~CWMAConvSource() override;

    // One identity for all three interfaces.
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

    bool TX_THISCALL GetBitrate(DWORD* bitsPerSecond) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    // Open's steps after the base check; on false the message has been logged and the
    // reader may be closed already.
    bool OpenReader();
    bool FindAudioOutput();
    bool ReadAudioFormat();
    void ReleaseHeldSample();
    // Lets the reader go on the runtime caller: a reader that never opened completely may not
    // return from its release.
    void ReleaseReader();
    // A reader call on the runtime caller; false, after reporting the stall, when it did not
    // return in time, and at once when an earlier call was abandoned.
    template <class Call> bool ReaderCall(Call&& call, HRESULT* result);
    // The next sample of the audio output and its bytes: S_OK, kNoMoreSamples at the end, or
    // a failure that has been logged.
    HRESULT NextSample(trelvox::ComPtr<INSSBuffer>& sample, BYTE** data, DWORD* length);
    // Fetches the next samples of the stream into m_batch; false when the reader stalled.
    bool FetchSamples();
    // Forgets the samples fetched ahead, after the reader moved.
    void DropFetched();
    // Sets the reader's range to start at start (100-ns units) and forgets what was read
    // ahead; false when the call stalled.
    bool MoveReader(uint64_t start, HRESULT* result);

    // Samples fetched ahead on the runtime caller's thread, several per call, which keeps the
    // cost of the thread change small.
    struct SampleBatch;

    trelvox::ComPtr<IWMSyncReader> m_reader;
    trelvox::ComPtr<CWatchedFileStream> m_stream; // what the reader reads
    trelvox::RuntimeCaller m_caller;
    std::shared_ptr<trelvox::ProgressClock> m_clock;
    std::shared_ptr<SampleBatch> m_batch; // shared with a call that may be abandoned; null then
    DWORD m_audioOutput = 0;
    WORD m_audioStream = 0;                   // 0 = unknown: samples of every stream are read and filtered
    uint64_t m_duration = 0;                  // 100-ns units, from the "Duration" attribute
    trelvox::ComPtr<INSSBuffer> m_heldSample; // the rest of a sample ReadFrames did not use
    DWORD m_heldOffset = 0;                   // bytes of m_heldSample already copied
};
