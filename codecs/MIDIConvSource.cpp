#include "MIDIConvSource.h"

#include "ResourceIds.h"

#include <stdlib.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr const char* kHelp = "https://learn.microsoft.com/windows/win32/multimedia/recording-waveform-audio";
// How long stopping waits for the device to hand back its buffers before taking them back.
constexpr DWORD kReturnWaitMs = 10000;

unsigned long Code(DWORD error) {
    return static_cast<unsigned long>(error);
}

} // namespace

CMIDIConvSource::~CMIDIConvSource() {
    Close();
}

bool CMIDIConvSource::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_MIDIConvSource;
    return true;
}

bool CMIDIConvSource::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!OpenSequencer()) {
        Close();
        return false;
    }
    return true;
}

bool CMIDIConvSource::OpenSequencer() {
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = m_path;
    MCIERROR error =
        mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (error) {
        SetError("MIDI File cannot be opened (error %lX)", Code(error));
        return false;
    }
    m_device = open.wDeviceID;
    MCI_STATUS_PARMS status = {};
    status.dwItem = MCI_SEQ_STATUS_PORT;
    error = mciSendCommandA(m_device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status));
    if (error) {
        SetError("MIDI Status request failed (error %lX)", Code(error));
        return false;
    }
    if (m_startTime > 0)
        SetInfo("Warning: Encoding specific portions of a MIDI is currently not supported");
    SetInfo("For help on converting MIDI files, please see: %s", kHelp);
    // The length in milliseconds, whatever time format the file itself uses.
    MCI_SET_PARMS set = {};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    mciSendCommandA(m_device, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
    status = {};
    status.dwItem = MCI_STATUS_LENGTH;
    error = mciSendCommandA(m_device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status));
    if (error) {
        SetError("MIDI Length Status request failed (error %lX)", Code(error));
        return false;
    }
    m_format = {};
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = 1;
    m_format.nSamplesPerSec = 44100;
    m_format.wBitsPerSample = 16;
    m_format.nBlockAlign = 2;
    m_format.nAvgBytesPerSec = kBufferBytes;
    m_totalBytes = static_cast<uint32_t>(uint64_t(status.dwReturn) * kBufferBytes / 1000) & ~1u;
    return true;
}

