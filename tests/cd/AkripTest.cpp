// The CD access layer against the bench's stand-in ASPI manager (WNASPI32.DLL beside this
// program, preferred by WINEDLLOVERRIDES=wnaspi32=n) and its drive models.
#include "Akrip.h"
#include "AkripObjects.h"
#include "DiscFixture.h"
#include "TestSupport.h"

#include <windows.h>

#include <string.h>

#include <memory>

namespace {

using akrip::CAudioCD;
using akrip::CAudioCDDevices;
using akrip::CAudioCDTrack;
using cdtest::DiscFixture;

// Where two byte strings first differ, or "" when they are equal.
std::string Difference(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return "";
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return "sizes " + std::to_string(actual.size()) + "/" + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at) + " (frame " +
           std::to_string(at / cdtest::kFrameBytes) + ")";
}

// A drive list for the stand-in manager, written before the layer loads it.
class AspiBench : public ::testing::Test {
protected:
    void AddDrive(int adapter, int target, int lun, const std::string& cue,
                  const std::string& settings = "") {
        m_bench.Set(adapter, target, lun, cue, settings);
    }

    static std::vector<std::string> Log(int adapter = 0, int target = 0, int lun = 0) {
        return cdtest::BenchLog(adapter, target, lun);
    }

    static std::unique_ptr<CAudioCDDevices, void (*)(CAudioCDDevices*)> Devices() {
        return {new CAudioCDDevices, [](CAudioCDDevices* d) { d->Release(); }};
    }

    // Frames lba.. read with ReadCdAudioLba, 27 at a time.
    static std::string ReadFrames(akrip::CdHandle handle, uint32_t lba, uint32_t frames) {
        akrip::UniqueTrackBuffer buffer = akrip::AllocateTrackBuffer(akrip::kFramesPerRead);
        std::string out;
        while (frames) {
            buffer->startFrame = lba;
            buffer->numFrames = std::min(frames, akrip::kFramesPerRead);
            uint8_t status = akrip::ReadCdAudioLba(handle, buffer.get());
            if (status != aspi::kComplete) {
                ADD_FAILURE() << "read at " << lba << ": status " << int(status) << ", error "
                              << akrip::GetAkripError();
                break;
            }
            out.append(reinterpret_cast<const char*>(buffer->data), buffer->len);
            lba += buffer->numFrames;
            frames -= buffer->numFrames;
        }
        return out;
    }

    // A whole track through the object stream.
    static std::string ReadTrack(CAudioCDTrack* track, HRESULT* end = nullptr) {
        std::string out;
        std::vector<uint8_t> chunk(CAudioCDTrack::kReadBytes);
        HRESULT result = track->OpenStream();
        while (result == S_OK) {
            uint32_t count = 0;
            result = track->Read(chunk.data(), &count);
            out.append(reinterpret_cast<const char*>(chunk.data()), count);
        }
        track->CloseStream();
        if (end)
            *end = result;
        else
            EXPECT_EQ(S_FALSE, result) << "track " << track->Number() << " ended with status "
                                       << int(track->LastStatus()) << ", error " << track->LastError();
        return out;
    }

    // Every track of the open disc through its stream, against the image; with method, the
    // handle's read method after each track too.
    static void ExpectEveryTrackReads(CAudioCD* cd, const DiscFixture& disc, int method = 0) {
        ASSERT_EQ(static_cast<int>(disc.Starts().size()), cd->GetTrackCount());
        for (int t = 0; t < cd->GetTrackCount(); ++t) {
            CAudioCDTrack* track = nullptr;
            ASSERT_TRUE(cd->GetTrack(t, &track));
            EXPECT_EQ(static_cast<uint32_t>(disc.Starts()[t]), track->Start());
            EXPECT_EQ("", Difference(ReadTrack(track), disc.Frames(disc.Starts()[t], track->Length())))
                << "track " << t + 1;
            if (method) {
                EXPECT_EQ(method, akrip::GetReadMethod(cd->Handle())) << "the method stays with the handle";
            }
            track->Release();
        }
    }

