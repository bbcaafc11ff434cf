// The conversion driver end to end: the real Wave source and destination on generated files,
// plus small doubles that record what the driver does to a destination.
#include "ComPtr.h"
#include "DefConvertDestination.h"
#include "TagText.h"
#include "TestSupport.h"
#include "Trelvox.h"
#include "WavConvDest.h"
#include "WavConvSource.h"
#include "WavTestFiles.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using txtest::RecordingCallback;
using txtest::TempDir;

constexpr uint32_t kSecond = 176400; // bytes of one second of 44.1 kHz 16-bit stereo

// 16-bit stereo PCM built frame by frame: both channels carry the same value.
std::string Frames(uint32_t count, int16_t value) {
    std::string out;
    for (uint32_t i = 0; i < count; ++i)
        out += wavtest::Le16(uint16_t(value)) + wavtest::Le16(uint16_t(value));
    return out;
}

// A square wave of amplitude level, changing sign every 50 frames.
std::string Square(uint32_t frames, int16_t level) {
    std::string out;
    for (uint32_t done = 0; done < frames; done += 50)
        out += Frames(frames - done < 50 ? frames - done : 50, (done / 50) % 2 ? int16_t(-level) : level);
    return out;
}

int16_t SampleAt(const std::string& pcm, size_t index) {
    return int16_t(uint8_t(pcm[2 * index]) | (uint8_t(pcm[2 * index + 1]) << 8));
}

void WriteWave(const std::string& path, const std::string& pcm) {
    txtest::WriteFile(path, wavtest::Riff(wavtest::Chunk("fmt ", wavtest::PcmFormat(2, 44100, 16)) +
                                          wavtest::Chunk("data", pcm)));
}

// A Wave source that may claim to read a CD track.
class TestSource : public CWavConvSource {
public:
    bool TX_THISCALL GetClassID(GUID* clsid) override {
        if (!cdTrack)
            return CWavConvSource::GetClassID(clsid);
        *clsid = CLSID_AudioCDTrack;
        return true;
    }
    bool cdTrack = false;
};

// Keeps the PCM it is given, counts what the driver does, and offers MP3 tags on tagFile.
class RecordingDest : public CDefConvertDestination {
public:
    bool TX_THISCALL GetClassID(GUID* clsid) override {
        *clsid = GUID_NULL;
        return true;
    }
    bool TX_THISCALL Open() override { return opened = true; }
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override {
        pcm_.append(static_cast<const char*>(pcm), bytes);
        return true;
    }
    bool TX_THISCALL Close() override {
        closedAfterOpen = opened;
        return !failClose;
    }
    bool TX_THISCALL GetMetadata(IMetadata** md) override {
        ++metadataCalls;
        return !tagFile.empty() && SUCCEEDED(MetadataCreateMP3(tagFile.c_str(), md));
    }
    void TX_THISCALL SetErrorLog(IConvertCallback* cb) override {
        ++errorLogCalls;
        CDefConvertDestination::SetErrorLog(cb);
    }
    std::string pcm_;
    std::string tagFile;
    bool failClose = false;
    bool opened = false;
    bool closedAfterOpen = false;
    int metadataCalls = 0;
    int errorLogCalls = 0;
};

// Cancels once StepProgress has been called cancelAfter times; records the priority class.
class TestCallback : public RecordingCallback {
public:
    void TX_THISCALL StepProgress(uint32_t bytes) override {
        RecordingCallback::StepProgress(bytes);
        ++steps;
        priorityDuring = GetPriorityClass(GetCurrentProcess());
        if (steps == cancelAfter)
            cancelled = 1;
    }
    int steps = 0;
    int cancelAfter = -1;
    DWORD priorityDuring = 0;
};

template <class T> trelvox::ComPtr<T> New() {
    return trelvox::ComPtr<T>(new T);
}

class AudioConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        PutProfileString("WAV", nullptr, nullptr);
        PutProfileString("Settings", "TempPath", (temp.path() + "\\").c_str());
        for (const char* key : {"SilenceDetector", "BPMAnalysis", "HighPriority"})
            PutProfileString("Settings", key, nullptr);
    }
    void TearDown() override {
        for (const char* key : {"TempPath", "SilenceDetector", "BPMAnalysis", "HighPriority"})
            PutProfileString("Settings", key, nullptr);
    }

    // True when an analysis file is left in the temporary directory.
    bool TempFileLeft() const { return !txtest::FilesIn(temp.path(), "ana*.tmp").empty(); }

    HRESULT ToRecorder(const std::string& input, RecordingDest* dest, IConvertCallback* cb,
                       const ConvertOptions* options, double* normalize, int32_t startMs = -1,
                       int32_t endMs = -1) {
        auto source = New<TestSource>();
        source->SetFileName(input.c_str());
        dest->SetFileName((dir / "out.raw").c_str());
        return AudioConvert(source.get(), dest, cb, options, normalize, startMs, endMs);
    }

    TempDir temp; // TXTempPath for the conversions
    TempDir dir;  // inputs and outputs
    TestCallback cb;
};

