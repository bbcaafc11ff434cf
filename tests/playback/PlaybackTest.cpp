// Playback through Wine's real wave output. ALSA is pointed at a file sink (see CMakeLists.txt),
// so that the bytes that reach the device can be read back after each playback.
#include "Trelvox.h"

#include "TestSupport.h"
#include "WavTestFiles.h"

#include <stdlib.h>

#include <atomic>
#include <vector>

namespace {

struct Report {
    int32_t posMinutes, posSeconds, totalMinutes, totalSeconds;
    bool operator==(const Report& o) const {
        return posMinutes == o.posMinutes && posSeconds == o.posSeconds && totalMinutes == o.totalMinutes &&
               totalSeconds == o.totalSeconds;
    }
};
std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << r.posMinutes << ":" << r.posSeconds << "/" << r.totalMinutes << ":" << r.totalSeconds;
}

// Records every call; stops playback once the position reaches stopAtSecond.
class Recorder : public IPlaybackCallback {
public:
    Recorder() : m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Recorder() { CloseHandle(m_done); }

    HRESULT TX_THISCALL OnProgress(int32_t pm, int32_t ps, int32_t tm, int32_t ts) override {
        reports.push_back({pm, ps, tm, ts});
        return stopAtSecond >= 0 && pm * 60 + ps >= stopAtSecond ? E_ABORT : S_OK;
    }
    void TX_THISCALL OnFinished() override {
        ++finished;
        SetEvent(m_done);
    }
    // Waits for OnFinished, then a little longer for a second one that must not come.
    bool WaitFinished() {
        bool ended = WaitForSingleObject(m_done, 60000) == WAIT_OBJECT_0;
        Sleep(100);
        return ended;
    }

    int stopAtSecond = -1;
    std::vector<Report> reports;
    std::atomic<int> finished{0};

private:
    HANDLE m_done;
};

// A source that pushes blocks of a fixed size and counts what happens to it.
class FakeSource : public IConvertSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    bool TX_THISCALL SetFileName(const char*) override { return true; }
    bool TX_THISCALL GetFileName(char*, int) override { return false; }
    int32_t TX_THISCALL GetFormatIndex() override { return 0; }
    int32_t TX_THISCALL SetFormatIndex(int32_t i) override { return i; }
    bool TX_THISCALL GetClassID(GUID*) override { return false; }
    bool TX_THISCALL GetFileTitle(char*, uint32_t) override { return false; }
    bool TX_THISCALL GetFileDir(char*, uint32_t) override { return false; }
    bool TX_THISCALL Open() override {
        ++opens;
        return openable;
    }
    bool TX_THISCALL SetStartTime(int32_t) override { return true; }
    bool TX_THISCALL Play(IPlayCallback* sink) override {
        ++plays;
        std::string block(blockBytes, '\x11');
        for (uint32_t sent = 0; sent < totalBytes; sent += blockBytes) {
            ++pushes;
            if (!sink->OnData(block.data(), blockBytes))
                return true;
        }
        return true;
    }
    bool TX_THISCALL Close() override {
        ++closes;
        return true;
    }
    bool TX_THISCALL GetMetadata(IMetadata**) override { return false; }
    bool TX_THISCALL GetLength(uint32_t* bytes, int32_t, int32_t) override {
        *bytes = totalBytes;
        return true;
    }
    bool TX_THISCALL GetFormat(WAVEFORMATEX* wfx) override {
        *wfx = format;
        return true;
    }
    void TX_THISCALL SetErrorLog(IConvertCallback*) override {}

    std::atomic<ULONG> refs{1};
    bool openable = true;
    WAVEFORMATEX format = txtest::Pcm(2, 44100, 16);
    uint32_t totalBytes = 125 * 176400; // 2 minutes 5 seconds
    uint32_t blockBytes = 16384;
    int opens = 0, plays = 0, closes = 0, pushes = 0;
};

// The file behind ALSA's default device, as a Windows path.
std::string SinkPath() {
    const char* sink = getenv("TX_PLAYBACK_SINK");
    std::string path = std::string("Z:") + (sink ? sink : "");
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The sink must hold pcm whole, with nothing but silence before and after it.
void ExpectSinkHolds(const std::string& pcm) {
    std::string sink = txtest::ReadFile(SinkPath());
    size_t firstPcm = pcm.find_first_not_of('\0');
    size_t firstSink = sink.find_first_not_of('\0');
    ASSERT_NE(std::string::npos, firstSink) << "sink of " << sink.size() << " bytes is silent";
    ASSERT_GE(firstSink, firstPcm);
    size_t at = firstSink - firstPcm;
    ASSERT_GE(sink.size(), at + pcm.size()) << "sink " << sink.size() << " bytes, PCM from " << at;
    EXPECT_TRUE(sink.compare(at, pcm.size(), pcm) == 0) << "the PCM differs at the device";
    EXPECT_EQ(std::string::npos, sink.find_first_not_of('\0', at + pcm.size()))
        << "more than " << pcm.size() << " bytes of sound after " << at;
}

std::string WavFile(const txtest::TempDir& dir, const char* name, const std::string& pcm) {
    std::string path = dir / name;
    txtest::WriteFile(path, wavtest::Riff(wavtest::Chunk("fmt ", wavtest::PcmFormat(2, 44100, 16)) +
                                          wavtest::Chunk("data", pcm)));
    return path;
}

} // namespace