bool CMIDIConvSource::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (!sink || !m_device)
        return false;
    if (!m_temp.Create("win")) {
        SetError("Temp file cannot be created");
        return false;
    }
    if (!StartRecording() || !StartPlaying()) {
        if (m_input)
            StopRecording();
        return false;
    }
    trelvox::UniqueFile reader(fopen(m_temp.Path(), "rb"));
    trelvox::UniqueBytes block = reader ? trelvox::AllocateBytes(kBufferBytes) : nullptr;
    if (!reader || !block) {
        SetError(reader ? "Out of memory" : "Temp file cannot be opened for reading");
        StopSequencer();
        if (m_window)
            DestroyWindow(m_window);
        m_window = nullptr;
        StopRecording();
        return false;
    }
    bool sinkStopped = false;
    while (m_thread && WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT) {
        if (m_window) {
            MSG msg;
            while (PeekMessageA(&msg, m_window, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (!IsWindow(m_window)) {
                // Playback has ended: what is recorded so far is all there is.
                m_window = nullptr;
                StopRecording();
                break;
            }
        }
        HANDLE thread = m_thread.get();
        MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT);
        if (!sinkStopped)
            Deliver(sink, reader.get(), block.get(), sinkStopped);
    }
    // The worker ended by itself (no buffer could be queued): the sequence stops too.
    if (m_window) {
        StopSequencer();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
    if (m_input)
        StopRecording();
    if (!sinkStopped)
        Deliver(sink, reader.get(), block.get(), sinkStopped);
    return true;
}

void CMIDIConvSource::Deliver(IPlayCallback* sink, FILE* reader, uint8_t* block, bool& sinkStopped) {
    for (;;) {
        size_t got = fread(block, 1, kBufferBytes, reader);
        if (got == 0) {
            // The writer is still appending. The runtime remembers end of file on the
            // descriptor too, and only a seek forgets it; clearerr alone would read
            // nothing ever after.
            fseek(reader, 0, SEEK_CUR);
            return;
        }
        if (got % 2) {
            // Half a sample: the rest is still on its way.
            fseek(reader, -1, SEEK_CUR);
            if (--got == 0)
                return;
        }
        if (!sink->OnData(block, static_cast<uint32_t>(got))) {
            sinkStopped = true;
            StopSequencer();
            // The stop's notice ends playback; a sequencer that sends none ends it here.
            if (m_window) {
                MSG msg;
                while (PeekMessageA(&msg, m_window, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
                if (IsWindow(m_window))
                    DestroyWindow(m_window);
            }
            return;
        }
    }
}

bool CMIDIConvSource::StartRecording() {
    InterlockedExchange(&m_recording, 1);
    WAVEFORMATEX format = m_format;
    HWAVEIN input = nullptr;
    MMRESULT error = waveInOpen(&input, 0, &format, reinterpret_cast<DWORD_PTR>(&InputCallback),
                                reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | WAVE_FORMAT_DIRECT);
    if (error != MMSYSERR_NOERROR) {
        SetError("Waveform-audio input device cannot be opened for recording (error %lX)", Code(error));
        return false;
    }
    m_input = input;
    if (!QueueBuffer() || !QueueBuffer())
        return false;
    m_event.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (m_event)
        m_thread.reset(CreateThread(nullptr, 0, &WorkerThread, this, 0, nullptr));
    if (!m_thread) {
        SetError("Out of memory");
        return false;
    }
    SetThreadPriority(m_thread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    error = waveInStart(m_input);
    if (error != MMSYSERR_NOERROR) {
        SetError("Input on the device cannot be started (error %lX)", Code(error));
        return false;
    }
    return true;
}

bool CMIDIConvSource::StartPlaying() {
    m_window = CreateDialogParamA(reinterpret_cast<HINSTANCE>(&__ImageBase),
                                  MAKEINTRESOURCEA(IDD_MIDI_NOTIFY), nullptr, &NotifyProc, 0);
    if (!m_window) {
        SetError("MIDI Play request failed (error %lX)", Code(GetLastError()));
        return false;
    }
    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(m_window);
    MCIERROR error = mciSendCommandA(m_device, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
    if (error) {
        SetError("MIDI Play request failed (error %lX)", Code(error));
        DestroyWindow(m_window);
        m_window = nullptr;
        return false;
    }
    return true;
}

void CMIDIConvSource::StopSequencer() {
    MCI_GENERIC_PARMS stop = {};
    MCIERROR error = mciSendCommandA(m_device, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&stop));
    if (error)
        SetError("MIDI Stop request failed (error %lX)", Code(error));
}

bool CMIDIConvSource::QueueBuffer() {
    int index = 0;
    while (index < kSlots && m_slots[index].header)
        ++index;
    if (index == kSlots) {
        SetError("Buffer overflow");
        return false;
    }
    auto* header = static_cast<WAVEHDR*>(calloc(1, sizeof(WAVEHDR) + kBufferBytes));
    if (!header) {
        SetError("Out of memory");
        return false;
    }
    header->lpData = reinterpret_cast<LPSTR>(header + 1);
    header->dwBufferLength = kBufferBytes;
    header->dwUser = static_cast<DWORD_PTR>(index);
    MMRESULT error = waveInPrepareHeader(m_input, header, sizeof(WAVEHDR));
    if (error != MMSYSERR_NOERROR) {
        SetError("Header prepare failed (error %lX)", Code(error));
        free(header);
        return false;
    }
    Slot& slot = m_slots[index];
    slot.done = 0;
    slot.header = header; // before the device can hand it back
    error = waveInAddBuffer(m_input, header, sizeof(WAVEHDR));
    if (error != MMSYSERR_NOERROR) {
        SetError("Add input buffer failed (error %lX)", Code(error));
        slot.header = nullptr;
        waveInUnprepareHeader(m_input, header, sizeof(WAVEHDR));
        free(header);
        return false;
    }
    return true;
}

bool CMIDIConvSource::RetireBuffer(Slot& slot) {
    WAVEHDR* header = slot.header;
    if (!header) {
        SetError("Buffer not found");
        return false;
    }
    if (header->dwBytesRecorded > 0 && m_temp.get()) {
        fwrite(header->lpData, 1, header->dwBytesRecorded, m_temp.get());
        fflush(m_temp.get());
    }
    MMRESULT error = waveInUnprepareHeader(m_input, header, sizeof(WAVEHDR));
    if (error != MMSYSERR_NOERROR)
        SetError("Header unprepare failed (error %lX)", Code(error));
    slot.header = nullptr;
    slot.done = 0;
    free(header);
    return error == MMSYSERR_NOERROR;
}

int CMIDIConvSource::BuffersInFlight() const {
    int count = 0;
    for (const Slot& slot : m_slots)
        count += slot.header != nullptr;
    return count;
}

void CALLBACK CMIDIConvSource::InputCallback(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                             DWORD_PTR) {
    if (message != WIM_DATA)
        return;
    auto* self = reinterpret_cast<CMIDIConvSource*>(instance);
    auto* header = reinterpret_cast<WAVEHDR*>(param1);
    const DWORD_PTR index = header ? header->dwUser : kSlots;
    if (index < kSlots && self->m_slots[index].header == header) {
        InterlockedExchange(&self->m_slots[index].done, 1);
        SetEvent(self->m_event.get());
    }
}

DWORD WINAPI CMIDIConvSource::WorkerThread(void* param) {
    auto* self = static_cast<CMIDIConvSource*>(param);
    while (self->BuffersInFlight() > 0) {
        WaitForSingleObject(self->m_event.get(), INFINITE);
        for (Slot& slot : self->m_slots) {
            if (!slot.header || !InterlockedExchange(&slot.done, 0))
                continue;
            self->RetireBuffer(slot);
            if (self->m_recording && !self->QueueBuffer())
                InterlockedExchange(&self->m_recording, 0);
        }
    }
    return 0;
}

INT_PTR CALLBACK CMIDIConvSource::NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message != MM_MCINOTIFY)
        return FALSE;
    switch (wParam) {
    case MCI_NOTIFY_SUCCESSFUL:
    case MCI_NOTIFY_SUPERSEDED:
    case MCI_NOTIFY_ABORTED:
    case MCI_NOTIFY_FAILURE:
        DestroyWindow(window);
        break;
    }
    return TRUE;
}

void CMIDIConvSource::StopRecording() {
    if (!m_input) {
        SetError("Recording not started");
        return;
    }
    InterlockedExchange(&m_recording, 0);
    MMRESULT error = waveInStop(m_input);
    if (error != MMSYSERR_NOERROR)
        SetError("Device stop failed (error %lX)", Code(error));
    error = waveInReset(m_input); // hands every queued buffer back
    if (error != MMSYSERR_NOERROR)
        SetError("Device reset failed (error %lX)", Code(error));
    if (m_thread) {
        if (WaitForSingleObject(m_thread.get(), kReturnWaitMs) == WAIT_TIMEOUT) {
            // A device that keeps its buffers: take them back so that the worker can end.
            for (Slot& slot : m_slots)
                if (slot.header)
                    InterlockedExchange(&slot.done, 1);
            SetEvent(m_event.get());
            WaitForSingleObject(m_thread.get(), INFINITE);
        }
        m_thread.reset();
    }
    m_event.reset();
    // Buffers queued before the worker started (Play failed early).
    for (Slot& slot : m_slots)
        if (slot.header)
            RetireBuffer(slot);
    error = waveInClose(m_input);
    if (error != MMSYSERR_NOERROR)
        SetError("Device close failed (error %lX)", Code(error));
    m_input = nullptr;
}

bool CMIDIConvSource::Close() {
    CDefConvertSource::Close();
    if (m_device) {
        MCI_GENERIC_PARMS close = {};
        mciSendCommandA(m_device, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
        m_device = 0;
    }
    return true;
}