TEST_F(AudioConvertTest, TimeRangesAreCutToTheByte) {
    std::string pcm = Square(5 * 44100, 9000) + Frames(7, 123);
    for (size_t i = 0; i < pcm.size(); i += 7)
        pcm[i] = char(i / 7); // every byte position distinguishable
    WriteWave(dir / "in.wav", pcm);

    auto range = New<RecordingDest>();
    EXPECT_EQ(ToRecorder(dir / "in.wav", range.get(), &cb, nullptr, nullptr, 1000, 3000), S_OK);
    ASSERT_EQ(range->pcm_.size(), 352800u);
    EXPECT_TRUE(range->pcm_ == pcm.substr(kSecond, 352800));
    EXPECT_EQ(cb.progressRange, 352800u);

    // Only an end: MulDiv gives 217678 bytes for 1234 ms, rounded down to whole frames.
    auto head = New<RecordingDest>();
    RecordingCallback log;
    EXPECT_EQ(ToRecorder(dir / "in.wav", head.get(), &log, nullptr, nullptr, -1, 1234), S_OK);
    ASSERT_EQ(head->pcm_.size(), 217676u);
    EXPECT_TRUE(head->pcm_ == pcm.substr(0, 217676));
    EXPECT_TRUE(log.Errors().empty()) << log.AllText();
}

TEST_F(AudioConvertTest, TrimmingStartsAndEndsAtTheLoudFrames) {
    PutProfileInt("Settings", "SilenceDetector", 5); // 1638 is still silence
    std::string loud = Frames(1, 1700) + Square(44100 + 3, 12000) + Frames(1, -1700);
    std::string pcm = Frames(2 * 44100, 0) + Frames(5, 1638) + loud + Frames(3, -1000) + Frames(30000, 0);
    WriteWave(dir / "in.wav", pcm);

    ConvertOptions leading = {1, 0, 0, 0};
    auto a = New<RecordingDest>();
    EXPECT_EQ(ToRecorder(dir / "in.wav", a.get(), &cb, &leading, nullptr), S_OK) << cb.AllText();
    EXPECT_EQ(a->pcm_.size(), pcm.size() - (2 * 44100 + 5) * 4);
    EXPECT_TRUE(a->pcm_.substr(0, loud.size()) == loud);

    ConvertOptions both = {1, 1, 0, 0};
    auto b = New<RecordingDest>();
    EXPECT_EQ(ToRecorder(dir / "in.wav", b.get(), &cb, &both, nullptr), S_OK) << cb.AllText();
    EXPECT_EQ(b->pcm_.size(), loud.size());
    EXPECT_TRUE(b->pcm_ == loud);
    EXPECT_EQ(cb.progressRange, uint32_t(loud.size()));
    EXPECT_FALSE(TempFileLeft());
}

TEST_F(AudioConvertTest, NormalizeGainIsMeasuredReturnedAndReused) {
    // Peak 16384: gain 2.0 exactly.
    std::string first = Square(44100, 5000) + Frames(1, -16384) + Square(30000, -3000);
    WriteWave(dir / "first.wav", first);
    double gain = 0.0;
    auto a = New<RecordingDest>();
    EXPECT_EQ(ToRecorder(dir / "first.wav", a.get(), &cb, nullptr, &gain), S_OK) << cb.AllText();
    EXPECT_EQ(gain, 2.0);
    ASSERT_EQ(a->pcm_.size(), first.size());
    EXPECT_EQ(SampleAt(a->pcm_, 0), 10000);
    EXPECT_EQ(SampleAt(a->pcm_, 2 * 44100), -32768);

    // A second file with peak 8000 converts with the common gain and reports its own.
    std::string second = Square(44100, 4000) + Frames(1, 8000);
    WriteWave(dir / "second.wav", second);
    auto b = New<RecordingDest>();
    EXPECT_EQ(ToRecorder(dir / "second.wav", b.get(), &cb, nullptr, &gain), S_OK);
    EXPECT_EQ(gain, 32768.0 / 8000);
    EXPECT_EQ(SampleAt(b->pcm_, 0), 8000);
    EXPECT_EQ(SampleAt(b->pcm_, 2 * 44100), 16000);
    EXPECT_FALSE(TempFileLeft());
}

