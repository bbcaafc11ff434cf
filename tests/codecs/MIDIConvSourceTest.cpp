// The MIDI source through the format table. The test prefix has no sound driver, so the
// sequencer opens the file but nothing can record what it plays: Play must fail cleanly.
// Run with TX_AUDIO_DRIVER=txloop, the loopback device (winetxloop.drv beside the program)
// becomes this process's sound driver: its synthesizer plays the file and its capture
// endpoint records it.
#include "TestSupport.h"
#include "Trelvox.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>

using txtest::RecordingCallback;
using txtest::TempDir;

namespace {

const char* LoopbackDriver() {
    return getenv("TX_AUDIO_DRIVER");
}

// Wine picks its sound driver once per process, when winmm and MMDevAPI first look: name
// ours for that moment only and put the prefix's setting back, so that programs started
// meanwhile are barely affected (the test also runs alone).
class AudioDriverSetting : public ::testing::Environment {
public:
    void SetUp() override {
        const char* driver = LoopbackDriver();
        HKEY key = nullptr;
        if (!driver || RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, nullptr, 0,
                                       KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr))
            return;
        char old[256] = {};
        DWORD size = sizeof(old) - 1;
        const bool hadValue = !RegQueryValueExA(key, "Audio", nullptr, nullptr, (BYTE*)old, &size);
        RegSetValueExA(key, "Audio", 0, REG_SZ, (const BYTE*)driver, DWORD(strlen(driver) + 1));
        waveInGetNumDevs();
        midiOutGetNumDevs();
        if (hadValue)
            RegSetValueExA(key, "Audio", 0, REG_SZ, (const BYTE*)old, DWORD(strlen(old) + 1));
        else
            RegDeleteValueA(key, "Audio");
        RegCloseKey(key);
    }
};
[[maybe_unused]] const auto* const kDriverSetting =
    ::testing::AddGlobalTestEnvironment(new AudioDriverSetting);

// A format 0 file at 96 ticks a beat and 120 beats a minute: `count` notes one after the
// other, each held for `beats` beats.
std::string MidiFile(double beats, int note = 0x3c, int count = 1) {
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const auto ticks = uint32_t(beats * 96);
    // The delta time as a variable-length number.
    std::string delta(1, char(ticks & 0x7f));
    for (uint32_t v = ticks >> 7; v; v >>= 7)
        delta.insert(delta.begin(), char(0x80 | (v & 0x7f)));
    std::string track;
    for (int i = 0; i < count; ++i)
        track += std::string("\x00\x90", 2) + char(note) + "\x64" + delta + "\x80" + char(note) + "\x40";
    track += std::string("\x00\xff\x2f\x00", 4);
    return "MThd" + be32(6) + std::string("\x00\x00\x00\x01\x00\x60", 6) + "MTrk" +
           be32(uint32_t(track.size())) + track;
}

size_t TempFilesLeft() {
    char dir[MAX_PATH] = {};
    return txtest::FilesIn(TXTempPath(dir), "win*.tmp").size();
}

class CollectingSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* data, uint32_t bytes) override {
        received += bytes;
        ++calls;
        pcm.insert(pcm.end(), static_cast<const char*>(data), static_cast<const char*>(data) + bytes);
        return accept;
    }
    uint32_t received = 0;
    int calls = 0;
    bool accept = true;
    std::string pcm;
};