    struct CloseAndRelease {
        void operator()(CAudioCD* cd) const {
            cd->Close();
            cd->Release();
        }
    };
    // The disc in drive 0:target:0, opened once, closed and released at the end of the scope.
    static std::unique_ptr<CAudioCD, CloseAndRelease> OpenCd(CAudioCDDevices* devices, uint8_t target) {
        CAudioCD* cd = nullptr;
        EXPECT_EQ(S_OK, devices->GetCD(0, target, 0, &cd)) << "target " << int(target);
        EXPECT_EQ(S_OK, cd ? cd->Open(false) : E_POINTER)
            << "target " << int(target) << ": error " << akrip::GetAkripError();
        return std::unique_ptr<CAudioCD, CloseAndRelease>(cd);
    }

    static std::string ReadTrackOf(CAudioCD* cd, int index) {
        CAudioCDTrack* track = nullptr;
        if (!cd->GetTrack(index, &track))
            return "no track " + std::to_string(index);
        std::string bytes = ReadTrack(track);
        track->Release();
        return bytes;
    }

    static akrip::CdHandle Open(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t method = 0) {
        akrip::GetCdHandleRequest request = {12, 1, adapter, target, lun, method, 0, 0, 0};
        return akrip::GetCdHandle(&request);
    }

    txtest::TempDir m_dir;
    cdtest::BenchDrives m_bench{m_dir.path()};
};

TEST_F(AspiBench, EveryReadMethodReturnsTheImageBytesOfWholeTracks) {
    // 100 and 55 frames are no multiples of 27; track 3 has 10 pregap frames in the file.
    cdtest::DiscSpec spec = cdtest::AudioDisc({100, 27, 55});
    spec.tracks[2].indexZero = 10;
    DiscFixture disc(m_dir.path(), spec);
    cdtest::DiscSpec wavSpec = cdtest::AudioDisc({55, 31}); // one WAV file per track
    wavSpec.wavPerTrack = true;
    wavSpec.tracks[1].indexZero = 4;
    DiscFixture wavDisc(m_dir.path(), wavSpec, "wav");
    AddDrive(0, 0, 0, wavDisc.CuePath());
    AddDrive(0, 1, 0, disc.CuePath());
    auto devices = Devices();
    ASSERT_EQ(akrip::kModeManager, akrip::AspiMode()) << "start error " << devices->StartError();
    const std::vector<int32_t>& starts = disc.Starts();
    for (uint8_t method = 1; method <= 8; ++method) {
        akrip::CdHandle handle = Open(0, 1, 0, method);
        ASSERT_NE(0, handle) << "method " << int(method) << ": error " << akrip::GetAkripError();
        for (size_t t = 0; t < starts.size(); ++t) {
            int32_t end = t + 1 < starts.size() ? starts[t + 1] : disc.LeadOut();
            std::string got = ReadFrames(handle, starts[t], end - starts[t]);
            EXPECT_EQ("", Difference(got, disc.Frames(starts[t], end - starts[t])))
                << "method " << int(method) << ", track " << t + 1;
        }
        EXPECT_EQ(method, akrip::GetReadMethod(handle));
        EXPECT_TRUE(akrip::CloseCdHandle(handle));
    }

    // The same through the track objects, with the method detected.
    auto cd = OpenCd(devices.get(), 1);
    ExpectEveryTrackReads(cd.get(), disc);
    CAudioCDTrack* none = nullptr;
    EXPECT_FALSE(cd->GetTrack(3, &none));
    ExpectEveryTrackReads(OpenCd(devices.get(), 0).get(), wavDisc);
}

