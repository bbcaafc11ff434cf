#pragma once

#include "Metadata.h"

struct IWMHeaderInfo;
struct IWMHeaderInfo3;
class ID3_Tag;

// Windows Media files (".wma", ".wmv", ".asx", ".asf"): their file-level attributes read as
// ID3 frames and written from them, through the Windows Media runtime's metadata editor.
// Frames without an attribute of their own travel as attributes named "ID3/" and the frame's
// identifier, so that a tag written here reads back whole.
class CWMAMetadata final : public CMetadata<CWMAMetadata> {
public:
    using CMetadata::CMetadata;

    unsigned TX_THISCALL GetCapabilities() override { return 3; }
    HRESULT TX_THISCALL GetTag(IMetadataTag** tag) override;
    HRESULT TX_THISCALL SetTag(IMetadataTag* tag) override;
};

namespace trelvox {

// The attributes of stream 0 as frames added to tag. Attributes that cannot be read are
// skipped; the first attribute that gives a frame identifier wins.
void ReadWmAttributes(IWMHeaderInfo* info, ID3_Tag& tag);
// Replaces the attributes that stand for frames by those of tag. Single failures are ignored.
void WriteWmAttributes(IWMHeaderInfo3* info, ID3_Tag& tag);

} // namespace trelvox
