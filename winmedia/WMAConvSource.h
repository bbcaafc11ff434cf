#pragma once

#include "ComPtr.h"
#include "DefConvertSource.h"
#include "TrelvoxWinMedia.h"

struct IWMSyncReader;
struct INSSBuffer;

// Decodes MP3 and Windows Media files through the Windows Media runtime's synchronous reader.
// Besides pushing PCM through Play it can be pulled from (ISampleReader) and reports the
// bit rate of the audio stream (ISourceInfo).
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
    // The next sample of the audio output and its bytes: S_OK, kNoMoreSamples at the end, or
    // a failure that has been logged.
    HRESULT NextSample(trelvox::ComPtr<INSSBuffer>& sample, BYTE** data, DWORD* length);

    trelvox::ComPtr<IWMSyncReader> m_reader;
    DWORD m_audioOutput = 0;
    WORD m_audioStream = 0;                   // 0 = unknown: samples of every stream are read and filtered
    uint64_t m_duration = 0;                  // 100-ns units, from the "Duration" attribute
    trelvox::ComPtr<INSSBuffer> m_heldSample; // the rest of a sample ReadFrames did not use
    DWORD m_heldOffset = 0;                   // bytes of m_heldSample already copied
};
