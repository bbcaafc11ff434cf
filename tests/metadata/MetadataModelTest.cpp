// Tags, frames, their kinds and display texts, and the genre list, through the exports.
#include "TestSupport.h"
#include "TrelvoxMetadata.h"

#include <string.h>

#include <string>

namespace {

constexpr int kTALB = 29, kTCON = 32, kTCOP = 33, kTDAT = 34, kTIT2 = 47, kTLEN = 51, kTPE1 = 61, kTRCK = 68,
              kTSSE = 77, kTXXX = 79, kCOMM = 4, kAPIC = 2, kWOAR = 87, kWXXX = 92, kPCNT = 18;

template <class Kind> Kind* NewFrame(int id, const IID& iid) {
    Kind* frame = nullptr;
    EXPECT_EQ(MetadataCreateFrame(id, iid, reinterpret_cast<void**>(&frame)), S_OK) << "frame " << id;
    return frame;
}

IMetadataFrameText* NewText(int id, const wchar_t* text) {
    IMetadataFrameText* frame = NewFrame<IMetadataFrameText>(id, IID_IMetadataFrameText);
    if (frame)
        frame->SetText(text);
    return frame;
}

std::wstring Display(IMetadataFrame* frame) {
    wchar_t buf[256] = L"untouched";
    frame->GetDisplayText(buf, 256);
    return buf;
}

std::wstring DisplayOfText(int id, const wchar_t* text) {
    IMetadataFrameText* frame = NewText(id, text);
    std::wstring shown = frame ? Display(frame) : L"";
    if (frame)
        frame->Release();
    return shown;
}

} // namespace

TEST(MetadataFormats, ListsTheExtensionsAsConsecutiveStrings) {
    char buf[64];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(MetadataGetFormats(buf), 57);
    std::string joined;
    for (const char* p = buf; *p; p += strlen(p) + 1)
        joined += std::string(p) + " ";
    EXPECT_EQ(joined, ".mp3 .mp2 .mp1 .mpg .mpeg .wma .wmv .asx .asf .aac .flac ");
}

TEST(MetadataFormats, ContainerIsChosenByExtensionIgnoringCase) {
    for (const char* path : {"C:\\a\\song.MP3", "song.Flac", "x.mpeg", "y.AAC", "v.wmv", "z.asf"}) {
        IMetadata* md = nullptr;
        EXPECT_EQ(MetadataCreateFromFile(path, &md), S_OK) << path;
        if (md) {
            txtest::CheckInterfaces(md, {IID_IMetadata}, {IID_IMetadataTag, IID_IMetadataFrame});
            md->Release();
        }
    }
    for (const char* path : {"song.ogg", "song", "C:\\dir.mp3\\song", "song.mp3.txt"}) {
        IMetadata* md = reinterpret_cast<IMetadata*>(0x1234);
        EXPECT_EQ(MetadataCreateFromFile(path, &md), E_INVALIDARG) << path;
        EXPECT_EQ(md, reinterpret_cast<IMetadata*>(0x1234)) << path;
    }
}

TEST(MetadataFormats, CapabilitiesAndMissingFiles) {
    IMetadata* mp3 = nullptr;
    IMetadata* flac = nullptr;
    IMetadata* wma = nullptr;
    ASSERT_EQ(MetadataCreateMP3("missing.mp3", &mp3), S_OK);
    ASSERT_EQ(MetadataCreateFromFile("missing.flac", &flac), S_OK);
    ASSERT_EQ(MetadataCreateFromFile("missing.wma", &wma), S_OK);
    EXPECT_EQ(mp3->GetCapabilities(), 3u);
    EXPECT_EQ(flac->GetCapabilities(), 1u);
    EXPECT_EQ(wma->GetCapabilities(), 3u);
    IMetadataTag* tag = nullptr;
    // The Windows Media editor cannot open what is not there (or is not present itself).
    HRESULT read = wma->GetTag(&tag);
    EXPECT_TRUE(FAILED(read)) << std::hex << read;
    EXPECT_EQ(tag, nullptr);
    ASSERT_EQ(MetadataCreateTag(&tag), S_OK);
    HRESULT written = wma->SetTag(tag);
    EXPECT_TRUE(FAILED(written)) << std::hex << written;
    EXPECT_EQ(flac->SetTag(tag), E_NOTIMPL);
    tag->Release();
    for (IMetadata* md : {mp3, flac}) { // missing files read as empty tags
        ASSERT_EQ(md->GetTag(&tag), S_OK);
        EXPECT_EQ(tag->GetFrameCount(), 0u);
        tag->Release();
    }
    for (IMetadata* md : {mp3, flac, wma})
        md->Release();
}

