// Writing and reading ID3 tags of MPEG files through the MP3 container, on generated files.
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <oleauto.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr int kTIT2 = 47, kTPE1 = 61, kAPIC = 2, kCOMM = 4;

// Twenty silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes each).
std::string MpegAudio() {
    std::string audio;
    for (int i = 0; i < 20; ++i)
        audio += std::string("\xFF\xFB\x90", 3) + std::string(414, '\0');
    return audio;
}

void AddText(IMetadataTag* tag, int id, const wchar_t* text) {
    IMetadataFrameText* frame = nullptr;
    ASSERT_EQ(MetadataCreateFrame(id, IID_IMetadataFrameText, reinterpret_cast<void**>(&frame)), S_OK);
    frame->SetText(text);
    frame->AttachTo(tag);
    frame->Release();
}

// A non-ASCII title, an artist and a comment with its language and description.
IMetadataTag* RichTag() {
    IMetadataTag* tag = nullptr;
    EXPECT_EQ(MetadataCreateTag(&tag), S_OK);
    AddText(tag, kTIT2, L"Caf\u00e9 Stra\u00dfe \u6771\u4eac");
    AddText(tag, kTPE1, L"Plain Artist");
    IMetadataFrameComment* comment = nullptr;
    EXPECT_EQ(MetadataCreateFrame(kCOMM, IID_IMetadataFrameComment, reinterpret_cast<void**>(&comment)),
              S_OK);
    comment->SetLanguage(L"eng");
    comment->SetDescription(L"note");
    comment->SetText(L"\u00fcber");
    comment->AttachTo(tag);
    comment->Release();
    return tag;
}

IMetadataTag* ReadTag(const std::string& path) {
    IMetadata* md = nullptr;
    IMetadataTag* tag = nullptr;
    EXPECT_EQ(MetadataCreateFromFile(path.c_str(), &md), S_OK);
    if (md) {
        EXPECT_EQ(md->GetTag(&tag), S_OK);
        md->Release();
    }
    return tag;
}

HRESULT WriteTag(const std::string& path, IMetadataTag* tag) {
    IMetadata* md = nullptr;
    if (MetadataCreateMP3(path.c_str(), &md) != S_OK)
        return E_UNEXPECTED;
    HRESULT hr = md->SetTag(tag);
    md->Release();
    return hr;
}

std::wstring TextOf(IMetadataTag* tag, int id) {
    IMetadataFrameText* frame = nullptr;
    if (tag->GetFrame(id, IID_IMetadataFrameText, reinterpret_cast<void**>(&frame)) != S_OK)
        return L"<missing>";
    wchar_t buf[128] = L"";
    frame->GetText(buf, 128);
    frame->Release();
    return buf;
}

// The reason a failed SetTag left as the thread's COM error object.
std::string FailureMessage() {
    IErrorInfo* info = nullptr;
    BSTR text = nullptr;
    std::string message = "<none>";
    if (GetErrorInfo(0, &info) == S_OK && info && SUCCEEDED(info->GetDescription(&text)) && text) {
        char buf[512] = "";
        WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
        message = buf;
    }
    SysFreeString(text);
    if (info)
        info->Release();
    return message;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

class MP3Metadata : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        PutProfileInt("Settings", "MP3_Store_ID3v1", 0);
        path = dir / "song.mp3";
        txtest::WriteFile(path, MpegAudio());
    }
    void TearDown() override { PutProfileInt("Settings", "MP3_Store_ID3v1", 0); }

    txtest::TempDir dir;
    std::string path;
};

} // namespace

TEST_F(MP3Metadata, NonAsciiTextsAndCommentsSurviveAWriteAndARead) {
    IMetadataTag* tag = RichTag();
    ASSERT_EQ(WriteTag(path, tag), S_OK);
    tag->Release();
    std::string bytes = txtest::ReadFile(path);
    EXPECT_EQ(bytes.substr(0, 3), "ID3");
    EXPECT_EQ(bytes.substr(bytes.size() - MpegAudio().size()), MpegAudio()) << "the audio must not change";

    IMetadataTag* back = ReadTag(path);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetFrameCount(), 3u);
    EXPECT_EQ(TextOf(back, kTIT2), L"Caf\u00e9 Stra\u00dfe \u6771\u4eac");
    EXPECT_EQ(TextOf(back, kTPE1), L"Plain Artist");
    IMetadataFrameComment* comment = nullptr;
    ASSERT_EQ(back->GetFrame(kCOMM, IID_IMetadataFrameComment, reinterpret_cast<void**>(&comment)), S_OK);
    wchar_t buf[64] = L"";
    comment->GetDisplayText(buf, 64);
    EXPECT_STREQ(buf, L"\u00fcber (note)");
    comment->GetLanguage(buf, 64);
    EXPECT_STREQ(buf, L"eng");
    comment->Release();
    back->Release();
}

