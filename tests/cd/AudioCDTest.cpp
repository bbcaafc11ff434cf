// The drive list, the discs and their track objects, and the drive engine under them, against
// the bench's stand-in ASPI manager (WNASPI32.DLL beside this program, preferred by
// WINEDLLOVERRIDES=wnaspi32=n) and its drive models.
#include "AudioCD.h"
#include "AudioCDDevices.h"
#include "CdEngine.h"
#include "ComPtr.h"
#include "DiscFixture.h"
#include "FakePassThroughPort.h"
#include "Handles.h"
#include "TestSupport.h"
#include "TrackRecord.h"
#include "Trelvox.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

using cdtest::DiscFixture;
using cdtest::DiscSpec;

template <class T> using Ref = trelvox::ComPtr<T>;

Ref<cdrip::IAudioCDDevices> Devices() {
    cdrip::IAudioCDDevices* devices = nullptr;
    EXPECT_EQ(S_OK, CreateAudioCDDevices(&devices));
    return Ref<cdrip::IAudioCDDevices>(devices);
}

Ref<CAudioCD> Disc(cdrip::IAudioCDDevices* devices, int index) {
    cdrip::IAudioCD* cd = nullptr;
    EXPECT_EQ(S_OK, devices->GetCD(index, &cd)) << "drive " << index;
    return Ref<CAudioCD>(static_cast<CAudioCD*>(cd));
}

// Track objects' records, as "number:start+length" words.
std::string Records(CAudioCD* cd) {
    std::string text;
    for (const cdrip::TrackRecord& r : cd->Tracks())
        text += (text.empty() ? "" : " ") + std::to_string(r.number) + ":" + std::to_string(r.start) + "+" +
                std::to_string(r.length);
    return text;
}

