#pragma once

#include "AcmConverter.h"
#include "DefConvertDestination.h"
#include "Handles.h"
#include "WAVSettings.h"

// Writes RIFF Wave files through mmio: the PCM as it comes, or converted by an ACM stream
// into the format the settings record asks for.
class CWavConvDest : public CDefConvertDestination {
public:
    CWavConvDest(); // the record comes from the "WAV" section of the settings store
    ~CWavConvDest() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) override;
    bool TX_THISCALL GetSettingsText(char* buf, int size) override;
    bool TX_THISCALL SetOption(const char* name, const char* value, char* message) override;

    WAVSETTINGS& Settings() { return m_settings.Record(); }

private:
    // Open's steps after the output location is ready; on false the message has been logged
    // and the caller closes.
    bool CreateFileAndFormat();
    bool WriteBytes(const void* data, uint32_t bytes);

    CWAVSettings m_settings;
    trelvox::UniqueMmio m_file;
    MMCKINFO m_riffChunk = {};
    MMCKINFO m_dataChunk = {};
    bool m_dataOpen = false;           // the "data" chunk was created and needs its size fixed up
    trelvox::AcmConverter m_converter; // empty while the output is the input's PCM
};
