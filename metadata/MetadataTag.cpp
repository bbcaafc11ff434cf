#include "MetadataTag.h"

#include "FieldText.h"
#include "HResultGuard.h"
#include "MetadataFrameFactory.h"

#include <new>

unsigned TX_THISCALL CMetadataTag::GetFrameCount() {
    return static_cast<unsigned>(m_tag.NumFrames());
}

HRESULT TX_THISCALL CMetadataTag::Reserved(void*, void*, void*) {
    return E_NOTIMPL;
}

HRESULT TX_THISCALL CMetadataTag::GetFrame(int frameId, REFIID iid, void** frame) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!frame)
            return E_INVALIDARG;
        // id3lib's Find resumes after its previous hit, so it would hand out a later frame of
        // the same identifier on a second call.
        ID3_Frame* found = nullptr;
        for (ID3_Frame* frame : trelvox::FramesOf(m_tag)) {
            if (static_cast<int>(frame->GetID()) == frameId) {
                found = frame;
                break;
            }
        }
        if (!found)
            return E_INVALIDARG;
        return trelvox::CreateFrameObject(frameId, found, false, iid, frame);
    });
}

HRESULT TX_THISCALL CMetadataTag::RemoveFrames(int frameId) {
    try {
        while (ID3_Frame* found = m_tag.Find(static_cast<ID3_FrameID>(frameId)))
            delete m_tag.RemoveFrame(found);
    } catch (...) {
        // The tag library frees as it goes; a failure leaves the frames not yet removed.
    }
    return S_OK;
}

CMetadataTag* CMetadataTag::FromInterface(IMetadataTag* tag) {
    return tag ? dynamic_cast<CMetadataTag*>(tag) : nullptr;
}

void* CMetadataTag::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IMetadataTag))
        return static_cast<IMetadataTag*>(this);
    return nullptr;
}
