#include "FrameDialogs.h"

#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <vector>

namespace {

constexpr UINT kFirstCommand = 200;

// One sample frame per dialog, filled the way a tag read from a file would fill it.
struct Sample {
    const char* name;
    const char* menuText;
    int frameId;
    const GUID* kind;
    void (*fill)(IMetadataFrame* frame);
};

const Sample kSamples[] = {
    {"frame-text", "&Text (Title)...", 47, &GUID_MetadataFrameText,
     [](IMetadataFrame* f) { static_cast<IMetadataFrameText*>(f)->SetText(L"Hurricane Donna"); }},
    {"frame-user-url", "&User URL...", 92, &GUID_MetadataFrameUserURL,
     [](IMetadataFrame* f) {
         auto* frame = static_cast<IMetadataFrameUserURL*>(f);
         frame->SetDescription(L"Tour dates");
         frame->SetURL(L"http://example.com/band/tour");
     }},
    {"frame-url", "&URL (Artist's page)...", 87, &GUID_MetadataFrameURL,
     [](IMetadataFrame* f) { static_cast<IMetadataFrameURL*>(f)->SetURL(L"http://example.com/band"); }},
    {"frame-user-text", "User te&xt...", 79, &GUID_MetadataFrameUserText,
     [](IMetadataFrame* f) {
         auto* frame = static_cast<IMetadataFrameUserText*>(f);
         frame->SetDescription(L"Mood");
         frame->SetText(L"Calm");
     }},
    {"frame-picture", "&Picture...", 2, &GUID_MetadataFramePicture,
     [](IMetadataFrame* f) {
         auto* frame = static_cast<IMetadataFramePicture*>(f);
         frame->SetDescription(L"Front cover");
         frame->SetMimeType(L"image/jpeg");
         frame->SetPictureType(3);
     }},
    {"frame-genre", "&Genre...", 32, &GUID_MetadataFrameText,
     [](IMetadataFrame* f) { static_cast<IMetadataFrameText*>(f)->SetText(L"(17)(6)Britpop"); }},
    {"frame-language", "&Language...", 50, &GUID_MetadataFrameText,
     [](IMetadataFrame* f) { static_cast<IMetadataFrameText*>(f)->SetText(L"enu"); }},
    {"frame-comment", "&Comment...", 4, &GUID_MetadataFrameComment,
     [](IMetadataFrame* f) {
         auto* frame = static_cast<IMetadataFrameComment*>(f);
         frame->SetDescription(L"Liner notes");
         frame->SetLanguage(L"enu");
         frame->SetText(L"Recorded in one take.\r\nMixed the week after.");
     }},
};
constexpr UINT kSampleCount = sizeof(kSamples) / sizeof(kSamples[0]);

} // namespace

void AppendFrameDialogMenu(HMENU bar) {
    HMENU frames = CreatePopupMenu();
    for (UINT i = 0; i < kSampleCount; ++i)
        AppendMenuA(frames, MF_STRING, kFirstCommand + i, kSamples[i].menuText);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(frames), "&Frames");
}

UINT FrameDialogCommand(const std::string& name) {
    for (UINT i = 0; i < kSampleCount; ++i)
        if (name == kSamples[i].name)
            return kFirstCommand + i;
    return 0;
}

const char* FrameDialogNames() {
    static std::string names;
    if (names.empty())
        for (const Sample& sample : kSamples)
            names += std::string(names.empty() ? "" : "|") + sample.name;
    return names.c_str();
}

bool OpenFrameDialog(HWND owner, UINT command) {
    if (command < kFirstCommand || command >= kFirstCommand + kSampleCount)
        return false;
    const Sample& sample = kSamples[command - kFirstCommand];
    IMetadataFrame* frame = nullptr;
    if (MetadataCreateFrame(sample.frameId, *sample.kind, reinterpret_cast<void**>(&frame)) != S_OK)
        return true;
    sample.fill(frame);
    if (frame->Edit(owner) == IDOK) {
        // What a tag list would now show for the frame.
        wchar_t shown[1024] = L"";
        frame->GetDisplayText(shown, 1024);
        MessageBoxW(owner, shown, L"txdemo: the frame now reads", MB_ICONINFORMATION);
    }
    frame->Release();
    return true;
}
