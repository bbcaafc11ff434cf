// The behaviour every source and destination inherits from the base classes.
#include "DefConvertDestination.h"
#include "DefConvertSource.h"
#include "TestSupport.h"

#include <string.h>

namespace {

using txtest::RecordingCallback;

// The least a source can be: a fixed PCM stream of the given length.
class FakeSource : public CDefConvertSource {
public:
    bool TX_THISCALL GetClassID(GUID* clsid) override {
        *clsid = CLSID_WavConvSource;
        return true;
    }
    bool TX_THISCALL Open() override {
        if (!CDefConvertSource::Open())
            return false;
        m_format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
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

std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

} // namespace

TEST(ConvertSource, PathsOfUpTo259CharactersAreKept) {
    FakeSource* source = new FakeSource;
    std::string longest = "C:\\" + Repeat('a', 256);
    ASSERT_EQ(longest.size(), 259u);
    EXPECT_TRUE(source->SetFileName(longest.c_str()));
    EXPECT_FALSE(source->SetFileName((longest + "b").c_str()));
    char buf[MAX_PATH];
    EXPECT_TRUE(source->GetFileName(buf, sizeof(buf)));
    EXPECT_EQ(std::string(buf), longest);
    EXPECT_FALSE(source->SetFileName(nullptr));

    EXPECT_TRUE(source->SetFileName("C:\\Music\\Song.wav"));
    // The terminator needs room: a buffer of exactly the path's length is refused.
    EXPECT_FALSE(source->GetFileName(buf, 17));
    EXPECT_TRUE(source->GetFileName(buf, 18));
    EXPECT_FALSE(source->GetFileName(nullptr, 100));
    source->Release();
}

TEST(ConvertSource, TitleAndDirectoryAreThePartsOfThePath) {
    FakeSource* source = new FakeSource;
    char buf[MAX_PATH];
    EXPECT_FALSE(source->GetFileTitle(buf, sizeof(buf)));
    EXPECT_FALSE(source->GetFileDir(buf, sizeof(buf)));

    source->SetFileName("C:\\Music\\Song.wav");
    EXPECT_TRUE(source->GetFileTitle(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "Song.wav");
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

TEST(ConvertSource, LifecycleErrorsGoThroughTheCallback) {
    RecordingCallback cb;
    FakeSource* source = new FakeSource;
    WAVEFORMATEX wfx;
    uint32_t bytes = 0;
    // Nothing is reported without a callback.
    EXPECT_FALSE(source->Play(nullptr));
    source->SetErrorLog(&cb);
    EXPECT_FALSE(source->Play(nullptr));
    EXPECT_FALSE(source->GetFormat(&wfx));
    EXPECT_FALSE(source->GetLength(&bytes, -1, -1));
    ASSERT_TRUE(source->Open());
    EXPECT_FALSE(source->Open());
    EXPECT_EQ(cb.Errors(), (std::vector<std::string>{"Source object is not opened\n",
                                                     "Source file or track is already opened\n"}));
    EXPECT_TRUE(source->GetFormat(&wfx));
    EXPECT_EQ(wfx.nAvgBytesPerSec, 176400u);
    EXPECT_FALSE(source->GetFormat(nullptr));
    EXPECT_TRUE(source->Close());
    EXPECT_FALSE(source->GetFormat(&wfx));
    EXPECT_TRUE(source->Open());
    source->SetErrorLog(nullptr);
    source->Release();
}

TEST(ConvertSource, LengthBetweenTwoTimes) {
    FakeSource* source = new FakeSource;
    ASSERT_TRUE(source->Open());
    uint32_t bytes = 0;
    EXPECT_TRUE(source->GetLength(&bytes, -1, -1));
    EXPECT_EQ(bytes, 1764000u);
    EXPECT_TRUE(source->GetLength(&bytes, 1000, 2500));
    EXPECT_EQ(bytes, 264600u);
    // A start beyond the end gives nothing; an end beyond the stream is clamped.
    EXPECT_TRUE(source->GetLength(&bytes, 3000, 2000));
    EXPECT_EQ(bytes, 0u);
    EXPECT_TRUE(source->GetLength(&bytes, 9000, 60000));
    EXPECT_EQ(bytes, 176400u);
    EXPECT_TRUE(source->GetLength(&bytes, -5, 1000));
    EXPECT_EQ(bytes, 176400u);
    // MulDiv rounds to nearest: 1 ms of 176400 bytes/s is 176.4 -> 176 bytes.
    EXPECT_TRUE(source->GetLength(&bytes, 0, 1));
    EXPECT_EQ(bytes, 176u);
    EXPECT_FALSE(source->GetLength(nullptr, -1, -1));
    source->Release();
}

TEST(ConvertSource, AnswersItsInterfacesOnly) {
    FakeSource* source = new FakeSource;
    txtest::CheckInterfaces(source, {IID_IConvertSource}, {IID_IConvertDestination, IID_IClassFactory});
    EXPECT_EQ(txtest::RefCount(source), 1u);
    EXPECT_EQ(source->Release(), 0u);
}

TEST(ConvertDestination, HoldsAReferenceToItsSource) {
    FakeSource* source = new FakeSource;
    FakeDestination* dest = new FakeDestination;
    EXPECT_TRUE(dest->SetSource(source));
    EXPECT_EQ(txtest::RefCount(source), 2u);
    EXPECT_TRUE(dest->SetSource(source));
    EXPECT_EQ(txtest::RefCount(source), 2u);
    EXPECT_FALSE(dest->SetSource(nullptr));
    EXPECT_EQ(txtest::RefCount(source), 1u);
    dest->SetSource(source);
    dest->Release();
    EXPECT_EQ(txtest::RefCount(source), 1u);
    source->Release();
}

TEST(ConvertDestination, DefaultsOfTheBase) {
    FakeDestination* dest = new FakeDestination;
    char text[16];
    EXPECT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    EXPECT_STREQ(text, "None");
    EXPECT_TRUE(dest->GetSettingsText(text, 3));
    EXPECT_STREQ(text, "No");
    char message[1024] = {};
    EXPECT_FALSE(dest->SetOption("quality", "5", message));
    uint32_t size = 0;
    WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    EXPECT_FALSE(dest->EstimateSize(1000, &wfx, &size));
    EXPECT_FALSE(dest->SetFormat(nullptr));
    EXPECT_TRUE(dest->SetFormat(&wfx));
    EXPECT_FALSE(dest->GetFileName(text, sizeof(text)));
    EXPECT_TRUE(dest->SetFileName("C:\\a\\b.wav"));
    EXPECT_TRUE(dest->GetFileName(text, 5));
    EXPECT_STREQ(text, "C:\\a");
    EXPECT_FALSE(dest->SetFileName(("C:\\" + Repeat('z', 257)).c_str()));
    EXPECT_TRUE(dest->Close()); // never opened
    txtest::CheckInterfaces(dest, {IID_IConvertDestination}, {IID_IConvertSource});
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
    EXPECT_TRUE(cb.lines.empty());

    // A file in the way of a directory: the chain cannot be made.
    txtest::WriteFile(temp / "blocker", "x");
    dest->SetFileName((temp / "blocker\\sub\\out.wav").c_str());
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(),
              std::vector<std::string>{"Directory cannot be created: " + temp / "blocker\\sub" + "\n"});
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

    // Nobody to ask: the file stays.
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(txtest::ReadFile(path), "keep me");

    dest->SetErrorLog(&cb);
    cb.overwriteAnswer = false;
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.overwriteQuestions, 1);
    EXPECT_EQ(cb.Errors(), std::vector<std::string>{"Output file already exists\n"});
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
    EXPECT_EQ(cb.Errors(), std::vector<std::string>{"Output file cannot be replaced\n"});
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
    std::string big(2000, 'q');
    log.SetError("%s", big.c_str());
    ASSERT_EQ(cb.lines.size(), 3u);
    EXPECT_EQ(cb.lines[0].text, "ACM error 6 in x.wav\n");
    EXPECT_EQ(cb.lines[0].kind, "e");
    EXPECT_EQ(cb.lines[1].text, "Code C00D0BCF\n");
    EXPECT_EQ(cb.lines[1].kind, "i");
    EXPECT_LE(cb.lines[2].text.size(), 1023u);
    EXPECT_EQ(cb.lines[2].text.back(), '\n');
}