// Over a file with an ID3v2 tag: the ID3v1 setting leaves only what version 1 holds, and
// then an empty tag leaves only the audio.
TEST_F(MP3Metadata, Id3v1SettingKeepsOnlyWhatVersion1HoldsAndAnEmptyTagRemovesIt) {
    IMetadataTag* tag = nullptr;
    ASSERT_EQ(MetadataCreateTag(&tag), S_OK);
    AddText(tag, kTIT2, L"Short Title");
    AddText(tag, kTPE1, L"Band");
    IMetadataFramePicture* picture = nullptr;
    ASSERT_EQ(MetadataCreateFrame(kAPIC, IID_IMetadataFramePicture, reinterpret_cast<void**>(&picture)),
              S_OK);
    picture->SetMimeType(L"image/png");
    picture->SetDescription(L"front");
    picture->AttachTo(tag);
    picture->Release();
    ASSERT_EQ(WriteTag(path, tag), S_OK);
    PutProfileInt("Settings", "MP3_Store_ID3v1", 1);
    ASSERT_EQ(WriteTag(path, tag), S_OK);

    std::string bytes = txtest::ReadFile(path);
    ASSERT_EQ(bytes.size(), MpegAudio().size() + 128);
    EXPECT_EQ(bytes.substr(bytes.size() - 128, 3), "TAG");
    IMetadataTag* back = ReadTag(path);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetFrameCount(), 2u) << "no picture";
    EXPECT_EQ(TextOf(back, kTIT2), L"Short Title");
    EXPECT_EQ(TextOf(back, kTPE1), L"Band");
    back->Release();

    tag->RemoveFrames(kTIT2);
    tag->RemoveFrames(kTPE1);
    tag->RemoveFrames(kAPIC);
    ASSERT_EQ(WriteTag(path, tag), S_OK);
    tag->Release();
    EXPECT_TRUE(txtest::ReadFile(path) == MpegAudio()) << "size " << txtest::ReadFile(path).size();
}

TEST_F(MP3Metadata, DamagedTagsGiveAPartialTagWithoutCrashing) {
    // An ID3v2.3 header that claims more bytes than the file has, holding one good frame and
    // one whose size runs past the end: the good frame is read, nothing else is made up.
    std::string body = "TIT2\0\0\0\x06\0\0\0Hello"s + "TPE1\x7f\xff\xff\xff\0\0\0Ba"s;
    for (const std::string& header : {"ID3\x03\0\0\x7f\x7f\x7f\x7f"s, "ID3\x03\0\0\0\0\0\x20"s}) {
        SCOPED_TRACE(header[6] == '\x7f' ? "a tag of 256 MiB" : "a tag of 32 bytes");
        txtest::WriteFile(path, header + body);
        IMetadataTag* tag = ReadTag(path);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->GetFrameCount(), 1u);
        EXPECT_EQ(TextOf(tag, kTIT2), L"Hello");
        tag->Release();
    }
    // Every cut of a whole written tag.
    txtest::WriteFile(path, MpegAudio());
    IMetadataTag* tag = RichTag();
    ASSERT_EQ(WriteTag(path, tag), S_OK);
    tag->Release();
    std::string whole = txtest::ReadFile(path);
    for (size_t cut = 0; cut < whole.size() - MpegAudio().size(); cut += 3) {
        txtest::WriteFile(path, whole.substr(0, cut));
        IMetadataTag* partial = ReadTag(path);
        ASSERT_NE(partial, nullptr) << "cut at " << cut;
        EXPECT_LE(partial->GetFrameCount(), 3u) << "cut at " << cut;
        partial->Release();
    }
}

TEST_F(MP3Metadata, FramesWithoutObjectsAreCarriedAlong) {
    // An ID3v2.3 tag with a play counter (no frame object serves PCNT) and a title.
    std::string body = "PCNT\0\0\0\x04\0\0\0\0\0\x07"s + "TIT2\0\0\0\x03\0\0\0Hi"s;
    std::string header = "ID3\x03\0\0\0\0\0"s + static_cast<char>(body.size());
    txtest::WriteFile(path, header + body + MpegAudio());

    IMetadataTag* tag = ReadTag(path);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetFrameCount(), 2u);
    EXPECT_EQ(TextOf(tag, kTIT2), L"Hi");

    std::string copy = dir / "copy.mp3";
    txtest::WriteFile(copy, MpegAudio());
    ASSERT_EQ(WriteTag(copy, tag), S_OK);
    tag->Release();
    std::string written = txtest::ReadFile(copy);
    EXPECT_NE(written.find("PCNT"), std::string::npos) << "the counter must travel with the tag";
    IMetadataTag* back = ReadTag(copy);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetFrameCount(), 2u);
    back->Release();
}

TEST_F(MP3Metadata, AFileThatCannotBeReplacedStaysAsItWas) {
    IMetadataTag* tag = RichTag();
    ASSERT_EQ(WriteTag(path, tag), S_OK);
    const std::string before = txtest::ReadFile(path);
    AddText(tag, kTPE1, L"A longer artist than before");

    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(WriteTag(path, tag), E_FAIL);
    EXPECT_EQ(FailureMessage(), path + ": the file is read-only (error 5)");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Held by a handle that shares nothing, by one that shares all but deletion, and by one
    // that shares everything, which is found out only when the new file is complete.
    struct Holder {
        DWORD share;
        std::string message;
    } holders[] = {
        {0, ": the file cannot be opened (error 32)"},
        {FILE_SHARE_READ | FILE_SHARE_WRITE, ": the file cannot be opened (error 32)"},
        {FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, ": the file cannot be replaced (error 5)"}};
    for (const Holder& holder : holders) {
        HANDLE held =
            CreateFileA(path.c_str(), GENERIC_READ, holder.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(WriteTag(path, tag), E_FAIL) << "share " << holder.share;
        EXPECT_EQ(FailureMessage(), path + holder.message);
        CloseHandle(held);
    }
    EXPECT_TRUE(txtest::ReadFile(path) == before) << "size " << txtest::ReadFile(path).size();
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"song.mp3"});

    // A free file takes the tag, and stays hidden as the user made it.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(WriteTag(path, tag), S_OK);
    EXPECT_EQ(FailureMessage(), "<none>");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              DWORD(FILE_ATTRIBUTE_HIDDEN));
    tag->Release();
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"song.mp3"});
}