TEST_F(AudioConvertTest, CancellingAtAnyBlockFailsClosesAndLeavesNothing) {
    PutProfileInt("Settings", "BPMAnalysis", 1);
    WriteWave(dir / "in.wav", Square(2 * 44100, 7000));
    txtest::WriteFile(dir / "tags.mp3", std::string(64, 'x'));

    // Uncancelled: 6 blocks of at most 64 KiB into the analysis file, 2 one-second blocks out.
    auto whole = New<RecordingDest>();
    whole->tagFile = dir / "tags.mp3";
    EXPECT_EQ(ToRecorder(dir / "in.wav", whole.get(), &cb, nullptr, TX_NORMALIZE_MEASURED), S_OK);
    const int blocks = cb.steps;
    EXPECT_EQ(blocks, 8);

    txtest::WriteFile(dir / "tags.mp3", std::string(64, 'x'));
    for (int n = 0; n <= blocks; ++n) {
        SCOPED_TRACE("cancelled after block " + std::to_string(n));
        TestCallback cancelling;
        cancelling.cancelAfter = n;
        cancelling.cancelled = n == 0;
        auto dest = New<RecordingDest>();
        dest->tagFile = dir / "tags.mp3";
        EXPECT_EQ(ToRecorder(dir / "in.wav", dest.get(), &cancelling, nullptr, TX_NORMALIZE_MEASURED),
                  E_FAIL);
        EXPECT_TRUE(dest->closedAfterOpen);
        EXPECT_EQ(dest->metadataCalls, 0);
        EXPECT_EQ(std::count(cancelling.itemTexts.begin(), cancelling.itemTexts.end(), "BPM Analysis..."), 0);
        EXPECT_FALSE(TempFileLeft());
        EXPECT_EQ(cancelling.steps, n);
    }
    EXPECT_EQ(txtest::ReadFile(dir / "tags.mp3"), std::string(64, 'x'));
}

// A tag that cannot be written (the file's folder is missing) leaves the result as it is,
// and the driver adds no line.
TEST_F(AudioConvertTest, ATagWriteFailureKeepsTheResult) {
    WriteWave(dir / "in.wav", Square(44100, 3000));
    auto dest = New<RecordingDest>();
    dest->tagFile = dir / "missing\\out.mp3";
    EXPECT_EQ(ToRecorder(dir / "in.wav", dest.get(), &cb, nullptr, nullptr), S_OK);
    EXPECT_EQ(dest->metadataCalls, 1);
    EXPECT_TRUE(cb.lines.empty() && cb.messages.empty()) << cb.AllText();
}

TEST_F(AudioConvertTest, RefusesItsOwnInputAndNullArguments) {
    WriteWave(dir / "Same.wav", Square(4410, 3000));
    const std::string file = txtest::ReadFile(dir / "Same.wav");
    auto source = New<CWavConvSource>();
    auto dest = New<CWavConvDest>();
    source->SetFileName((dir / "Same.wav").c_str());
    dest->SetFileName((dir / "SAME.WAV").c_str()); // the same entry, spelled differently
    cb.overwriteAnswer = true;
    EXPECT_EQ(AudioConvert(source.get(), dest.get(), &cb, nullptr, nullptr, -1, -1), E_FAIL);
    EXPECT_EQ(cb.Errors(), "Source file is equal to destination file\n");
    EXPECT_EQ(cb.overwriteQuestions, 0);
    EXPECT_TRUE(txtest::ReadFile(dir / "Same.wav") == file);

    auto recorder = New<RecordingDest>();
    RecordingCallback untouched;
    EXPECT_EQ(AudioConvert(source.get(), recorder.get(), nullptr, nullptr, nullptr, -1, -1), E_INVALIDARG);
    EXPECT_EQ(AudioConvert(nullptr, recorder.get(), &untouched, nullptr, nullptr, -1, -1), E_INVALIDARG);
    EXPECT_EQ(AudioConvert(source.get(), nullptr, &untouched, nullptr, nullptr, -1, -1), E_INVALIDARG);
    EXPECT_EQ(recorder->errorLogCalls, 0);
    EXPECT_TRUE(untouched.lines.empty() && untouched.statusTexts.empty());
    EXPECT_EQ(txtest::RefCount(source.get()), 1u);
}

