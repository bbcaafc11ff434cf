// The drive engine writing audio discs, against the bench's CD-R writer behind the stand-in
// ASPI manager (WNASPI32.DLL beside this program, preferred by WINEDLLOVERRIDES=wnaspi32=n):
// what it writes reads back through the engine's read path, and each failure has its status.
#include "AudioCD.h"
#include "AudioCDDevices.h"
#include "DiscFixture.h"
#include "Handles.h"
#include "Recorder.h"
#include "TestSupport.h"
#include "Trelvox.h"

#include <windows.h>

#include <memory>

namespace {

using namespace cdengine;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
using DevicesRef = std::unique_ptr<cdrip::IAudioCDDevices, Releaser>;
using DiscRef = std::unique_ptr<CAudioCD, Releaser>;

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        // Three tracks; the second ends in part of a frame.
        const uint32_t frames[] = {300, 101, 200};
        for (int i = 0; i < 3; ++i) {
            std::string pcm = cdtest::RandomFrames(frames[i], 40 + i);
            if (i == 1)
                pcm.resize(100 * kAudioFrameBytes + 1000);
            m_paths.push_back(m_dir / ("track" + std::to_string(i + 1) + ".pcm"));
            txtest::WriteFile(m_paths.back(), pcm);
            m_audio += pcm + std::string(
                                 (kAudioFrameBytes - pcm.size() % kAudioFrameBytes) % kAudioFrameBytes, '\0');
        }
        ASSERT_TRUE(BuildWriteLayout(m_paths, m_layout));
        CdTextBlock text;
        text.disc.title = "Album";
        text.disc.performer = "Band";
        text.tracks.resize(3);
        text.tracks[0].title = "A first title longer than a pack";
        text.tracks[0].performer = "Singer A";
        text.tracks[0].songwriter = "Writer";
        text.tracks[1].title = "Two";
        text.tracks[1].performer = "Singer B";
        text.tracks[2].title = "Three";
        ASSERT_TRUE(AttachCdText(m_layout, text));
    }

    Drive& DriveAt(int index) {
        if (!m_devices) {
            cdrip::IAudioCDDevices* devices = nullptr;
            EXPECT_EQ(S_OK, CreateAudioCDDevices(&devices));
            m_devices.reset(devices);
        }
        cdrip::IAudioCD* cd = nullptr;
        EXPECT_EQ(S_OK, m_devices->GetCD(index, &cd)) << "drive " << index;
        m_discs.emplace_back(static_cast<CAudioCD*>(cd));
        return m_discs.back()->EngineDrive();
    }

    // Writes m_layout; the events go into m_events as words ("T1 P300 ... L E").
    Status Write(Drive& drive, bool test = false, bool burnProof = false, HANDLE abortAtTrack2 = nullptr) {
        m_events.clear();
        WriteOptions options;
        options.speedIndex = 3;
        options.testMode = test;
        options.burnProof = burnProof;
        options.progress = [this, abortAtTrack2](WriteEvent event, uint32_t value) {
            static const char kNames[] = " TPLE";
            m_events += (m_events.empty() ? "" : " ") + std::string(1, kNames[event]) +
                        (event <= kWriteProgress ? std::to_string(value) : "");
            if (event == kWriteTrackStart && value == 2 && abortAtTrack2)
                SetEvent(abortAtTrack2);
        };
        return WriteDiscAtOnce(drive, m_layout, options);
    }

    txtest::TempDir m_dir;
    cdtest::BenchDrives m_bench{m_dir.path()};
    std::vector<std::string> m_paths;
    std::string m_audio; // the tracks as the disc should hold them
    WriteLayout m_layout;
    std::string m_events;
    DevicesRef m_devices;
    std::vector<DiscRef> m_discs;
};