// An open, detect, read and close cycle on a drive whose READ CD leaves the buffer untouched
// and that refuses READ(10): every command, byte for byte.
TEST_F(AspiBench, OpenDetectReadCloseSendsTheseCommands) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({60, 30}));
    AddDrive(0, 0, 0, disc.CuePath(), "untouched BE F0\nuntouched BE 10\nrefuse 28\n");
    auto devices = Devices();
    ExpectEveryTrackReads(OpenCd(devices.get(), 0).get(), disc, 5);
    std::vector<std::string> log = Log();

    const std::string readCd2 = "BE 00 00 00 00 00 00 00 1B F0 00 00";
    const std::string readCd1 = "BE 00 00 00 00 00 00 00 1B 10 00 00";
    const std::string read10 = "28 00 00 00 00 00 00 00 1B 00";
    std::vector<std::string> expected = {
        "12 00 00 00 64 00",
        "43 00 00 00 00 00 00 03 24 00",
        "5A 00 3F 00 00 00 00 01 00 00 00 00",
        "BB 00 1B 90 00 00 00 00 00 00 00 00",
        readCd2,
        readCd2,
        readCd2,
        readCd1,
        readCd1,
        readCd1,
        "15 10 00 00 14 00 | 00 00 00 08 00 00 00 00 00 00 09 30 23 06 00 00 00 00 00 80",
        "15 10 00 00 14 00 | 00 00 00 08 00 00 00 00 00 00 09 30 01 06 20 07 00 00 00 00",
        read10,
        read10,
        read10,
        "15 00 00 00 0C 00 | 00 00 00 08 00 00 00 00 00 00 09 30",
        read10,
        read10,
        read10,
        "4B 00 00 00 00 00 00 00 00 00",
        "D8 00 00 00 00 00 00 00 00 1B 00 00",
        "D8 00 00 00 00 1B 00 00 00 1B 00 00",
        "D8 00 00 00 00 36 00 00 00 06 00 00",
        "D8 00 00 00 00 3C 00 00 00 1B 00 00",
        "D8 00 00 00 00 57 00 00 00 03 00 00",
    };
    EXPECT_EQ(expected, log);
}

TEST_F(AspiBench, DetectionFallsToMethod8AndCloseRestores2048ByteBlocks) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({30}));
    AddDrive(0, 0, 0, disc.CuePath(), "untouched BE\n");
    auto devices = Devices();
    akrip::CdHandle handle = Open(0, 0, 0);
    ASSERT_NE(0, handle);
    EXPECT_EQ("", Difference(ReadFrames(handle, 0, 30), disc.Frames(0, 30)));
    EXPECT_EQ(8, akrip::GetReadMethod(handle));
    EXPECT_TRUE(akrip::CloseCdHandle(handle));
    std::vector<std::string> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("15 00 00 00 0C 00 | 00 00 00 08 53 00 00 00 00 00 08 00", log.back());
}

