#pragma once

#include "ComObject.h"
#include "TrelvoxMetadata.h"

#include <id3/tag.h>

// A tag: one ID3_Tag held by value, which owns every frame in it. Frame objects handed out by
// GetFrame point into this tag and must not outlive it.
class CMetadataTag final : public trelvox::ComObject<IMetadataTag> {
public:
    CMetadataTag() = default;
    explicit CMetadataTag(const ID3_Tag& tag) : m_tag(tag) {}

    unsigned TX_THISCALL GetFrameCount() override;
    HRESULT TX_THISCALL Reserved(void* a, void* b, void* c) override;
    HRESULT TX_THISCALL GetFrame(int frameId, REFIID iid, void** frame) override;
    HRESULT TX_THISCALL RemoveFrames(int frameId) override;

    ID3_Tag& Tag() { return m_tag; }

    // The tag object behind an interface pointer, or null when it is not one of ours.
    static CMetadataTag* FromInterface(IMetadataTag* tag);

private:
    void* FindInterface(REFIID riid) override;

    ID3_Tag m_tag;
};
