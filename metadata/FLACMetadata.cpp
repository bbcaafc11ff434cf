#include "FLACMetadata.h"

#include "FieldText.h"
#include "HResultGuard.h"
#include "ID3v24Reader.h"
#include "MetadataTag.h"

#include <FLAC++/metadata.h>

#include <new>

namespace {

struct CommentMapping {
    const char* field;
    ID3_FrameID frame;
};

constexpr CommentMapping kMappings[] = {
    {"TITLE", ID3FID_TITLE},
    {"ALBUM", ID3FID_ALBUM},
    {"TRACKNUMBER", ID3FID_TRACKNUM},
    {"ARTIST", ID3FID_LEADARTIST},
    {"PERFORMER", ID3FID_CONDUCTOR},
    {"COPYRIGHT", ID3FID_COPYRIGHT},
    {"ORGANIZATION", ID3FID_PUBLISHER},
    {"DESCRIPTION", ID3FID_CONTENTGROUP},
    {"GENRE", ID3FID_CONTENTTYPE},
    {"DATE", ID3FID_YEAR},
    {"ISRC", ID3FID_ISRC},
};

ID3_FrameID FrameFor(const char* field) {
    for (const CommentMapping& mapping : kMappings) {
        if (lstrcmpiA(mapping.field, field) == 0)
            return mapping.frame;
    }
    return ID3FID_NOFRAME;
}

// Adds the Vorbis comments to tag; a frame already in the tag (from an ID3 tag, or from an
// earlier comment of the same name) wins.
void MergeComments(const std::string& path, ID3_Tag& tag) {
    FLAC::Metadata::VorbisComment comments;
    if (!FLAC::Metadata::get_tags(path.c_str(), comments))
        return;
    for (unsigned i = 0; i < comments.get_num_comments(); ++i) {
        FLAC::Metadata::VorbisComment::Entry entry = comments.get_comment(i);
        if (!entry.is_valid())
            continue;
        ID3_FrameID id = FrameFor(entry.get_field_name());
        if (id == ID3FID_NOFRAME || tag.Find(id))
            continue;
        // Vorbis comments are UTF-8; frames carry UTF-16 so that non-ASCII text survives.
        std::wstring value =
            trelvox::Widen(std::string(entry.get_field_value(), entry.get_field_value_length()), CP_UTF8);
        ID3_Frame* frame = new ID3_Frame(id);
        trelvox::WriteFieldText(*frame, ID3FN_TEXT, value);
        trelvox::WriteFieldText(*frame, ID3FN_URL, value);
        tag.AttachFrame(frame);
    }
}

} // namespace

unsigned TX_THISCALL CFLACMetadata::GetCapabilities() {
    return 1;
}

HRESULT TX_THISCALL CFLACMetadata::GetTag(IMetadataTag** tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!tag)
            return E_INVALIDARG;
        ID3_Tag linked;
        trelvox::LinkID3Tags(FileName().c_str(), linked);
        MergeComments(FileName(), linked);
        *tag = new CMetadataTag(linked);
        return S_OK;
    });
}

HRESULT TX_THISCALL CFLACMetadata::SetTag(IMetadataTag*) {
    return E_NOTIMPL;
}