TEST_F(AudioConvertTest, HighPriorityOnlyAsConfiguredAndRestored) {
    WriteWave(dir / "in.wav", Square(44100, 3000));
    ASSERT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(NORMAL_PRIORITY_CLASS));
    struct Case {
        int setting;
        bool cdTrack;
        DWORD during;
    } cases[] = {{0, false, NORMAL_PRIORITY_CLASS}, {1, false, NORMAL_PRIORITY_CLASS},
                 {2, false, HIGH_PRIORITY_CLASS},   {0, true, NORMAL_PRIORITY_CLASS},
                 {1, true, HIGH_PRIORITY_CLASS},    {-1, false, HIGH_PRIORITY_CLASS}};
    for (const Case& c : cases) {
        SCOPED_TRACE("HighPriority " + std::to_string(c.setting) + (c.cdTrack ? " CD track" : " file"));
        PutProfileInt("Settings", "HighPriority", c.setting);
        TestCallback watch;
        auto source = New<TestSource>();
        auto dest = New<RecordingDest>();
        source->cdTrack = c.cdTrack;
        source->SetFileName((dir / "in.wav").c_str());
        EXPECT_EQ(AudioConvert(source.get(), dest.get(), &watch, nullptr, nullptr, -1, -1), S_OK);
        EXPECT_EQ(watch.priorityDuring, c.during);
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(NORMAL_PRIORITY_CLASS));
    }
}

// One bar of four beats every two seconds (120 BPM): a loud first beat, three softer ones.
std::string Beats(int seconds) {
    std::string bar;
    for (int beat = 0; beat < 4; ++beat)
        bar += Frames(4410, beat == 0 ? 20000 : 8000) + Frames(22050 - 4410, 0);
    std::string out;
    for (int i = 0; i < seconds / 2; ++i)
        out += bar;
    return out;
}

// The tags go in even after a failing Close, which does not change the result either.
TEST_F(AudioConvertTest, EncoderAndTempoFramesAreWritten) {
    PutProfileInt("Settings", "BPMAnalysis", 1);
    WriteWave(dir / "in.wav", Beats(12));
    txtest::WriteFile(dir / "out.mp3", std::string(16, 'y'));
    auto dest = New<RecordingDest>();
    dest->tagFile = dir / "out.mp3";
    dest->failClose = true;
    EXPECT_EQ(ToRecorder(dir / "in.wav", dest.get(), &cb, nullptr, nullptr), S_OK) << cb.AllText();
    EXPECT_EQ(std::count(cb.itemTexts.begin(), cb.itemTexts.end(), "BPM Analysis..."), 1);
    EXPECT_EQ(txtest::TagTexts(dir / "out.mp3", {77, 30}), L"2\nHarvane, None\n12000\n");
}

TEST_F(AudioConvertTest, ConversionsRunSideBySide) {
    // Peak -16384: the normalized copy is exactly twice the input.
    std::string pcm = Square(3 * 44100, 6000) + Frames(1, -16384);
    std::string doubled = Square(3 * 44100, 12000) + Frames(1, -32768);
    WriteWave(dir / "in.wav", pcm);
    HRESULT results[4] = {E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED, E_UNEXPECTED};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            RecordingCallback log;
            auto source = New<CWavConvSource>();
            auto dest = New<CWavConvDest>();
            source->SetFileName((dir / "in.wav").c_str());
            dest->SetFileName((dir / ("out" + std::to_string(i) + ".wav")).c_str());
            results[i] = AudioConvert(source.get(), dest.get(), &log, nullptr,
                                      i % 2 ? TX_NORMALIZE_MEASURED : nullptr, -1, -1);
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i], S_OK) << i;
        std::string written = txtest::ReadFile(dir / ("out" + std::to_string(i) + ".wav"));
        EXPECT_NE(written.find(i % 2 ? doubled : pcm), std::string::npos) << i;
    }
    EXPECT_FALSE(TempFileLeft());
}

LRESULT CALLBACK AnsweringWindow(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    return msg == WM_USER + 7 ? 42 : DefWindowProcA(hwnd, msg, w, l);
}

// The caller's thread keeps serving its windows: a message sent from the worker is answered.
TEST_F(AudioConvertTest, CallerWindowsStayResponsive) {
    class SendingCallback : public RecordingCallback {
    public:
        void TX_THISCALL StepProgress(uint32_t bytes) override {
            RecordingCallback::StepProgress(bytes);
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(window, WM_USER + 7, 0, 0, SMTO_NORMAL, 5000, &answer) && answer == 42)
                ++answered;
        }
        HWND window = nullptr;
        int answered = 0;
    };
    WNDCLASSA wc = {};
    wc.lpfnWndProc = AnsweringWindow;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TxConvertTestWindow";
    RegisterClassA(&wc);
    SendingCallback log;
    log.window =
        CreateWindowA("TxConvertTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(log.window, nullptr);
    WriteWave(dir / "in.wav", Square(44100, 3000));
    auto dest = New<RecordingDest>();
    PostQuitMessage(3); // the caller's quit request survives the conversion
    EXPECT_EQ(ToRecorder(dir / "in.wav", dest.get(), &log, nullptr, nullptr), S_OK);
    EXPECT_EQ(log.answered, 3);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 3);
    DestroyWindow(log.window);
}

} // namespace