// A three-second file through the wave mapper to the device: every byte arrives, the position
// is reported once per whole second, and OnFinished comes once, after the device played out.
TEST(Playback, PlaysAFileThroughTheDevice) {
    txtest::TempDir dir;
    WAVEFORMATEX wfx = txtest::Pcm(2, 44100, 16);
    std::string pcm = wavtest::Signal(wfx, 3 * 44100);
    std::string path = WavFile(dir, "three.wav", pcm);

    FormatRecord rec;
    IConvertSource* source = nullptr;
    ASSERT_EQ(S_OK, ConvGetFormatOf(&rec, path.c_str()));
    ASSERT_EQ(S_OK, ConvCreateSource(&rec, &source));
    ASSERT_TRUE(source->SetFileName(path.c_str()));
    Recorder recorder;
    DWORD started = GetTickCount();
    ASSERT_TRUE(Playback(source, &recorder));
    source->Release(); // the playback holds its own reference
    ASSERT_TRUE(recorder.WaitFinished());
    printf("3 s of PCM played in %lu ms\n", GetTickCount() - started);
    EXPECT_EQ(1, recorder.finished.load());
    EXPECT_EQ((std::vector<Report>{{0, 0, 0, 3}, {0, 1, 0, 3}, {0, 2, 0, 3}, {0, 3, 0, 3}}),
              recorder.reports);
    ExpectSinkHolds(pcm);
}

// Every way a playback ends: by the callback (at once, or within the block that crossed the
// second it refused), by a source that cannot be opened, by a device that refuses the format.
TEST(Playback, EndsOnEveryPathWithOneOnFinished) {
    struct Case {
        const char* name;
        bool openable;
        uint16_t formatTag;
        int stopAtSecond;
        int opens, plays, closes, pushes;
        size_t reports;
    } cases[] = {
        // 11 blocks of 16 384 bytes cross the first second (176 400 bytes).
        {"stopped at 0:01", true, WAVE_FORMAT_PCM, 1, 1, 1, 1, 11, 2},
        {"refused at 0:00", true, WAVE_FORMAT_PCM, 0, 1, 0, 1, 0, 1},
        {"source not openable", false, WAVE_FORMAT_PCM, -1, 1, 0, 0, 0, 0},
        {"device refuses", true, 0x7777, -1, 1, 0, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSource source;
        source.openable = c.openable;
        source.format.wFormatTag = c.formatTag;
        Recorder recorder;
        recorder.stopAtSecond = c.stopAtSecond;
        ASSERT_TRUE(Playback(&source, &recorder));
        ASSERT_TRUE(recorder.WaitFinished());
        EXPECT_EQ(1, recorder.finished.load());
        EXPECT_EQ(1u, source.refs.load()) << "the playback's reference is released";
        EXPECT_EQ(c.opens, source.opens);
        EXPECT_EQ(c.plays, source.plays);
        EXPECT_EQ(c.closes, source.closes);
        EXPECT_EQ(c.pushes, source.pushes);
        ASSERT_EQ(c.reports, recorder.reports.size());
        for (const Report& r : recorder.reports) {
            EXPECT_EQ(2, r.totalMinutes);
            EXPECT_EQ(5, r.totalSeconds);
        }
    }
}

// Event sounds go to the same device (the sounds that cannot play are LibraryEntryTest's).
TEST(Playback, EventSounds) {
    InitTX(nullptr);
    txtest::TempDir dir;
    std::string pcm = wavtest::Signal(txtest::Pcm(2, 44100, 16), 44100 / 4);
    std::string path = WavFile(dir, "ding.wav", pcm);
    ASSERT_TRUE(PutProfileString("Sounds", "TxPlaybackTest", path.c_str()));
    txtest::WriteFile(SinkPath(), "");

    EXPECT_TRUE(PlayEventSound("TxPlaybackTest"));
    for (int i = 0; i < 100 && txtest::ReadFile(SinkPath()).size() < pcm.size(); ++i)
        Sleep(100);
    Sleep(500);
    EXPECT_TRUE(PlayEventSound(nullptr));
    ExpectSinkHolds(pcm);
    PutProfileString("Sounds", "TxPlaybackTest", nullptr);
}
