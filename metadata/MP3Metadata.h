#pragma once

#include "Metadata.h"

// MPEG audio files: ID3v1 and ID3v2 tags through id3lib. Every operation opens the file anew.
class CMP3Metadata final : public CMetadata<CMP3Metadata> {
public:
    using CMetadata::CMetadata;

    unsigned TX_THISCALL GetCapabilities() override;
    // A missing or unreadable file gives an empty tag and S_OK.
    HRESULT TX_THISCALL GetTag(IMetadataTag** tag) override;
    // Strips every tag from the file and writes one: ID3v2, or ID3v1 when the user chose
    // "MP3_Store_ID3v1". An empty tag leaves the file without any tag.
    HRESULT TX_THISCALL SetTag(IMetadataTag* tag) override;
};
