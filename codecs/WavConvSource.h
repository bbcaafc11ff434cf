#pragma once

#include "DefConvertSource.h"
#include "Handles.h"

// Reads RIFF Wave files through mmio and delivers PCM; compressed files are decoded by ACM
// into the PCM format ACM suggests for them.
class CWavConvSource : public CDefConvertSource {
public:
    CWavConvSource() = default;
    ~CWavConvSource() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL Close() override;

private:
    // Open's steps after the base check; on false the message has been logged and the
    // caller closes.
    bool OpenFile();
    bool PlayPcm(IPlayCallback* sink, uint8_t* buffer, uint32_t blockSize);
    bool PlayCompressed(IPlayCallback* sink, uint8_t* buffer, uint32_t blockSize);

    trelvox::UniqueMmio m_file;
    trelvox::UniqueBytes m_fileFormat; // the "fmt " contents, kept only for compressed files
    trelvox::UniqueAcmStream m_stream; // none for PCM files
    uint32_t m_dataOffset = 0;         // file offset of the "data" contents, bytes
    uint32_t m_dataLeft = 0;           // "data" bytes not yet read
};