// The strongest whole frequency between 100 and 2000 Hz in one second of 44.1 kHz samples.
int PeakFrequency(const int16_t* samples) {
    int best = 0;
    double bestPower = -1;
    for (int hz = 100; hz <= 2000; ++hz) {
        const double coefficient = 2 * cos(6.283185307179586 * hz / 44100);
        double s1 = 0, s2 = 0;
        for (int i = 0; i < 44100; ++i) {
            const double s0 = samples[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    return best;
}

IConvertSource* MakeSource(RecordingCallback& log) {
    FormatRecord rec;
    IConvertSource* source = nullptr;
    if (ConvGetFormatByName(&rec, "MIDI") != S_OK || ConvCreateSource(&rec, &source) != S_OK)
        return nullptr;
    source->SetErrorLog(&log);
    return source;
}

} // namespace

TEST(MIDIConvSource, OpensThroughTheSequencerAndFailsToRecordWithoutAnInputDevice) {
    if (LoopbackDriver())
        GTEST_SKIP() << "the loopback device is installed";
    InitTX(nullptr);
    TempDir dir;
    txtest::WriteFile(dir / "tune.mid", MidiFile(20)); // 10 s
    const size_t before = TempFilesLeft();
    RecordingCallback log;
    IConvertSource* source = MakeSource(log);
    ASSERT_NE(source, nullptr);
    GUID clsid = {};
    EXPECT_TRUE(source->GetClassID(&clsid) && IsEqualGUID(clsid, CLSID_MIDIConvSource));
    source->SetFileName((dir / "tune.mid").c_str());
    source->SetStartTime(1000);
    ASSERT_TRUE(source->Open()) << log.AllText();
    ASSERT_EQ(log.lines.size(), 2u) << log.AllText();
    EXPECT_EQ(log.lines[0].text,
              "Warning: Encoding specific portions of a MIDI is currently not supported\n");
    EXPECT_EQ(log.lines[0].kind, "i");
    EXPECT_EQ(log.lines[1].text.rfind("For help on converting MIDI files, please see: ", 0), 0u);
    WAVEFORMATEX wfx = {};
    uint32_t length = 0;
    EXPECT_TRUE(source->GetFormat(&wfx));
    EXPECT_TRUE(wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.nChannels == 1 && wfx.nSamplesPerSec == 44100 &&
                wfx.wBitsPerSample == 16 && wfx.nBlockAlign == 2 && wfx.nAvgBytesPerSec == 88200);
    // The estimate follows the sequencer's length (a sequencer rounds to its own ticks).
    EXPECT_TRUE(source->GetLength(&length, -1, -1));
    EXPECT_NEAR(double(length), 10 * 88200.0, 88200.0 / 10);

    log.lines.clear();
    CollectingSink sink;
    EXPECT_FALSE(source->Play(&sink));
    EXPECT_EQ(sink.received, 0u);
    EXPECT_EQ(log.Errors().rfind("Waveform-audio input device cannot be opened for recording (error ", 0), 0u)
        << log.AllText();
    EXPECT_TRUE(source->Close());
    source->Release();
    EXPECT_EQ(TempFilesLeft(), before);
}

TEST(MIDIConvSource, AFileTheSequencerCannotReadFailsOpen) {
    TempDir dir;
    txtest::WriteFile(dir / "noise.mid", std::string(64, '\x55'));
    RecordingCallback log;
    IConvertSource* source = MakeSource(log);
    ASSERT_NE(source, nullptr);
    source->SetFileName((dir / "noise.mid").c_str());
    EXPECT_FALSE(source->Open());
    EXPECT_EQ(log.Errors().rfind("MIDI File cannot be opened (error ", 0), 0u) << log.AllText();
    // Open failed cleanly: the source opens again once the file is good.
    txtest::WriteFile(dir / "noise.mid", MidiFile(2));
    log.lines.clear();
    EXPECT_TRUE(source->Open()) << log.AllText();
    source->Release();
}

TEST(MIDIConvSourceLoopback, RecordsWhatTheSynthesizerPlaysForTheLengthOfTheFile) {
    if (!LoopbackDriver())
        GTEST_SKIP() << "needs TX_AUDIO_DRIVER=txloop";
    InitTX(nullptr);
    TempDir dir;
    txtest::WriteFile(dir / "a4.mid", MidiFile(20, 69)); // A4 for 10 s
    const size_t before = TempFilesLeft();
    RecordingCallback log;
    IConvertSource* source = MakeSource(log);
    ASSERT_NE(source, nullptr);
    source->SetFileName((dir / "a4.mid").c_str());
    // Not supported: only the warning says so, the whole piece is still recorded.
    source->SetStartTime(4000);
    ASSERT_TRUE(source->Open()) << log.AllText();
    EXPECT_EQ(log.lines.at(0).text,
              "Warning: Encoding specific portions of a MIDI is currently not supported\n");
    CollectingSink sink;
    const DWORD started = GetTickCount();
    EXPECT_TRUE(source->Play(&sink)) << log.AllText();
    const DWORD took = GetTickCount() - started;
    EXPECT_EQ(log.Errors(), "");
    // Recording starts just before the sequencer and stops just after its completion notice.
    EXPECT_NEAR(double(sink.received), 10 * 88200.0, 88200.0) << "took " << took << " ms";
    EXPECT_EQ(sink.received % 2, 0u);
    EXPECT_GE(took, 9500u);
    ASSERT_GE(sink.pcm.size(), 8 * 88200u);
    const auto* samples = reinterpret_cast<const int16_t*>(sink.pcm.data());
    double sum = 0;
    for (int i = 0; i < 44100; ++i)
        sum += double(samples[4 * 44100 + i]) * samples[4 * 44100 + i];
    EXPECT_GT(sqrt(sum / 44100), 1000.0);
    EXPECT_NEAR(PeakFrequency(samples + 4 * 44100), 440, 2);
    EXPECT_TRUE(source->Close());
    source->Release();
    EXPECT_EQ(TempFilesLeft(), before);
}

TEST(MIDIConvSourceLoopback, ASinkThatRefusesDataStopsTheSequencerAndTheRecording) {
    if (!LoopbackDriver())
        GTEST_SKIP() << "needs TX_AUDIO_DRIVER=txloop";
    InitTX(nullptr);
    TempDir dir;
    // Wine's sequencer sleeps until its next event before it answers a stop: short notes.
    txtest::WriteFile(dir / "c4.mid", MidiFile(0.5, 0x3c, 40));
    const size_t before = TempFilesLeft();
    RecordingCallback log;
    IConvertSource* source = MakeSource(log);
    ASSERT_NE(source, nullptr);
    source->SetFileName((dir / "c4.mid").c_str());
    ASSERT_TRUE(source->Open()) << log.AllText();
    CollectingSink sink;
    sink.accept = false;
    const DWORD started = GetTickCount();
    EXPECT_TRUE(source->Play(&sink)) << log.AllText();
    const DWORD took = GetTickCount() - started;
    EXPECT_EQ(log.Errors(), "");
    EXPECT_EQ(sink.calls, 1);
    EXPECT_LT(took, 5000u) << "received " << sink.received;
    EXPECT_TRUE(source->Close());
    source->Release();
    EXPECT_EQ(TempFilesLeft(), before);
}
