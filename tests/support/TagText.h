// Text frames into and out of the library's tags, for the tests and the test tools.
#pragma once

#include "TrelvoxMetadata.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace txtest {

struct TextFrame {
    int id;
    std::wstring text;
};

// Sets a tag of exactly these text frames through md: S_OK or the first failure.
inline HRESULT SetTextFrames(IMetadata* md, const std::vector<TextFrame>& frames) {
    IMetadataTag* tag = nullptr;
    HRESULT result = MetadataCreateTag(&tag);
    for (size_t i = 0; SUCCEEDED(result) && i < frames.size(); ++i) {
        IMetadataFrameText* frame = nullptr;
        result = MetadataCreateFrame(frames[i].id, IID_IMetadataFrameText, reinterpret_cast<void**>(&frame));
        if (SUCCEEDED(result)) {
            frame->SetText(frames[i].text.c_str());
            frame->AttachTo(tag);
            frame->Release();
        }
    }
    if (SUCCEEDED(result))
        result = md->SetTag(tag);
    if (tag)
        tag->Release();
    return result;
}

// The MP3 file's tag read back: its frame count, then the text of each frame in ids ("(none)"
// when missing), each on a line of its own.
inline std::wstring TagTexts(const std::string& mp3Path, std::initializer_list<int> ids) {
    IMetadata* md = nullptr;
    IMetadataTag* tag = nullptr;
    if (FAILED(MetadataCreateMP3(mp3Path.c_str(), &md)) || FAILED(md->GetTag(&tag))) {
        if (md)
            md->Release();
        return L"(no tag)";
    }
    std::wstring texts = std::to_wstring(tag->GetFrameCount()) + L"\n";
    for (int id : ids) {
        IMetadataFrameText* frame = nullptr;
        wchar_t text[256] = L"(none)";
        if (SUCCEEDED(tag->GetFrame(id, IID_IMetadataFrameText, reinterpret_cast<void**>(&frame))) && frame) {
            frame->GetText(text, 256);
            frame->Release();
        }
        texts += text + std::wstring(L"\n");
    }
    tag->Release();
    md->Release();
    return texts;
}

} // namespace txtest
