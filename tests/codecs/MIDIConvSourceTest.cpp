// The MIDI source through the format table. The test prefix has no sound driver, so the
// sequencer opens the file but nothing can record what it plays: Play must fail cleanly.
#include "TestSupport.h"
#include "Trelvox.h"

#include <gtest/gtest.h>

#include <string>

using txtest::RecordingCallback;
using txtest::TempDir;

namespace {

// A format 0 file at 96 ticks a beat and 120 beats a minute: one note held for `beats` beats.
std::string MidiFile(int beats) {
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const uint32_t ticks = uint32_t(beats) * 96;
    std::string track = std::string("\x00\x90\x3c\x64", 4);
    // The delta time as a variable-length number.
    std::string delta(1, char(ticks & 0x7f));
    for (uint32_t v = ticks >> 7; v; v >>= 7)
        delta.insert(delta.begin(), char(0x80 | (v & 0x7f)));
    track += delta + std::string("\x80\x3c\x40\x00\xff\x2f\x00", 7);
    return "MThd" + be32(6) + std::string("\x00\x00\x00\x01\x00\x60", 6) + "MTrk" +
           be32(uint32_t(track.size())) + track;
}

int TempFilesLeft() {
    char dir[MAX_PATH] = {};
    TXTempPath(dir);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((std::string(dir) + "\\win*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        ++count;
    while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

class NullSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void*, uint32_t bytes) override {
        received += bytes;
        return true;
    }
    uint32_t received = 0;
};

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
    InitTX(nullptr);
    TempDir dir;
    txtest::WriteFile(dir / "tune.mid", MidiFile(20)); // 10 s
    const int before = TempFilesLeft();
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
    NullSink sink;
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