TEST(MetadataTag, CreationFramesAndRemoval) {
    EXPECT_EQ(MetadataCreateTag(nullptr), E_INVALIDARG);
    IMetadataTag* tag = nullptr;
    ASSERT_EQ(MetadataCreateTag(&tag), S_OK);
    EXPECT_EQ(txtest::RefCount(tag), 1u);
    txtest::CheckInterfaces(tag, {IID_IMetadataTag}, {IID_IMetadata, IID_IMetadataFrame});

    for (const wchar_t* artist : {L"One", L"Two"}) {
        IMetadataFrameText* frame = NewText(kTPE1, artist);
        frame->AttachTo(tag);
        frame->AttachTo(tag); // a second time does nothing
        frame->Release();
    }
    EXPECT_EQ(tag->GetFrameCount(), 2u);

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(tag->GetFrame(kTRCK, IID_IMetadataFrame, &out), E_INVALIDARG);
    IMetadataFrameText* first = nullptr;
    ASSERT_EQ(tag->GetFrame(kTPE1, IID_IMetadataFrameText, reinterpret_cast<void**>(&first)), S_OK);
    wchar_t buf[16];
    first->GetText(buf, 16);
    EXPECT_STREQ(buf, L"One");

    // A second view of the same frame sees the first one's change.
    IMetadataFrameText* second = nullptr;
    ASSERT_EQ(tag->GetFrame(kTPE1, IID_IMetadataFrameText, reinterpret_cast<void**>(&second)), S_OK);
    second->SetText(L"Changed");
    first->GetText(buf, 16);
    EXPECT_STREQ(buf, L"Changed");
    first->Release();
    second->Release();
    EXPECT_EQ(tag->GetFrameCount(), 2u) << "releasing views must leave the tag alone";

    EXPECT_EQ(tag->RemoveFrames(kTRCK), S_OK);
    EXPECT_EQ(tag->GetFrameCount(), 2u);
    EXPECT_EQ(tag->RemoveFrames(kTPE1), S_OK);
    EXPECT_EQ(tag->GetFrameCount(), 0u);
    tag->Release();
}