TEST_F(RecorderTest, WrittenDiscReadsBackWithItsLayoutAndText) {
    EXPECT_EQ(601u, m_layout.totalFrames);
    ASSERT_EQ(3u, m_layout.tracks.size());
    EXPECT_EQ(401u, m_layout.tracks[2].start);
    std::string outCue = m_dir / "out.cue";
    m_bench.SetBlank(0, 0, 0, outCue);
    Drive& drive = DriveAt(0);
    EXPECT_EQ(kWriteCdr | kWriteCdrw | kWriteTest | kWriteBurnProof, drive.WriterFlags());
    EXPECT_EQ(20, MaxWriteSpeedIndex(drive)) << "40x";
    DiscSpace space;
    ASSERT_TRUE(ReadDiscSpace(drive, space));
    EXPECT_EQ(0, space.status);
    EXPECT_EQ(-11625, space.leadInStart);
    EXPECT_EQ(360000u, space.capacity);

    Status status = Write(drive);
    ASSERT_TRUE(status) << WriteFailureMessage(status);
    // Progress in commands of at most 27 frames (the 65000-byte transfer buffer).
    EXPECT_EQ("T1 P27 P27 P27 P27 P27 P27 P27 P27 P27 P27 P27 P3 T2 P27 P27 P27 P20 "
              "T3 P27 P27 P27 P27 P27 P27 P27 P11 L E",
              m_events);
    std::vector<std::string> log = cdtest::BenchLog();
    auto logged = [&](const std::string& prefix) {
        for (const std::string& line : log)
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line;
        return std::string("(none)");
    };
    EXPECT_EQ("BB 00 FF FF 04 22 00 00 00 00 00 00", logged("BB")) << "6x = 1058 kB/s";
    // Page 05h: disc-at-once, no test write, no BUFE, audio, a 150-frame pause.
    const std::string page = "55 10 00 00 00 00 00 00 3C 00 | 00 00 00 00 00 00 00 00 "
                             "05 32 02 00 00 00 00 00 00 00 00 00 00 00 00 96";
    EXPECT_EQ(page, logged("55").substr(0, page.size()));
    // Lead-in with CD-Text, track 1 from 00:00:00 (index 0) and 00:02:00, then 00:06:00,
    // 00:07:26 and the lead-out at 00:10:01.
    EXPECT_EQ(
        "5D 00 00 00 00 00 00 00 30 00 | 01 00 00 41 00 00 00 00 01 01 00 00 00 00 00 00 "
        "01 01 01 00 00 00 02 00 01 02 01 00 00 00 06 00 01 03 01 00 00 00 07 1A 01 AA 01 01 00 00 0A 01",
        logged("5D"));
    EXPECT_EQ("2A 00 FF FF D2 97 00 02 88 00", logged("2A")) << "the lead-in from -11625, 648 blocks";
    EXPECT_EQ("35 00 00 00 00 00 00 00 00 00", logged("35"));

    // The finished disc through the read path: TOC, CD-Text, frames; and its image.
    DiscLayout layout;
    ASSERT_TRUE(drive.ReadLayout(layout, true));
    ASSERT_EQ(3u, layout.tracks.size());
    EXPECT_EQ(0u, layout.tracks[0].start);
    EXPECT_EQ(300u, layout.tracks[1].start);
    EXPECT_EQ(401u, layout.tracks[2].start);
    EXPECT_EQ(601u, layout.leadOut);
    EXPECT_EQ((std::vector<std::string>{"Album", "A first title longer than a pack", "Two", "Three"}),
              layout.text.titles);
    EXPECT_EQ((std::vector<std::string>{"Band", "Singer A", "Singer B"}), layout.text.performers);
    std::string frames(601 * kAudioFrameBytes, '\0');
    ASSERT_TRUE(drive.ReadFrames(0, 601, &frames[0]));
    EXPECT_TRUE(frames == m_audio) << "the frames read back differ from the track files";
    EXPECT_TRUE(txtest::ReadFile(m_dir / "out.bin") == m_audio);
    EXPECT_EQ("REM written by the CD bench\nTITLE \"Album\"\nPERFORMER \"Band\"\nFILE \"out.bin\" BINARY\n"
              "  TRACK 01 AUDIO\n    TITLE \"A first title longer than a pack\"\n    PERFORMER \"Singer A\"\n"
              "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Singer B\"\n"
              "    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:05:26\n",
              txtest::ReadFile(outCue));
    // For check_burn_image.py: the image and the track files, to hand to other tools.
    char exportDir[MAX_PATH];
    DWORD got = GetEnvironmentVariableA("TX_RECORDER_EXPORT", exportDir, sizeof(exportDir));
    if (got > 0 && got < sizeof(exportDir)) {
        for (std::string name : {"out.cue", "out.bin", "track1.pcm", "track2.pcm", "track3.pcm"})
            EXPECT_TRUE(
                CopyFileA((m_dir / name).c_str(), (std::string(exportDir) + "\\" + name).c_str(), FALSE));
    }
    // The disc objects see the standard 2-second pregap before track 1.
    ASSERT_EQ(S_OK, m_discs.back()->RefreshToc());
    ASSERT_EQ(3u, m_discs.back()->Tracks().size());
    EXPECT_EQ(0x000200u, m_discs.back()->Tracks()[0].startMsf);

    // A finished disc is not written again.
    status = Write(drive);
    EXPECT_EQ(kErrNotBlank, status.code);
    EXPECT_EQ(2, status.subCode);
    EXPECT_EQ("The disc could not be written.\n\nThe drive holds no blank CD-R\nThe disc is finalized\n\n"
              "Insert a blank CD-R and press Retry.",
              WriteFailureMessage(status));
}

