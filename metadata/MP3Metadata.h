#pragma once

#include "Metadata.h"

// MPEG audio files: ID3v1 and ID3v2 tags through id3lib. Every operation opens the file anew.
class CMP3Metadata final : public CMetadata<CMP3Metadata> {
public:
    using CMetadata::CMetadata;

    unsigned TX_THISCALL GetCapabilities() override;
    // A missing or unreadable file gives an empty tag and S_OK.
    HRESULT TX_THISCALL GetTag(IMetadataTag** tag) override;
    // Replaces every tag of the file by one: ID3v2, or ID3v1 when the user chose
    // "MP3_Store_ID3v1". An empty tag leaves the file without any tag. All or nothing: the
    // new file is built beside the old one, and on failure the old one is left as it was.
    HRESULT TX_THISCALL SetTag(IMetadataTag* tag) override;
};
