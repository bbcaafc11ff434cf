#pragma once

#include "DefConvertSource.h"
#include "Handles.h"
#include "TempFile.h"

#include <mmsystem.h>

// Turns a MIDI file into PCM by playing it: the MCI sequencer plays the file in real time while
// waveform-audio input device 0 (which the user has set to record the synthesizer's output)
// records into a temporary file, which Play hands to the sink as it grows. A conversion takes
// as long as the piece plays.
//
// Three contexts share the buffer table: the input callback only marks finished buffers and
// signals the event; the worker thread writes them to the file and queues new ones while
// recording; Play's thread pumps the notification window and reads the file behind the writer.
class CMIDIConvSource : public CDefConvertSource {
public:
    CMIDIConvSource() = default;
    ~CMIDIConvSource() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL Close() override;

private:
    static constexpr int kSlots = 10;
    static constexpr uint32_t kBufferBytes = 88200; // one second

    struct Slot {
        WAVEHDR* header = nullptr; // with its data block behind it, in one allocation
        volatile LONG done = 0;
    };

    bool OpenSequencer();
    // Play's steps; on false the message has been logged.
    bool StartRecording();
    bool StartPlaying();
    void Deliver(IPlayCallback* sink, FILE* reader, uint8_t* block, bool& sinkStopped);
    // Allocates, prepares and queues one buffer; false (message logged) when it cannot.
    bool QueueBuffer();
    // Writes one finished buffer to the file and frees it.
    bool RetireBuffer(Slot& slot);
    void StopRecording();
    void StopSequencer();
    int BuffersInFlight() const;

    static void CALLBACK InputCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                       DWORD_PTR param2);
    static DWORD WINAPI WorkerThread(void* self);
    static INT_PTR CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    MCIDEVICEID m_device = 0;
    HWAVEIN m_input = nullptr;
    Slot m_slots[kSlots];
    volatile LONG m_recording = 0;
    trelvox::UniqueHandle m_event;
    trelvox::UniqueHandle m_thread;
    HWND m_window = nullptr;
    TempFile m_temp; // lives from Play until the source goes
};