TEST_F(RecorderTest, TestModeFaultsAndAbort) {
    cdtest::DiscFixture pressed(m_dir.path(), cdtest::AudioDisc({75}));
    m_bench.SetBlank(0, 0, 0, m_dir / "test.cue");
    m_bench.SetBlank(0, 1, 0, m_dir / "underrun.cue", "underrun 350\n");
    m_bench.SetBlank(0, 2, 0, m_dir / "error.cue", "write-error 120 3 0C 00\n");
    m_bench.SetBlank(0, 3, 0, m_dir / "small.cue", "capacity 00:05:00\n");
    m_bench.SetBlank(0, 4, 0, m_dir / "abort.cue");
    m_bench.Set(0, 5, 0, pressed.CuePath());

    // A test write goes through the motions and leaves the disc blank.
    Drive& test = DriveAt(0);
    Status status = Write(test, true);
    EXPECT_TRUE(status) << WriteFailureMessage(status);
    EXPECT_TRUE(EndsWith(m_events, " L E")) << m_events;
    DiscSpace space;
    ASSERT_TRUE(ReadDiscSpace(test, space));
    EXPECT_EQ(0, space.status);
    EXPECT_FALSE(txtest::FileExists(m_dir / "test.cue"));
    EXPECT_FALSE(txtest::FileExists(m_dir / "test.bin"));
    DiscLayout layout;
    EXPECT_EQ(kErrNoDisc, test.ReadLayout(layout).code);

    // A buffer underrun spoils the disc without BURN-Proof; with it the drive goes on.
    Drive& underrun = DriveAt(1);
    status = Write(underrun);
    EXPECT_EQ(kErrBufferUnderrun, status.code);
    EXPECT_EQ(0x030C09, status.subCode);
    EXPECT_EQ("T1 P27 P27 P27 P27 P27 P27 P27 P27 P27 P27 P27 P3 T2 P27", m_events);
    ASSERT_TRUE(ReadDiscSpace(underrun, space));
    EXPECT_EQ(1, space.status);
    EXPECT_EQ(kErrNotBlank, Write(underrun, false, true).code);
    m_bench.SetBlank(0, 1, 0, m_dir / "underrun2.cue", "underrun 350\n");
    status = Write(underrun, false, true);
    EXPECT_TRUE(status) << WriteFailureMessage(status);
    ASSERT_TRUE(underrun.ReadLayout(layout));
    EXPECT_EQ(601u, layout.leadOut);

    status = Write(DriveAt(2));
    EXPECT_EQ(kErrWrite, status.code);
    EXPECT_EQ(0x030C00, status.subCode);
    EXPECT_EQ("Sense key 3 (Medium error), ASC 0Ch, ASCQ 00h: Write error",
              SubCodeText(status.code, status.subCode));

    status = Write(DriveAt(3));
    EXPECT_EQ(kErrDiscTooSmall, status.code);
    EXPECT_EQ(375, status.subCode);
    EXPECT_EQ("", m_events);

    // The abort event stops the recording before its next command.
    Drive& aborted = DriveAt(4);
    trelvox::UniqueEvent abortEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    aborted.SetAbortEvent(abortEvent.get());
    status = Write(aborted, false, false, abortEvent.get());
    aborted.SetAbortEvent(nullptr);
    EXPECT_EQ(kErrAborted, status.code);
    EXPECT_TRUE(EndsWith(m_events, " T2")) << m_events;
    EXPECT_EQ("Writing the disc was cancelled.", WriteFailureMessage(status));

    Drive& reader = DriveAt(5);
    EXPECT_EQ(-1, MaxWriteSpeedIndex(reader));
    EXPECT_EQ(kErrNotWriter, Write(reader).code);
}

TEST(WriteLayoutTest, RefusesWhatADiscCannotHold) {
    WriteLayout layout;
    EXPECT_EQ(kErrBadArgument, LayoutTracks({}, {}, layout).code);
    Status status = LayoutTracks({}, {2352, 0}, layout);
    EXPECT_EQ(kErrBadArgument, status.code);
    EXPECT_EQ(2, status.subCode);
    EXPECT_EQ(kErrTrackFile, BuildWriteLayout({"no such file.pcm"}, layout).code);

    // 99 tracks whose titles fill 99 x 200 bytes: far more than 255 packs of 12.
    ASSERT_TRUE(LayoutTracks({}, std::vector<uint64_t>(99, 2352 * 300), layout));
    CdTextBlock text;
    text.tracks.resize(99);
    for (TrackText& track : text.tracks)
        track.title.assign(200, 'x');
    status = AttachCdText(layout, text);
    EXPECT_EQ(kErrCdTextTooLong, status.code);
    EXPECT_EQ(1659 + 3, status.subCode);
    EXPECT_TRUE(layout.text.empty());
    EXPECT_EQ(0, SpeedIndexOf(100));
    EXPECT_EQ(22, SpeedIndexOf(9173)) << "52x";
    EXPECT_EQ(23, SpeedIndexOf(12701)) << "72x";
}

} // namespace