TEST_F(AspiBench, ErrorCodes) {
    // 21 drives: the list holds 8 of them, and 16 handles can be open.
    for (int adapter = 0; adapter < 3; ++adapter)
        for (int target = 0; target < 7; ++target)
            AddDrive(adapter, target, 0, "");
    AddDrive(3, 0, 0, "", "device-type 1\n");
    auto devices = Devices();
    EXPECT_EQ(8, devices->Drives().count);
    EXPECT_STREQ("TRELVOX , VIRTUAL CD-ROM   v1.00 (0:0:0)", devices->Drives().drives[0].name);
    EXPECT_STREQ("TRELVOX , VIRTUAL CD-ROM   v1.00 (1:0:0)", devices->Drives().drives[7].name);
    struct {
        akrip::CdDriveList list;
        uint8_t guard[128];
    } bounded;
    memset(&bounded, 0x5A, sizeof(bounded));
    bounded.list.capacity = 8;
    EXPECT_TRUE(akrip::EnumCdDrives(&bounded.list));
    EXPECT_EQ(8, bounded.list.count);
    EXPECT_EQ(std::string(128, '\x5A'), std::string(reinterpret_cast<char*>(bounded.guard), 128))
        << "ninth drive";

    akrip::GetCdHandleRequest request = {12, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, akrip::GetCdHandle(nullptr));
    EXPECT_EQ(akrip::kErrNoRequest, akrip::GetAkripError());
    request.size = 11;
    EXPECT_EQ(0, akrip::GetCdHandle(&request));
    EXPECT_EQ(akrip::kErrBadRequest, akrip::GetAkripError());
    request.size = 12;
    request.version = 2;
    EXPECT_EQ(0, akrip::GetCdHandle(&request));
    EXPECT_EQ(akrip::kErrBadRequest, akrip::GetAkripError());
    EXPECT_EQ(0, Open(3, 0, 0));
    EXPECT_EQ(akrip::kErrNotCdRom, akrip::GetAkripError());
    EXPECT_EQ(0, Open(2, 7, 0));
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(aspi::kNoDevice, akrip::GetLastAspiStatus());

    std::vector<akrip::CdHandle> handles;
    for (int i = 0; i < 16; ++i)
        handles.push_back(Open(static_cast<uint8_t>(i / 7), static_cast<uint8_t>(i % 7), 0));
    EXPECT_EQ(0, std::count(handles.begin(), handles.end(), 0));
    EXPECT_EQ(0, Open(0, 0, 0));
    EXPECT_EQ(akrip::kErrAlreadyOpen, akrip::GetAkripError());
    EXPECT_EQ(0, Open(2, 6, 0));
    EXPECT_EQ(akrip::kErrNoFreeHandle, akrip::GetAkripError());
    EXPECT_EQ(0, akrip::GetAkripError()) << "reading clears it";

    akrip::UniqueTrackBuffer buffer = akrip::AllocateTrackBuffer(2);
    buffer->numFrames = 3;
    EXPECT_EQ(aspi::kError, akrip::ReadCdAudioLba(handles[0], buffer.get()));
    EXPECT_EQ(akrip::kErrBufferTooSmall, akrip::GetAkripError());
    buffer->numFrames = 1;
    EXPECT_EQ(aspi::kError, akrip::ReadCdAudioLba(handles[0], buffer.get())) << "an empty drive";
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(aspi::kError, akrip::ReadCdAudioLba(17, buffer.get()));
    EXPECT_EQ(akrip::kErrInvalidHandle, akrip::GetAkripError());
    for (akrip::CdHandle handle : handles)
        EXPECT_TRUE(akrip::CloseCdHandle(handle));
    EXPECT_FALSE(akrip::CloseCdHandle(handles[0]));
    EXPECT_EQ(akrip::kErrInvalidHandle, akrip::GetAkripError());
}

TEST_F(AspiBench, NoAdaptersAndNoCdDrives) {
    AddDrive(0, 0, 0, "", "device-type 1\n");
    {
        auto devices = Devices();
        EXPECT_EQ(akrip::kErrNoDrives, devices->StartError());
        CAudioCD* cd = nullptr;
        EXPECT_EQ(E_FAIL, devices->GetCD(0, 0, 0, &cd));
    }
    m_bench.Clear();
    auto devices = Devices();
    EXPECT_EQ(akrip::kErrNoAdapters, devices->StartError());
}

TEST_F(AspiBench, CountedOpenAndClose) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({10}));
    AddDrive(0, 0, 0, disc.CuePath());
    auto devices = Devices();
    CAudioCD* cd = nullptr;
    CAudioCD* same = nullptr;
    ASSERT_EQ(S_OK, devices->GetCD(0, 0, 0, &cd));
    ASSERT_EQ(S_OK, devices->GetCD(0, 0, 0, &same));
    EXPECT_EQ(cd, same);
    same->Release();
    ASSERT_EQ(S_OK, cd->Open(false));
    ASSERT_EQ(S_OK, cd->Open(true));
    akrip::CdHandle handle = cd->Handle();
    EXPECT_EQ(0, Open(0, 0, 0));
    EXPECT_EQ(akrip::kErrAlreadyOpen, akrip::GetAkripError());
    cd->Close();
    EXPECT_EQ(handle, cd->Handle()) << "still open once";
    cd->Close();
    EXPECT_EQ(0, cd->Handle());
    handle = Open(0, 0, 0);
    EXPECT_NE(0, handle);
    EXPECT_TRUE(akrip::CloseCdHandle(handle));
    cd->Release();
}

