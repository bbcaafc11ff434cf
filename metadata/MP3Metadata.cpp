#include "MP3Metadata.h"

#include "FieldText.h"
#include "HResultGuard.h"
#include "ID3v24Reader.h"
#include "MetadataTag.h"
#include "ReplacementFile.h"
#include "SettingsStore.h"

#include <id3/writer.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

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
        SetErrorInfo(0, nullptr);
        // The linked tag knows where the file's tags end and its audio begins, and renders
        // with the padding id3lib would give an update in place.
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
        // id3lib renders an ID3v1 tag even without frames; an empty tag must leave none.
        std::string rendered;
        if (copied > 0) {
            trelvox::StringWriter writer(rendered);
            linked.Render(writer, storeV1 ? ID3TT_ID3V1 : ID3TT_ID3V2);
            if (rendered.empty())
                return trelvox::FailWithMessage(FileName() + ": the tag cannot be rendered");
        }

        // The new file: the tag, then the audio without any of the old tags. Zero bytes
        // before the audio count as the ID3v2 tag's padding only when there is such a tag.
        ReplacementFile file;
        if (!file.Begin(FileName().c_str()))
            return trelvox::FailWithMessage(file.Error());
        uint64_t size = file.OriginalSize();
        uint64_t start =
            linked.HasTagType(ID3TT_ID3V2) ? std::min<uint64_t>(linked.GetPrependedBytes(), size) : 0;
        uint64_t end = std::max<uint64_t>(start, size - std::min<uint64_t>(linked.GetAppendedBytes(), size));
        bool written = (storeV1 || file.Write(rendered.data(), rendered.size())) &&
                       file.CopyOriginal(start, end - start) &&
                       (!storeV1 || file.Write(rendered.data(), rendered.size())) && file.Commit();
        return written ? S_OK : trelvox::FailWithMessage(file.Error());
    });
}
