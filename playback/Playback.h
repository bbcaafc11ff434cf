// One playback: the sink a source plays into, which queues its PCM on the wave-out device.
#pragma once

#include "Handles.h"
#include "TrelvoxPlayback.h"

class CPlayback : public IPlayCallback {
public:
    static constexpr uint32_t kBlockCount = 32;
    static constexpr uint32_t kBlockBytes = 16384;

    CPlayback() = default;
    virtual ~CPlayback();
    CPlayback(const CPlayback&) = delete;
    CPlayback& operator=(const CPlayback&) = delete;

    // Queues pcm in blocks of kBlockBytes, waiting for a free block each time, then reports
    // the position; false when the callback asks to stop.
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override;
    // Plays source (opened and closed here) to its end or until callback stops it, and
    // returns once the device has played everything queued. source's start time is set by
    // the caller. S_OK, or E_FAIL when the source, the first report or the device refused.
    virtual HRESULT Run(IConvertSource* source, IPlaybackCallback* callback);

private:
    static void CALLBACK DeviceDone(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR);
    void CloseDevice();

    WAVEFORMATEX m_format = {};
    HWAVEOUT m_device = nullptr;
    WAVEHDR m_headers[kBlockCount] = {};
    trelvox::UniqueBytes m_buffer;
    int32_t m_lastBlock = kBlockCount - 1; // so that the first block written is block 0
    trelvox::UniqueHandle m_freeBlocks;
    IPlaybackCallback* m_callback = nullptr;
    uint32_t m_playedBytes = 0;
    int32_t m_lastMinutes = 0;
    int32_t m_lastSeconds = 0;
    int32_t m_totalMinutes = 0;
    int32_t m_totalSeconds = 0;
    bool m_stopped = false; // the callback asked to stop
};
