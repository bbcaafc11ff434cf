#pragma once

#include "DefConvertDestination.h"
#include "Handles.h"
#include "OggSettingsRecord.h"

#include <memory>

namespace trelvox {

// For 3 to 8 channels: which interleaved Wave channel feeds Vorbis channel i (Vorbis orders
// the centre between the fronts and puts the LFE last). Identity for other counts.
unsigned WaveChannelForVorbis(unsigned channels, unsigned vorbisChannel);

} // namespace trelvox

// Writes Ogg Vorbis files through libvorbis and libogg.
class COggConvDest : public CDefConvertDestination {
public:
    COggConvDest();
    ~COggConvDest() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL GetSettingsText(char* buf, int size) override;
    bool TX_THISCALL SetOption(const char* name, const char* value, char* message) override;

    OGGSETTINGS& Settings() { return m_settings; }

private:
    struct Encoder; // libvorbis/libogg state, kept out of this header

    // Feeds finished blocks to the stream and writes the pages that come out. At the end of
    // the stream, pages after the one flagged end-of-stream are no longer written.
    bool Drain();
    bool WritePage(const void* header, long headerBytes, const void* body, long bodyBytes);
    void ReleaseEncoder();

    OGGSETTINGS m_settings;
    OGGSETTINGS m_working; // the copy an encoding runs with
    trelvox::UniqueFile m_file;
    std::unique_ptr<Encoder> m_encoder;
    bool m_endWritten = false;
};