TEST_F(AspiBench, FailuresEndCleanly) {
    DiscFixture disc(m_dir.path(), cdtest::AudioDisc({60}));
    AddDrive(0, 0, 0, "");
    AddDrive(0, 1, 0, disc.CuePath(), "hang 43\n");
    AddDrive(0, 5, 0, disc.CuePath(), "hang 5A\n");
    AddDrive(0, 2, 0, disc.CuePath(), "late BE 150\nmedium-error 5 2\n");
    AddDrive(0, 3, 0, disc.CuePath(), "medium-error 40\nblank-check 50\n");
    AddDrive(0, 4, 0, disc.CuePath(), "media-changed\n");
    auto devices = Devices();
    ASSERT_EQ(0, devices->StartError());
    CAudioCD* cds[5] = {};
    for (uint8_t i = 0; i < 5; ++i)
        ASSERT_EQ(S_OK, devices->GetCD(0, i, 0, &cds[i]));

    // No disc: the table of contents cannot be read, and the drive says why.
    EXPECT_EQ(E_FAIL, cds[0]->Open(false));
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(aspi::kError, akrip::GetLastAspiStatus());
    EXPECT_EQ(0, cds[0]->Handle());

    // A drive that never answers: four seconds, then the request is still pending.
    DWORD started = GetTickCount();
    EXPECT_EQ(E_FAIL, cds[1]->Open(false));
    DWORD waited = GetTickCount() - started;
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(aspi::kPending, akrip::GetLastAspiStatus());
    EXPECT_GE(waited, 3900u);
    EXPECT_LT(waited, 8000u);
    // MODE SENSE is given half a second; without page 2Ah the speed set is 0.
    CAudioCD* slowPages = nullptr;
    ASSERT_EQ(S_OK, devices->GetCD(0, 5, 0, &slowPages));
    started = GetTickCount();
    EXPECT_EQ(S_OK, slowPages->Open(false));
    waited = GetTickCount() - started;
    EXPECT_GE(waited, 450u);
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ("BB 00 00 00 00 00 00 00 00 00 00 00", Log(0, 5, 0).back());
    slowPages->Close();
    slowPages->Release();

    // Late completions come through the event; two failing attempts do not change the method.
    ASSERT_EQ(S_OK, cds[2]->Open(false));
    EXPECT_EQ("", Difference(ReadTrackOf(cds[2], 0), disc.Frames(0, 60)));
    EXPECT_EQ(2, akrip::GetReadMethod(cds[2]->Handle()));
    CAudioCDTrack* track = nullptr;

    // Unreadable frames: the stream ends with what came before the failing block.
    ASSERT_EQ(S_OK, cds[3]->Open(false));
    ASSERT_TRUE(cds[3]->GetTrack(0, &track));
    HRESULT end = S_OK;
    std::string got = ReadTrack(track, &end);
    EXPECT_EQ(E_FAIL, end);
    EXPECT_EQ(27u * cdtest::kFrameBytes, got.size());
    EXPECT_EQ(aspi::kError, track->LastStatus());
    EXPECT_EQ(akrip::kErrAspi, track->LastError());
    track->Release();
    aspi::ExecScsiCommand request = {};
    uint8_t frame[2352];
    request.header.command = aspi::kExecScsiCommand;
    request.header.flags = aspi::kFlagDataIn;
    request.target = 3;
    request.buffer = frame;
    request.bufferLength = sizeof(frame);
    request.senseLength = aspi::kSenseBytes;
    request.cdbLength = 12;
    const uint8_t readCd[12] = {0xBE, 0, 0, 0, 0, 50, 0, 0, 1, 0x10, 0, 0};
    memcpy(request.cdb, readCd, sizeof(readCd));
    EXPECT_EQ(aspi::kError, akrip::SendAspiCommand(&request));
    EXPECT_EQ(2, request.targetStatus);
    EXPECT_EQ(8, request.sense[2]);

    // A new disc: the first command reports it and fails; the caller may try again.
    EXPECT_EQ(E_FAIL, cds[4]->Open(false));
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(S_OK, cds[4]->Open(false));
    EXPECT_EQ(1, cds[4]->GetTrackCount());
    cds[4]->Close();

    cds[2]->Close();
    cds[3]->Close();
    for (CAudioCD* cd : cds)
        cd->Release();
}

