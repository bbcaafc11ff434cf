#pragma once

#include "Metadata.h"

// FLAC files: the Vorbis comment block, mapped to ID3 frames under any ID3 tag the file
// carries. Read only.
class CFLACMetadata final : public CMetadata<CFLACMetadata> {
public:
    using CMetadata::CMetadata;

    unsigned TX_THISCALL GetCapabilities() override;
    // Always S_OK; an unreadable file gives whatever ID3 tag was found, usually none.
    HRESULT TX_THISCALL GetTag(IMetadataTag** tag) override;
    // E_NOTIMPL; the file is not touched.
    HRESULT TX_THISCALL SetTag(IMetadataTag* tag) override;
};
