// The behaviour every source and destination inherits from the base classes.
#include "DefConvertDestination.h"
#include "DefConvertSource.h"
#include "TestSupport.h"

#include <string.h>

namespace {

using txtest::RecordingCallback;

// The least a source can be: ten seconds of CD-format PCM.
class FakeSource : public CDefConvertSource {
public:
    bool TX_THISCALL GetClassID(GUID* clsid) override {
        *clsid = CLSID_WavConvSource;
        return true;
    }
    bool TX_THISCALL Open() override {
        if (!CDefConvertSource::Open())
            return false;
        m_format = txtest::Pcm(2, 44100, 16);
        m_totalBytes = 176400 * 10;
        return true;
    }
};

class FakeDestination : public CDefConvertDestination {
public:
    bool TX_THISCALL GetClassID(GUID* clsid) override {
        *clsid = CLSID_WavConvDest;
        return true;
    }
};

} // namespace

TEST(ConvertSource, PathLimitsAndItsParts) {
    FakeSource* source = new FakeSource;
    char buf[MAX_PATH];
    EXPECT_FALSE(source->GetFileTitle(buf, sizeof(buf)));
    EXPECT_FALSE(source->GetFileDir(buf, sizeof(buf)));
    std::string longest = "C:\\" + std::string(256, 'a');
    EXPECT_TRUE(source->SetFileName(longest.c_str()));
    EXPECT_FALSE(source->SetFileName((longest + "b").c_str()));
    EXPECT_FALSE(source->SetFileName(nullptr));
    EXPECT_TRUE(source->GetFileName(buf, sizeof(buf)));
    EXPECT_EQ(std::string(buf), longest);

    EXPECT_TRUE(source->SetFileName("C:\\Music\\Song.wav"));
    // The terminator needs room: a buffer of exactly the path's length is refused.
    EXPECT_FALSE(source->GetFileName(buf, 17));
    EXPECT_TRUE(source->GetFileName(buf, 18));
    EXPECT_TRUE(source->GetFileTitle(buf, 5));
    EXPECT_STREQ(buf, "Song");
    EXPECT_TRUE(source->GetFileDir(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "C:\\Music\\");
    source->SetFileName("Song.wav");
    EXPECT_FALSE(source->GetFileDir(buf, sizeof(buf)));
    EXPECT_TRUE(source->GetFileTitle(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "Song.wav");
    source->Release();
}

TEST(ConvertSource, LifecycleErrorsGoThroughTheCallbackAndLengthsBetweenTimes) {
    RecordingCallback cb;
    FakeSource* source = new FakeSource;
    txtest::CheckInterfaces(source, {IID_IConvertSource}, {IID_IConvertDestination, IID_IClassFactory});
    WAVEFORMATEX wfx;
    uint32_t bytes = 0;
    EXPECT_FALSE(source->Play(nullptr)); // nothing reported without a callback
    source->SetErrorLog(&cb);
    EXPECT_FALSE(source->Play(nullptr));
    EXPECT_FALSE(source->GetFormat(&wfx));
    EXPECT_FALSE(source->GetLength(&bytes, -1, -1));
    ASSERT_TRUE(source->Open());
    EXPECT_FALSE(source->Open());
    EXPECT_EQ(cb.Errors(), "Source object is not opened\nSource file or track is already opened\n");
    EXPECT_TRUE(source->GetFormat(&wfx));
    EXPECT_EQ(wfx.nAvgBytesPerSec, 176400u);
    // The length between two times: a start beyond the end gives nothing, an end beyond the
    // stream is clamped, and MulDiv rounds 1 ms (176.4 bytes) to the nearest byte.
    const struct {
        int32_t start, end;
        uint32_t bytes;
    } cases[] = {{-1, -1, 1764000},     {1000, 2500, 264600}, {3000, 2000, 0},
                 {9000, 60000, 176400}, {-5, 1000, 176400},   {0, 1, 176}};
    for (const auto& c : cases) {
        EXPECT_TRUE(source->GetLength(&bytes, c.start, c.end));
        EXPECT_EQ(bytes, c.bytes) << c.start << ".." << c.end;
    }
    EXPECT_FALSE(source->GetLength(nullptr, -1, -1));
    EXPECT_TRUE(source->Close());
    EXPECT_FALSE(source->GetFormat(&wfx));
    EXPECT_TRUE(source->Open());
    source->SetErrorLog(nullptr);
    EXPECT_EQ(source->Release(), 0u);
}

TEST(ConvertDestination, HoldsAReferenceToItsSource) {
    FakeSource* source = new FakeSource;
    FakeDestination* dest = new FakeDestination;
    txtest::CheckInterfaces(dest, {IID_IConvertDestination}, {IID_IConvertSource});
    EXPECT_TRUE(dest->SetSource(source));
    EXPECT_TRUE(dest->SetSource(source));
    EXPECT_EQ(txtest::RefCount(source), 2u);
    EXPECT_FALSE(dest->SetSource(nullptr));
    EXPECT_EQ(txtest::RefCount(source), 1u);
    dest->SetSource(source);
    dest->Release();
    EXPECT_EQ(txtest::RefCount(source), 1u);
    source->Release();
}

TEST(ConvertDestination, FileNameAndSettingsTextAreCutToTheBuffer) {
    FakeDestination* dest = new FakeDestination;
    char text[16];
    EXPECT_FALSE(dest->GetFileName(text, sizeof(text)));
    EXPECT_TRUE(dest->SetFileName("C:\\a\\b.wav"));
    EXPECT_TRUE(dest->GetFileName(text, 5));
    EXPECT_STREQ(text, "C:\\a");
    EXPECT_TRUE(dest->GetSettingsText(text, 3));
    EXPECT_STREQ(text, "No");
    EXPECT_TRUE(dest->Close()); // never opened
    dest->Release();
}

TEST(ConvertDestination, OpenCreatesTheWholeDirectoryChain) {
    txtest::TempDir temp;
    RecordingCallback cb;
    FakeDestination* dest = new FakeDestination;
    dest->SetErrorLog(&cb);
    std::string path = temp / "one\\two\\three\\out.wav";
    dest->SetFileName(path.c_str());
    EXPECT_TRUE(dest->Open()) << cb.AllText();
    EXPECT_TRUE(txtest::FileExists(temp / "one\\two\\three"));
    EXPECT_FALSE(txtest::FileExists(path));

    // A file in the way of a directory: the chain cannot be made.
    txtest::WriteFile(temp / "blocker", "x");
    dest->SetFileName((temp / "blocker\\sub\\out.wav").c_str());
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(), "Directory cannot be created: " + temp / "blocker\\sub" + "\n");
    dest->SetErrorLog(nullptr);
    dest->Release();
}

TEST(ConvertDestination, OpenAsksBeforeReplacingAFile) {
    txtest::TempDir temp;
    RecordingCallback cb;
    FakeDestination* dest = new FakeDestination;
    std::string path = temp / "out.wav";
    txtest::WriteFile(path, "keep me");
    dest->SetFileName(path.c_str());
    EXPECT_FALSE(dest->Open()); // nobody to ask: the file stays

    dest->SetErrorLog(&cb);
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.overwriteQuestions, 1);
    EXPECT_EQ(cb.Errors(), "Output file already exists\n");
    EXPECT_EQ(txtest::ReadFile(path), "keep me");

    cb.overwriteAnswer = true;
    EXPECT_TRUE(dest->Open());
    EXPECT_FALSE(txtest::FileExists(path));

    // A file that cannot be deleted (held open without sharing) is reported.
    txtest::WriteFile(path, "locked");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    cb.lines.clear();
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(), "Output file cannot be replaced\n");
    CloseHandle(held);
    dest->SetErrorLog(nullptr);
    dest->Release();
}

TEST(ErrorLog, LinesAreFormattedWithTheirKindAndCutAt1024Bytes) {
    RecordingCallback cb;
    CDefErrLog log;
    log.SetError("dropped without a callback");
    log.SetCallback(&cb);
    log.SetError("ACM error %d in %s", 6, "x.wav");
    log.SetInfo("Code %lX", 0xC00D0BCFul);
    log.SetError("%s", std::string(2000, 'q').c_str());
    ASSERT_EQ(cb.lines.size(), 3u);
    EXPECT_EQ(cb.AllText().substr(0, 44), "e: ACM error 6 in x.wav\ni: Code C00D0BCF\ne: ");
    // The message, its newline and the terminator fill the 1024 bytes exactly.
    EXPECT_EQ(cb.lines[2].text, std::string(1022, 'q') + "\n");
}