TEST(MetadataFrame, CreationRefusesUnknownIdentifiersAndNullOut) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(MetadataCreateFrame(kPCNT, IID_IMetadataFrame, &out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(MetadataCreateFrame(kTIT2, IID_IMetadataFrame, nullptr), E_INVALIDARG);
    EXPECT_EQ(MetadataCreateFrame(kTIT2, IID_IMetadataFrameURL, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST(MetadataFrame, KindsAnswerTheirOwnInterfacesOnly) {
    IMetadataFrame* comment = NewFrame<IMetadataFrame>(kCOMM, IID_IMetadataFrame);
    ASSERT_NE(comment, nullptr);
    txtest::CheckInterfaces(comment, {IID_IMetadataFrame, IID_IMetadataFrameComment},
                            {IID_IMetadataFrameText, IID_IMetadataFrameURL, IID_IMetadataTag});
    // The user-text GUID is the comment GUID: the answer is the comment interface.
    IMetadataFrameComment* viaUserText = nullptr;
    ASSERT_EQ(comment->QueryInterface(IID_IMetadataFrameUserText, reinterpret_cast<void**>(&viaUserText)),
              S_OK);
    viaUserText->SetText(L"hello");
    wchar_t buf[16] = L"";
    viaUserText->GetText(buf, 16);
    EXPECT_STREQ(buf, L"hello");
    viaUserText->Release();
    comment->Release();

    const struct {
        int id;
        GUID kind;
        bool readOnly;
    } kinds[] = {{kTIT2, GUID_MetadataFrameText, false},
                 {kTLEN, GUID_MetadataFrameText, true},
                 {kWOAR, GUID_MetadataFrameURL, false},
                 {kWXXX, GUID_MetadataFrameUserURL, false},
                 {kAPIC, GUID_MetadataFramePicture, false}};
    for (const auto& e : kinds) {
        GUID kind = {};
        IMetadataFrame* frame = NewFrame<IMetadataFrame>(e.id, e.kind);
        ASSERT_NE(frame, nullptr) << e.id;
        frame->GetKind(&kind);
        EXPECT_TRUE(IsEqualGUID(kind, e.kind)) << e.id;
        EXPECT_EQ(frame->IsReadOnly(), e.readOnly) << e.id;
        frame->Release();
    }
}

// Whole texts in other scripts: MP3MetadataTest's round trip and NativeTagTools.
TEST(MetadataFrame, IsEqualCopyFromAndTextsCutToTheBuffer) {
    IMetadataFrameText* a = NewText(kTALB, L"Album");
    IMetadataFrameText* b = NewText(kTALB, L"Album");
    IMetadataFrameText* c = NewText(kTIT2, L"Album");
    EXPECT_TRUE(a->IsEqual(b));
    EXPECT_FALSE(a->IsEqual(c)); // different identifier
    b->SetText(L"Other");
    EXPECT_FALSE(a->IsEqual(b));
    c->CopyFrom(b);
    EXPECT_EQ(c->GetFrameID(), kTALB);
    EXPECT_TRUE(c->IsEqual(b));
    wchar_t buf[8];
    a->GetText(buf, 3);
    EXPECT_STREQ(buf, L"Al");
    buf[0] = L'z';
    a->GetText(buf, 0);
    EXPECT_EQ(buf[0], L'z');
    a->Release();
    b->Release();
    c->Release();
}

TEST(MetadataDisplay, TextKindsAndGenreReferences) {
    EXPECT_EQ(DisplayOfText(kTLEN, L"215000"), L"3m 35s");
    EXPECT_EQ(DisplayOfText(kTLEN, L"x"), L"0m 0s");
    EXPECT_EQ(DisplayOfText(kTCOP, L"2004 Label"), L"Copyright (c) 2004 Label");
    EXPECT_EQ(DisplayOfText(kTDAT, L"0503"), L"5. March");
    EXPECT_EQ(DisplayOfText(kTCON, L"(17)(6)"), L"Rock, Grunge");
    EXPECT_EQ(DisplayOfText(kTCON, L"(4)Eurodisco"), L"Disco, Eurodisco");
    EXPECT_EQ(DisplayOfText(kTCON, L"(9)(RX)(CR)"), L"Metal, Remix, Cover");
    EXPECT_EQ(DisplayOfText(kTCON, L"  Britpop  "), L"Britpop");
    EXPECT_EQ(DisplayOfText(kTCON, L"((Live)"), L"(Live");
    EXPECT_EQ(DisplayOfText(kTCON, L"(200)Indie"), L", Indie");
    EXPECT_EQ(DisplayOfText(kTCON, L"(40"), L"Altern Rock");
}

TEST(MetadataDisplay, MultiFieldKinds) {
    IMetadataFrameComment* comment = NewFrame<IMetadataFrameComment>(kCOMM, IID_IMetadataFrameComment);
    comment->SetDefaults();
    comment->SetText(L"Nice");
    EXPECT_EQ(Display(comment), L"Nice");
    comment->Release(); // with a description and the default language: see the C vtable test

    IMetadataFrameUserText* user = NewFrame<IMetadataFrameUserText>(kTXXX, IID_IMetadataFrameUserText);
    user->SetText(L"128");
    user->SetDescription(L"BPM");
    EXPECT_EQ(Display(user), L"128 (BPM)");
    user->Release();

    IMetadataFrameUserURL* link = NewFrame<IMetadataFrameUserURL>(kWXXX, IID_IMetadataFrameUserURL);
    link->SetURL(L"http://example.com/");
    link->SetDescription(L"home");
    EXPECT_EQ(Display(link), L"http://example.com/ (home)");
    link->Release();

    IMetadataFramePicture* picture = NewFrame<IMetadataFramePicture>(kAPIC, IID_IMetadataFramePicture);
    picture->SetMimeType(L"image/png");
    picture->SetPictureType(3);
    EXPECT_EQ(picture->GetPictureType(), 3u);
    EXPECT_EQ(Display(picture), L"image/png (no desc., 0 bytes)");
    picture->SetDescription(L"front");
    EXPECT_EQ(Display(picture), L"image/png (front, 0 bytes)");
    picture->Release();
}

TEST(Genres, NamesAreFoundByTheirTrimmedTextOnly) {
    ASSERT_EQ(GenreGetCount(), 80);
    EXPECT_STREQ(GenreGet(79), "Hard Rock      ");
    EXPECT_EQ(GenreGet(80), nullptr);
    EXPECT_EQ(GenreGet(static_cast<unsigned>(-1)), nullptr);
    for (unsigned i = 0; i < 80; ++i) {
        std::string name = GenreGet(i);
        EXPECT_EQ(GenreToNum(name.substr(0, name.find_last_not_of(' ') + 1).c_str()), int(i)) << name;
    }
    for (const char* name : {"rock", "Rock ", "AlternRock", ""})
        EXPECT_EQ(GenreToNum(name), -1) << name;
    EXPECT_EQ(GenreToNum("Instrum. Rock"), 47);
}