// A cue sheet with CD-Text: the fixture's sheet with disc and track titles and performers.
std::string WithText(const DiscFixture& disc) {
    std::string cue = txtest::ReadFile(disc.CuePath());
    std::string out = "TITLE \"Album Title\"\nPERFORMER \"The Band\"\n";
    int track = 0;
    for (size_t at = 0, end; (end = cue.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = cue.substr(at, end - at + 1);
        out += line;
        if (line.find("TRACK") != std::string::npos)
            out += "    TITLE \"Song " + std::to_string(++track) + "\"\n    PERFORMER \"Singer\"\n";
    }
    std::string path = disc.CuePath() + ".text.cue";
    txtest::WriteFile(path, out);
    return path;
}

class AudioCDTest : public ::testing::Test {
protected:
    void SetUp() override { InitTX(nullptr); }

    txtest::TempDir m_dir;
    cdtest::BenchDrives m_bench{m_dir.path()};
};

TEST_F(AudioCDTest, DrivesAreListedWithNamesLettersAndCapabilities) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({300}));
    m_bench.Set(0, 0, 0, disc.CuePath());
    m_bench.Set(0, 3, 0, "", "vendor ACME\nproduct WRITER 9000\nrevision 2.5\ndevice-type 4\nno-page 2A\n");
    m_bench.Set(1, 1, 2, "", "device-type 1\n"); // a tape: not listed
    PutProfileString("AudioCD", "TRELVOXVIRTUAL CD-ROM1.00", nullptr);

    auto devices = Devices();
    ASSERT_TRUE(devices);
    char text[512] = "unchanged";
    EXPECT_FALSE(devices->GetInitError(text));
    EXPECT_EQ(2, devices->GetCount(0));
    EXPECT_EQ(1, devices->GetCount(cdrip::kCapRead)) << "the writer has no mode page 2Ah";
    EXPECT_EQ(0, devices->GetCount(cdrip::kCapRead | cdrip::kCapWriteCdr));
    EXPECT_EQ(uint32_t{cdrip::kCapRead}, devices->GetCapabilities(0));
    EXPECT_EQ(0u, devices->GetCapabilities(1));

    // No CD-ROM letter answers as these drives: both are D:, and the letter is stored.
    int letter = 99;
    EXPECT_EQ(S_OK, devices->QueryDriveLetter(0, &letter));
    EXPECT_EQ(-1, letter) << "nothing known or stored yet";
    EXPECT_TRUE(devices->GetName(0, text, sizeof(text)));
    EXPECT_STREQ("TRELVOX VIRTUAL CD-ROM 1.00 (D:)", text);
    EXPECT_TRUE(devices->GetName(1, text, 12));
    EXPECT_STREQ("ACME WRITER", text);
    int stored = -1;
    EXPECT_TRUE(GetProfileIntA("AudioCD", "TRELVOXVIRTUAL CD-ROM1.00", &stored));
    EXPECT_EQ(3, stored);
    EXPECT_EQ(3, devices->GetDriveLetterOf(1));
    EXPECT_EQ(S_OK, devices->SetDriveLetter(1, 6));
    EXPECT_TRUE(GetProfileIntA("AudioCD", "ACMEWRITER 90002.5", &stored));
    EXPECT_EQ(6, stored);

    cdrip::IAudioCD* cd = nullptr;
    EXPECT_EQ(S_OK, devices->GetCDByLetter(6, &cd));
    ASSERT_TRUE(cd);
    EXPECT_TRUE(cd->GetName(text));
    EXPECT_STREQ("ACME WRITER 9000 2.5 (G:)", text);
    cdengine::Drive& writer = static_cast<CAudioCD*>(cd)->EngineDrive();
    EXPECT_EQ(4, writer.Type());
    EXPECT_EQ(0, writer.HostAdapter());
    EXPECT_EQ(3, writer.Target());
    cd->Release();
    cd = reinterpret_cast<cdrip::IAudioCD*>(1);
    EXPECT_EQ(E_INVALIDARG, devices->GetCDByLetter(7, &cd));

    cdengine::Drive& reader = Disc(devices.get(), 0)->EngineDrive();
    EXPECT_EQ(7056u, reader.MaxReadSpeed());
    EXPECT_EQ(cdengine::kCapCdda | cdengine::kCapAccurateStream | cdengine::kCapReadCdr |
                  cdengine::kCapReadCdrw,
              reader.CapabilityFlags());
    EXPECT_EQ(0u, reader.WriterFlags());
    EXPECT_FALSE(reader.WantsJitterCorrection());

    // Bad indexes.
    EXPECT_EQ(E_INVALIDARG, devices->GetCD(2, &cd));
    EXPECT_EQ(E_INVALIDARG, devices->GetCD(-1, &cd));
    EXPECT_EQ(E_INVALIDARG, devices->SetDriveLetter(2, 3));
    EXPECT_EQ(E_INVALIDARG, devices->QueryDriveLetter(2, &letter));
    EXPECT_EQ(E_INVALIDARG, devices->DetectDriveLetter(2));
    EXPECT_EQ(0, devices->GetDriveLetterOf(2));
    EXPECT_FALSE(devices->GetName(2, text, sizeof(text)));
    EXPECT_EQ(0u, devices->GetCapabilities(2));
}

// The letters' devices answer INQUIRY through IOCTL_SCSI_PASS_THROUGH: the first whose strings
// match wins, and a CD-ROM letter that cannot be opened ends the walk with its own letter.
TEST_F(AudioCDTest, DriveLetterDetectionWalksTheCdRomLetters) {
    m_bench.Set(0, 0, 0, "");
    cdtest::FakePort port;
    port.Add('E', 1, 0, "vendor OTHER\n");
    port.Add('F', 1, 1, "product OTHER DRIVE\n").refuseAll = true;
    port.Add('G', 1, 2, "revision 1.01\n");
    port.Add('H', 1, 3); // the bench's default strings, as the stand-in's drive
    akrip::SetPassThroughPort(&port);
    auto devices = Devices();
    EXPECT_EQ(5, devices->GetDriveLetterOf(0)) << "F: cannot be opened";
    port.units[1].refuseAll = false;
    EXPECT_EQ(S_OK, devices->DetectDriveLetter(0));
    akrip::SetPassThroughPort(nullptr);
    EXPECT_EQ(7, devices->GetDriveLetterOf(0));
    int stored = -1;
    EXPECT_TRUE(GetProfileIntA("AudioCD", "TRELVOXVIRTUAL CD-ROM1.00", &stored));
    EXPECT_EQ(7, stored);
    int inquiries = 0;
    for (const cdtest::FakePort::Request& request : port.requests)
        inquiries += request.opcode == 0x12;
    EXPECT_EQ(5, inquiries) << "E:, then E: to H:";
}

