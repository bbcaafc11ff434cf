#pragma once

#include "DefConvertDestination.h"
#include "Handles.h"
#include "MP3Settings.h"
#include "MP3Types.h"

// Writes MP3 files through the LAME encoder library "lame_enc.dll", which is loaded at every
// Open and unloaded at Close. 8-, 16- and 24-bit mono or stereo input; 16-bit input goes to
// the encoder straight from the caller's buffer, whole chunks at a time.
class CMP3ConvDest : public CDefConvertDestination {
public:
    CMP3ConvDest(); // the record comes from the registry defaults
    ~CMP3ConvDest() override;

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

    MP3SETTINGS& Settings() { return m_settings.Record(); }

private:
    // The loaded encoder library and its entry points; all null when not loaded.
    struct Encoder {
        trelvox::UniqueModule module;
        trelvox::BeInitStream init = nullptr;
        trelvox::BeEncodeChunk encode = nullptr;
        trelvox::BeDeinitStream deinit = nullptr;
        trelvox::BeCloseStream close = nullptr;
        trelvox::BeVersion version = nullptr;
        trelvox::BeWriteVBRHeader writeVBRHeader = nullptr;
    };

    bool LoadEncoder();
    // Encodes count 16-bit values (interleaved) and writes what comes out.
    bool EncodeChunk(const int16_t* samples, DWORD count);
    bool WriteOutput(DWORD bytes);
    // Converts count input samples of the current width into 16-bit values at out.
    void Convert(const uint8_t* in, DWORD count, int16_t* out) const;

    CMP3Settings m_settings;
    MP3SETTINGS m_working; // the copy an encoding runs with
    unsigned m_bytesPerSample = 2;
    Encoder m_encoder;
    trelvox::LameStream m_stream = nullptr;
    bool m_streamOpen = false;
    DWORD m_samplesPerChunk = 0;
    DWORD m_outputSize = 0;
    std::unique_ptr<int16_t[]> m_samples; // one chunk of 16-bit values
    DWORD m_held = 0;                     // values waiting in m_samples
    trelvox::UniqueBytes m_output;        // m_outputSize bytes
    trelvox::UniqueFile m_file;
    bool m_writeFailed = false; // the file missed bytes; reported once
};

namespace trelvox {

// The encoder configuration for settings and an input format (all unused bytes 0).
void BuildLameConfig(const MP3SETTINGS& settings, const WAVEFORMATEX& input, LAMECONFIG* config);

// Where lame_enc.dll is looked for after the system's search: the "Path" value of the App
// Paths key of Trelvox.exe with the library's name appended. False when there is none.
bool LameAppPath(char (&path)[MAX_PATH]);

} // namespace trelvox
