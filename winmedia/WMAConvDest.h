#pragma once

#include "ComPtr.h"
#include "DefConvertDestination.h"
#include "TempFile.h"
#include "WMASettingsDlg.h"

#include <stdint.h>

struct IWMWriter;
struct IWMWriterPreprocess;

// Writes Windows Media files through the Windows Media runtime's writer, with the profile the
// record describes. A codec that wants more than one pass gets the PCM of the first pass
// through the preprocessing interface while the driver pushes it; a copy goes into a
// temporary file ("wpp"), from which Close replays the remaining passes, the last of them
// encoding.
class CWMAConvDest : public CDefConvertDestination {
public:
    CWMAConvDest(); // the record comes from the registry defaults
    ~CWMAConvDest() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) override;
    bool TX_THISCALL GetSettingsText(char* buf, int size) override;
    bool TX_THISCALL SetOption(const char* name, const char* value, char* message) override;

    WMASETTINGS& Settings() { return m_settings.Record(); }

    // Presentation time of the next sample, in 100-ns units.
    uint64_t SampleTime() const { return m_sampleTime; }
    // Preprocessing passes still to end.
    DWORD PendingPasses() const { return m_passes; }

private:
    // Open's steps from the writer on; false after reporting, with the destination closed
    // unless the failure says otherwise.
    bool OpenWriter(const wchar_t* path);
    // Finds the audio input and describes the PCM to it.
    bool SetAudioInput();
    void BeginTwoPass();
    // One block through the writer: preprocessed while passes remain, else encoded.
    bool WriteBlock(uint32_t bytes, const void* pcm);
    // The passes after the first, from the temporary file; true when they were cancelled or
    // found no audio.
    bool Replay();
    void ReleaseWriter();

    CWMASettingsDlg m_settings;
    trelvox::ComPtr<IWMWriter> m_writer;
    trelvox::ComPtr<IWMWriterPreprocess> m_preprocess;
    DWORD m_audioInput = 0;
    uint64_t m_sampleTime = 0;   // 100-ns units
    uint64_t m_bytesWritten = 0; // in the current pass
    DWORD m_passes = 0;
    bool m_writing = false;   // BeginWriting succeeded
    bool m_recording = false; // PCM is copied into m_replay
    TempFile m_replay;
};