TEST_F(AudioCDTest, AWrongTransferSizeOrNoManagerIsTheInitError) {
    m_bench.Set(0, 0, 0, "");
    char text[512] = {};
    PutProfileInt("AudioCD", "ASPIBufferSize", 70000); // the stand-in moves 64 KiB at most
    {
        auto devices = Devices();
        EXPECT_EQ(0, devices->GetCount(0));
        EXPECT_TRUE(devices->GetInitError(text));
        EXPECT_STREQ("The ASPI manager refuses the transfer buffer size\n"
                     "The host adapter moves at most 65536 bytes per command",
                     text);
    }
    PutProfileString("AudioCD", "ASPIBufferSize", nullptr);

    // No manager and no pass-through drive: the message ends in the help link.
    cdtest::FakePort noDrives;
    akrip::SetPassThroughPort(&noDrives);
    cdengine::transport::SetLibraryNames("no-such-aspi-1.dll", "no-such-aspi-2.dll");
    auto devices = Devices();
    cdengine::transport::SetLibraryNames(nullptr, nullptr);
    akrip::SetPassThroughPort(nullptr);
    EXPECT_EQ(0, devices->GetCount(0));
    EXPECT_TRUE(devices->GetInitError(text));
    std::string message = text;
    EXPECT_EQ(0u, message.find("No ASPI manager is installed")) << message;
    EXPECT_NE(std::string::npos, message.find("\n\nPlease go here for more information:\nhttps://"))
        << message;
}

TEST_F(AudioCDTest, TocOfPlainMixedModeAndEnhancedDiscs) {
    DiscFixture plain(m_dir.path(), cdtest::AudioDisc({300, 27, 4501}), "plain");
    DiscSpec mixedSpec = cdtest::AudioDisc({400, 200, 100});
    mixedSpec.tracks[0].audio = false;
    DiscFixture mixed(m_dir.path(), mixedSpec, "mixed");
    DiscSpec enhancedSpec = cdtest::AudioDisc({200, 150, 500});
    enhancedSpec.tracks[2].audio = false;
    enhancedSpec.tracks[2].session = 2;
    DiscFixture enhanced(m_dir.path(), enhancedSpec, "enhanced");
    m_bench.Set(0, 0, 0, plain.CuePath());
    m_bench.Set(0, 1, 0, mixed.CuePath());
    m_bench.Set(0, 2, 0, enhanced.CuePath());
    auto devices = Devices();
    ASSERT_EQ(3, devices->GetCount(0));

    auto cd = Disc(devices.get(), 0);
    EXPECT_EQ(nullptr, cd->GetToc()) << "no tracks before RefreshToc";
    EXPECT_EQ(0u, cd->GetDiscId());
    ASSERT_EQ(S_OK, cd->RefreshToc());
    EXPECT_EQ("1:0+300 2:300+27 3:327+4501", Records(cd.get()));
    const cdrip::TrackRecord& third = cd->Tracks()[2];
    EXPECT_EQ(cdrip::PackLba(327), third.startMsf);
    EXPECT_EQ(0x00010001u, third.lengthMsf) << "4501 frames: 1 minute, 0 seconds, 1 frame";
    uint32_t key = cdrip::PackLba(0) + cdrip::PackLba(300) + cdrip::PackLba(327);
    for (const cdrip::TrackRecord& r : cd->Tracks())
        EXPECT_EQ(key, r.discKey) << "track " << r.number;
    const cdrip::DiscToc* toc = cd->GetToc();
    ASSERT_TRUE(toc);
    EXPECT_EQ(3, toc->count);
    EXPECT_EQ(327, toc->start[2]);
    EXPECT_EQ(4828, toc->leadOut);
    EXPECT_EQ(0x0e004003u, cd->GetDiscId()) << "libdiscid's freedb id for this table of contents";
    char text[64];
    EXPECT_TRUE(cd->GetTrackTitle(2, text, sizeof(text)));
    EXPECT_STREQ("Track 3", text);

    // Data first: only the audio tracks, numbered as on the disc, and no disc id.
    auto mixedCd = Disc(devices.get(), 1);
    ASSERT_EQ(S_OK, mixedCd->RefreshToc());
    EXPECT_EQ("2:400+200 3:600+100", Records(mixedCd.get()));
    EXPECT_EQ(0u, mixedCd->GetDiscId());
    EXPECT_EQ(3, mixedCd->GetToc()->count) << "the table of contents keeps the data track";
    EXPECT_EQ(0, mixedCd->GetToc()->start[0]);
    EXPECT_TRUE(mixedCd->GetTrackTitle(0, text, sizeof(text)));
    EXPECT_STREQ("Track 2", text);

    // Audio then a data session: the last audio track loses the 11400 frames between.
    auto enhancedCd = Disc(devices.get(), 2);
    ASSERT_EQ(S_OK, enhancedCd->RefreshToc());
    EXPECT_EQ("1:0+200 2:200+150", Records(enhancedCd.get()));
    EXPECT_EQ(11750, enhancedCd->GetToc()->start[2]);
    EXPECT_EQ(12250, enhancedCd->GetToc()->leadOut);
    EXPECT_EQ(0x1400a303u, enhancedCd->GetDiscId()) << "libdiscid's, over the data track too";
    cdengine::DiscLayout layout;
    ASSERT_TRUE(enhancedCd->EngineDrive().ReadLayout(layout));
    EXPECT_EQ(11550u, layout.tracks[1].length) << "the engine's length runs to the next track";
    EXPECT_TRUE(layout.tracks[2].data);

    // An empty drive: no table of contents, no tracks.
    m_bench.Set(0, 2, 0, "");
    EXPECT_EQ(E_FAIL, enhancedCd->RefreshToc());
    EXPECT_EQ(nullptr, enhancedCd->GetToc());
    int count = -1;
    EXPECT_EQ(S_OK, enhancedCd->GetTrackCount(&count));
    EXPECT_EQ(0, count);
}

