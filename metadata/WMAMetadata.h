#pragma once

#include "Metadata.h"

// Windows Media files. Reading and writing their attributes needs the Windows Media editor,
// which this library does not drive yet: the container exists so that callers can ask for
// it, and its tag operations fail cleanly.
class CWMAMetadata final : public CMetadata<CWMAMetadata> {
public:
    using CMetadata::CMetadata;

    unsigned TX_THISCALL GetCapabilities() override { return 3; }
    HRESULT TX_THISCALL GetTag(IMetadataTag**) override { return E_NOTIMPL; }
    HRESULT TX_THISCALL SetTag(IMetadataTag*) override { return E_NOTIMPL; }
};
