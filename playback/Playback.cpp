#include "Playback.h"

#include "Trace.h"

#include <string.h>

#include <memory>
#include <new>

namespace {

// The device is asked again at this interval, in milliseconds, until it has played out.
constexpr DWORD kDrainPollMs = 256;
// How much longer than its queued audio a device may take to hand the blocks back.
constexpr DWORD kDrainSlackMs = 10000;

struct PlaybackJob {
    IConvertSource* source;      // one reference, released by the thread
    IPlaybackCallback* callback; // the caller's
};

DWORD WINAPI PlaybackThread(void* parameter) {
    std::unique_ptr<PlaybackJob> job(static_cast<PlaybackJob*>(parameter));
    HRESULT com = CoInitialize(nullptr);
    try {
        CPlayback playback;
        job->source->SetStartTime(0);
        playback.Run(job->source, job->callback);
    } catch (...) {
        TX_TRACE(conv, "playback: an exception ended the run");
    }
    job->callback->OnFinished();
    job->source->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

} // namespace

CPlayback::~CPlayback() {
    if (m_device) {
        waveOutReset(m_device);
        CloseDevice();
    }
}

void CALLBACK CPlayback::DeviceDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    // Runs on the driver's thread: nothing but the counter may be touched here.
    if (message == WOM_DONE)
        ReleaseSemaphore(reinterpret_cast<CPlayback*>(instance)->m_freeBlocks.get(), 1, nullptr);
}

void CPlayback::CloseDevice() {
    // Windows' waveOutClose refuses while blocks are queued, but Wine's closes at once and drops
    // them: so first take every block back, allowing the queue's own length and some slack.
    if (m_freeBlocks && m_format.nAvgBytesPerSec) {
        DWORD limit = kBlockCount * kBlockBytes / m_format.nAvgBytesPerSec * 1000 + kDrainSlackMs;
        DWORD started = GetTickCount();
        for (uint32_t taken = 0; taken < kBlockCount && GetTickCount() - started < limit;) {
            if (WaitForSingleObject(m_freeBlocks.get(), kDrainPollMs) == WAIT_OBJECT_0)
                ++taken;
        }
    }
    MMRESULT result;
    while ((result = waveOutClose(m_device)) == WAVERR_STILLPLAYING)
        Sleep(kDrainPollMs);
    if (result != MMSYSERR_NOERROR)
        TX_TRACE(conv, "playback: waveOutClose gave %u", result);
    m_device = nullptr;
}

HRESULT CPlayback::Run(IConvertSource* source, IPlaybackCallback* callback) {
    m_callback = callback;
    if (!source->Open())
        return E_FAIL;
    uint32_t length = 0;
    source->GetFormat(&m_format);
    source->GetLength(&length, -1, -1);
    uint32_t seconds = m_format.nAvgBytesPerSec ? length / m_format.nAvgBytesPerSec : 0;
    m_totalMinutes = static_cast<int32_t>(seconds / 60);
    m_totalSeconds = static_cast<int32_t>(seconds % 60);
    if (callback->OnProgress(0, 0, m_totalMinutes, m_totalSeconds) < 0) {
        source->Close();
        return E_FAIL;
    }

    MMRESULT result = waveOutOpen(&m_device, WAVE_MAPPER, &m_format, reinterpret_cast<DWORD_PTR>(&DeviceDone),
                                  reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
    if (result != MMSYSERR_NOERROR) {
        TX_TRACE(conv, "playback: waveOutOpen gave %u", result);
        m_device = nullptr;
        source->Close();
        return E_FAIL;
    }
    m_buffer = trelvox::AllocateBytes(kBlockCount * kBlockBytes);
    m_freeBlocks.reset(CreateSemaphoreA(nullptr, kBlockCount, kBlockCount, nullptr));
    if (!m_buffer || !m_freeBlocks) {
        source->Close();
        CloseDevice();
        return E_FAIL;
    }
    for (uint32_t i = 0; i < kBlockCount; ++i)
        m_headers[i].lpData = reinterpret_cast<char*>(m_buffer.get() + i * kBlockBytes);

    source->Play(this);
    source->Close();
    // A stop asked for by the caller should not play out the three seconds still queued.
    if (m_stopped)
        waveOutReset(m_device);
    CloseDevice();
    return S_OK;
}

bool TX_THISCALL CPlayback::OnData(const void* pcm, uint32_t bytes) {
    const uint8_t* data = static_cast<const uint8_t*>(pcm);
    for (uint32_t left = bytes; left > 0;) {
        uint32_t piece = left < kBlockBytes ? left : kBlockBytes;
        WaitForSingleObject(m_freeBlocks.get(), INFINITE);
        m_lastBlock = (m_lastBlock + 1) % kBlockCount;
        WAVEHDR& header = m_headers[m_lastBlock];
        // The semaphore says the device is done with the oldest block, which is this one.
        if (header.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(m_device, &header, sizeof(header));
        memcpy(header.lpData, data, piece);
        header.dwBufferLength = piece;
        header.dwFlags = 0;
        MMRESULT result = waveOutPrepareHeader(m_device, &header, sizeof(header));
        if (result == MMSYSERR_NOERROR)
            result = waveOutWrite(m_device, &header, sizeof(header));
        if (result != MMSYSERR_NOERROR) {
            // Not queued, so no completion will free it.
            TX_TRACE(conv, "playback: waveOutWrite gave %u", result);
            ReleaseSemaphore(m_freeBlocks.get(), 1, nullptr);
        }
        // A synchronous device may be done with it already.
        waveOutUnprepareHeader(m_device, &header, sizeof(header));
        data += piece;
        left -= piece;
    }

    m_playedBytes += bytes;
    if (m_format.nAvgBytesPerSec == 0)
        return true;
    uint32_t seconds = m_playedBytes / m_format.nAvgBytesPerSec;
    int32_t minutes = static_cast<int32_t>(seconds / 60);
    int32_t rest = static_cast<int32_t>(seconds % 60);
    if (minutes == m_lastMinutes && rest == m_lastSeconds)
        return true;
    m_lastMinutes = minutes;
    m_lastSeconds = rest;
    if (m_callback->OnProgress(minutes, rest, m_totalMinutes, m_totalSeconds) < 0) {
        m_stopped = true;
        return false;
    }
    return true;
}

extern "C" BOOL __cdecl Playback(IConvertSource* source, IPlaybackCallback* callback) {
    if (!source || !callback)
        return FALSE;
    PlaybackJob* job = new (std::nothrow) PlaybackJob{source, callback};
    if (!job)
        return FALSE;
    source->AddRef();
    HANDLE thread = CreateThread(nullptr, 0, PlaybackThread, job, 0, nullptr);
    if (!thread) {
        source->Release();
        delete job;
        return FALSE;
    }
    CloseHandle(thread);
    return TRUE;
}