TEST_F(AudioCDTest, EngineReadsFramesTextSpeedAndBlockSize) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({60, 40}));
    m_bench.Set(0, 0, 0, WithText(disc));
    m_bench.Set(0, 1, 0, disc.CuePath(), "medium-error 30-31\nblank-check 50 1\n");
    auto devices = Devices();
    cdengine::Drive& drive = Disc(devices.get(), 0)->EngineDrive();

    cdengine::DiscLayout layout;
    ASSERT_TRUE(drive.ReadLayout(layout, true));
    ASSERT_EQ(3u, layout.text.titles.size());
    EXPECT_EQ("Album Title", layout.text.titles[0]);
    EXPECT_EQ("Song 2", layout.text.titles[2]);
    ASSERT_EQ(3u, layout.text.performers.size());
    EXPECT_EQ("The Band", layout.text.performers[0]);
    EXPECT_EQ("Singer", layout.text.performers[1]);

    // 100 frames in commands of at most 27 (65000 bytes), in the image's bytes.
    std::string frames(100 * cdengine::kAudioFrameBytes, '\0');
    ASSERT_TRUE(drive.ReadFrames(0, 100, &frames[0]));
    EXPECT_TRUE(frames == disc.Frames(0, 100));
    std::vector<std::string> log = cdtest::BenchLog();
    int reads = 0;
    for (const std::string& line : log)
        reads += line.compare(0, 2, "BE") == 0;
    EXPECT_EQ(4, reads);
    drive.PostRead(&frames[0], 1); // no swapping asked: unchanged
    EXPECT_TRUE(frames == disc.Frames(0, 100));
    drive.SetSwapBytes(true);
    drive.PostRead(&frames[0], 1);
    EXPECT_EQ(disc.Frames(0, 1)[0], frames[1]);
    EXPECT_EQ(disc.Frames(0, 1)[1], frames[0]);

    EXPECT_TRUE(drive.SetReadSpeed(4));
    EXPECT_TRUE(drive.SetReadSpeed(-1));
    EXPECT_TRUE(drive.SetBlockSize(2352));
    EXPECT_EQ(cdengine::kErrBadArgument, drive.SetBlockSize(1000).code);
    log = cdtest::BenchLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("BB 00 02 C0 FF FF 00 00 00 00 00 00", log[log.size() - 3]);
    EXPECT_EQ("BB 00 FF FF FF FF 00 00 00 00 00 00", log[log.size() - 2]);
    EXPECT_EQ("15 10 00 00 0C 00 | 00 00 00 08 00 00 00 00 00 00 09 30", log.back());

    // Errors keep the drive's sense; the abort event stops a read before its next command.
    cdengine::Drive& faulty = Disc(devices.get(), 1)->EngineDrive();
    cdengine::Status status = faulty.ReadFrames(20, 20, &frames[0]);
    EXPECT_EQ(cdengine::kErrRead, status.code);
    EXPECT_EQ(0x031100, status.subCode);
    EXPECT_EQ("Sense key 3 (Medium error), ASC 11h, ASCQ 00h: Unrecovered read error",
              cdengine::SubCodeText(status.code, status.subCode));
    EXPECT_EQ(0x086400, faulty.ReadFrames(50, 1, &frames[0]).subCode);
    EXPECT_TRUE(faulty.ReadFrames(50, 1, &frames[0])) << "the blank check was for one read only";
    trelvox::UniqueEvent abortEvent(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    faulty.SetAbortEvent(abortEvent.get());
    EXPECT_TRUE(faulty.AbortRequested());
    EXPECT_EQ(cdengine::kErrAborted, faulty.ReadFrames(0, 1, &frames[0]).code);
    faulty.SetAbortEvent(nullptr);
    EXPECT_TRUE(faulty.ReadFrames(0, 1, &frames[0]));
    EXPECT_EQ("", cdengine::ErrorText(cdengine::kErrAborted));
    EXPECT_EQ("", cdengine::ErrorText(cdengine::kOk));
    for (int code :
         {cdengine::kErrNoAspi, cdengine::kErrTransferSize, cdengine::kErrRead, cdengine::kErrSync})
        EXPECT_NE("", cdengine::ErrorText(code)) << code;
}

