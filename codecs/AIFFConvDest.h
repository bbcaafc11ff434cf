#pragma once

#include "DefConvertDestination.h"
#include "Handles.h"

#include <memory>

// Writes uncompressed AIFF files (FORM type "AIFF") from the PCM it receives. The chunk sizes
// and the frame count are placeholders until Close fixes them up.
class CAIFFConvDest : public CDefConvertDestination {
public:
    CAIFFConvDest() = default;
    ~CAIFFConvDest() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) override;

private:
    struct Chunk {
        char id[4];
        long dataStart; // file position after the identifier and size (and FORM's form type)
    };

    bool BeginChunk(Chunk& chunk, const char* id, const char* formType);
    bool EndChunk(const Chunk& chunk, uint32_t extra);
    bool WriteCommContents();

    trelvox::UniqueFile m_file;
    Chunk m_form = {};
    Chunk m_comm = {};
    Chunk m_ssnd = {};
    uint32_t m_sampleBytes = 0;
};