TEST_F(AspiBench, MixedModeEnhancedAnd99TrackDiscs) {
    cdtest::DiscSpec mixed = cdtest::AudioDisc({100, 60, 40});
    mixed.tracks[0].audio = false;
    mixed.tracks[1].indexZero = 150;
    DiscFixture mixedDisc(m_dir.path(), mixed, "mixed");
    cdtest::DiscSpec enhanced = cdtest::AudioDisc({60, 50, 30});
    enhanced.tracks[2].audio = false;
    enhanced.tracks[2].session = 2;
    DiscFixture enhancedDisc(m_dir.path(), enhanced, "enhanced");
    cdtest::DiscSpec many;
    many.tracks.resize(99);
    for (cdtest::TrackSpec& t : many.tracks)
        t.frames = 2;
    DiscFixture manyDisc(m_dir.path(), many, "many");
    AddDrive(0, 0, 0, mixedDisc.CuePath());
    AddDrive(0, 1, 0, enhancedDisc.CuePath());
    AddDrive(0, 2, 0, manyDisc.CuePath());
    auto devices = Devices();

    struct Expect {
        int number;
        uint32_t start;
        uint32_t length;
        bool data;
    };
    auto check = [&](uint8_t target, std::vector<Expect> expected) {
        auto cd = OpenCd(devices.get(), target);
        EXPECT_EQ(static_cast<int>(expected.size()), cd->GetTrackCount());
        for (size_t i = 0; i < expected.size() && static_cast<int>(i) < cd->GetTrackCount(); ++i) {
            CAudioCDTrack* track = nullptr;
            if (!cd->GetTrack(static_cast<int>(i), &track))
                break;
            EXPECT_EQ(expected[i].number, track->Number()) << "target " << int(target) << " track " << i;
            EXPECT_EQ(expected[i].start, track->Start()) << "target " << int(target) << " track " << i;
            EXPECT_EQ(expected[i].length, track->Length()) << "target " << int(target) << " track " << i;
            EXPECT_EQ(expected[i].data, (cd->Toc()[5 + 8 * i] & 4) != 0);
            track->Release();
        }
        return cd;
    };
    EXPECT_EQ(
        "", Difference(
                ReadTrackOf(check(0, {{1, 0, 250, true}, {2, 250, 60, false}, {3, 310, 40, false}}).get(), 1),
                mixedDisc.Frames(250, 60)));
    // The last audio track before the data session: the gap is taken off but for the 150
    // pregap frames of the data track, which read as silence.
    EXPECT_EQ(
        "", Difference(ReadTrackOf(
                           check(1, {{1, 0, 60, false}, {2, 60, 200, false}, {3, 11510, 30, true}}).get(), 1),
                       enhancedDisc.Frames(60, 200)));
    std::vector<Expect> all;
    for (int i = 0; i < 99; ++i)
        all.push_back({i + 1, static_cast<uint32_t>(2 * i), 2, false});
    check(2, all);
}

} // namespace