TEST_F(AudioCDTest, OneListPerProcessAndTheDiscListCountInterplay) {
    m_bench.Set(0, 0, 0, "");
    auto first = Devices();
    auto second = Devices();
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(2u, txtest::RefCount(first.get()));
    second.reset();
    {
        auto cd = Disc(first.get(), 0);
        EXPECT_EQ(2u, txtest::RefCount(first.get())) << "a referenced disc holds the list";
        cdrip::IAudioCD* again = nullptr;
        EXPECT_EQ(S_OK, first->GetCD(0, &again));
        EXPECT_EQ(2u, txtest::RefCount(first.get())) << "only the disc's first reference counts on the list";
        again->Release();
        EXPECT_TRUE(cd->SetTitle("Marked"));

        // The caller's last reference goes; the disc still holds the list.
        cdrip::IAudioCDDevices* raw = first.detach();
        EXPECT_EQ(1u, raw->Release());
    }
    // Everything released: a new list with a new disc object.
    auto third = Devices();
    char title[16] = "x";
    EXPECT_FALSE(Disc(third.get(), 0)->GetTitle(title, sizeof(title)));
    EXPECT_EQ(E_INVALIDARG, CreateAudioCDDevices(nullptr));
}

TEST_F(AudioCDTest, TrackObjectsAcrossRefreshTocAndFromCdaFiles) {
    DiscFixture before(m_dir.path(), cdtest::AudioDisc({300, 75, 4567}), "before");
    DiscFixture after(m_dir.path(), cdtest::AudioDisc({300, 80, 4567}), "after");
    m_bench.Set(0, 0, 0, before.CuePath());
    auto devices = Devices();
    auto cd = Disc(devices.get(), 0);
    ASSERT_EQ(S_OK, cd->RefreshToc());

    cdrip::IAudioCDTrack* bad = reinterpret_cast<cdrip::IAudioCDTrack*>(1);
    EXPECT_EQ(HRESULT(0x80070057), cd->GetTrack(3, &bad));
    EXPECT_EQ(nullptr, bad);
    EXPECT_EQ(HRESULT(0x80070057), cd->GetTrack(-1, &bad));

    cdrip::IAudioCDTrack* raw[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(S_OK, cd->GetTrack(i, &raw[i]));
    Ref<cdrip::IAudioCDTrack> first(raw[0]), second(raw[1]), third(raw[2]);
    uint8_t m = 0, s = 0, f = 0;
    EXPECT_EQ(S_OK, third->GetLengthMsf(&m, &s, nullptr));
    EXPECT_EQ(S_OK, third->GetLengthMsf(nullptr, nullptr, &f));
    EXPECT_EQ("1:0:67", std::to_string(m) + ":" + std::to_string(s) + ":" + std::to_string(f));
    EXPECT_EQ(E_INVALIDARG, second->GetTrackRecord(nullptr));

    // The same disc again: every track object stays bound.
    ASSERT_EQ(S_OK, cd->RefreshToc());
    cdrip::TrackRecord record = {};
    for (auto* track : {first.get(), second.get(), third.get()})
        EXPECT_EQ(S_OK, track->GetTrackRecord(&record));

    // A .cda file finds its track; one of another disc finds none.
    std::string cda = m_dir / "Track02.cda";
    std::vector<uint8_t> bytes = cdrip::BuildCdaFile(cd->Tracks()[1]);
    txtest::WriteFile(cda, std::string(bytes.begin(), bytes.end()));
    cdrip::IAudioCDTrack* fromCda = nullptr;
    ASSERT_EQ(S_OK, cd->GetTrackFromCda(cda.c_str(), &fromCda));
    EXPECT_EQ(S_OK, fromCda->GetTrackRecord(&record));
    EXPECT_EQ(2, record.number);
    EXPECT_EQ(300u, record.start);

    // Track 2 grows by 5 frames and track 3 moves: only track 1 keeps its record.
    m_bench.Set(0, 0, 0, after.CuePath());
    ASSERT_EQ(S_OK, cd->RefreshToc());
    EXPECT_EQ(S_OK, first->GetTrackRecord(&record));
    EXPECT_EQ(E_FAIL, second->GetTrackRecord(&record));
    EXPECT_EQ(E_FAIL, second->GetLengthMsf(&m, &s, &f));
    cdrip::IAudioCD* owner = nullptr;
    EXPECT_EQ(E_FAIL, third->GetAudioCD(&owner));
    EXPECT_EQ(E_FAIL, fromCda->GetTrackRecord(&record));
    EXPECT_EQ(S_OK, third->DetachFromCD()) << "detaching twice is harmless";
    fromCda->Release();
    fromCda = reinterpret_cast<cdrip::IAudioCDTrack*>(1);
    EXPECT_EQ(E_FAIL, cd->GetTrackFromCda(cda.c_str(), &fromCda));
    EXPECT_EQ(nullptr, fromCda);
    EXPECT_EQ(E_INVALIDARG, cd->GetTrackFromCda("", &fromCda));
}

// Every field's round trip is CDInterfaces.c's; here the defaults, clearing and the refresh.
TEST_F(AudioCDTest, DiscInformationDefaultsAndRefresh) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({100, 100}));
    m_bench.Set(0, 0, 0, disc.CuePath());
    auto devices = Devices();
    auto cd = Disc(devices.get(), 0);
    ASSERT_EQ(S_OK, cd->RefreshToc());
    char text[8] = "x";
    EXPECT_FALSE(cd->GetTitle(text, sizeof(text)));
    EXPECT_STREQ("", text);
    int year = 0;
    EXPECT_TRUE(cd->GetYear(&year));
    EXPECT_EQ(-1, year);

    EXPECT_TRUE(cd->SetArtist("Band"));
    EXPECT_TRUE(cd->SetYear(1999));
    EXPECT_TRUE(cd->SetTrackTitle(1, "Second"));
    EXPECT_TRUE(cd->SetCategory("rock"));
    EXPECT_TRUE(cd->SetCategory(nullptr));
    EXPECT_FALSE(cd->GetCategory(text, sizeof(text)));
    EXPECT_FALSE(cd->GetTrackExtra(1, text, sizeof(text)));
    EXPECT_FALSE(cd->SetTrackTitle(2, "None"));
    EXPECT_FALSE(cd->GetTrackTitle(2, text, sizeof(text)));
    EXPECT_FALSE(cd->SetTrackExtra(-1, "None"));

    // A refresh starts the information afresh.
    ASSERT_EQ(S_OK, cd->RefreshToc());
    EXPECT_FALSE(cd->GetArtist(text, sizeof(text)));
    EXPECT_TRUE(cd->GetYear(&year));
    EXPECT_EQ(-1, year);
    EXPECT_TRUE(cd->GetTrackTitle(1, text, sizeof(text)));
    EXPECT_STREQ("Track 2", text);
}

} // namespace
