#include "MP3Metadata.h"

#include "FieldText.h"
#include "HResultGuard.h"
#include "ID3v24Reader.h"
#include "MetadataTag.h"
#include "SettingsStore.h"

#include <memory>
#include <new>

unsigned TX_THISCALL CMP3Metadata::GetCapabilities() {
    return 3;
}

HRESULT TX_THISCALL CMP3Metadata::GetTag(IMetadataTag** tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!tag)
            return E_INVALIDARG;
        ID3_Tag read;
        trelvox::LinkID3Tags(FileName().c_str(), read);
        *tag = new CMetadataTag(read);
        return S_OK;
    });
}

HRESULT TX_THISCALL CMP3Metadata::SetTag(IMetadataTag* tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        CMetadataTag* source = CMetadataTag::FromInterface(tag);
        if (!source)
            return E_INVALIDARG;
        ID3_Tag linked;
        linked.Link(FileName().c_str(), ID3TT_ALL);
        for (ID3_Frame* frame : trelvox::FramesOf(linked))
            delete linked.RemoveFrame(frame);
        size_t copied = 0;
        for (ID3_Frame* frame : trelvox::FramesOf(source->Tag())) {
            std::unique_ptr<ID3_Frame> copy(new ID3_Frame(*frame));
            linked.AttachFrame(copy.get());
            copy.release();
            ++copied;
        }
        bool storeV1 = trelvox::ReadSettingInt("Settings", "MP3_Store_ID3v1", 0) != 0;
        linked.Strip(ID3TT_ALL);
        // id3lib renders an ID3v1 tag even without frames; an empty tag must leave none.
        flags_t written = copied > 0 ? linked.Update(storeV1 ? ID3TT_ID3V1 : ID3TT_ID3V2)
                                     : static_cast<flags_t>(ID3TT_NONE);
        return written == ID3TT_NONE && copied > 0 ? E_FAIL : S_OK;
    });
}
