// The CD access layer without an ASPI manager: its emulation over SCSI pass-through, with the
// Windows calls handed to the bench's drive models; and the managers it must refuse.
#include "Akrip.h"
#include "AkripObjects.h"
#include "DiscFixture.h"
#include "FakePassThroughPort.h"
#include "MmcDevice.h"
#include "PassThrough.h"
#include "TestSupport.h"

#include <string.h>

#include <map>
#include <memory>

namespace {

using cdtest::FakePort;

class NoAspiManager : public ::testing::Test {
protected:
    void SetUp() override {
        akrip::SetAspiLibraryNames("no-such-aspi-1.dll", "no-such-aspi-2.dll");
        akrip::SetPassThroughPort(&m_port);
    }
    void TearDown() override {
        akrip::SetPassThroughPort(nullptr);
        akrip::SetAspiLibraryNames(nullptr, nullptr);
    }

    std::shared_ptr<cdbench::DiscImage> Image(const cdtest::DiscFixture& disc) {
        auto image = std::make_shared<cdbench::DiscImage>();
        std::string error;
        EXPECT_TRUE(image->LoadCue(disc.CuePath(), error)) << error;
        return image;
    }

    txtest::TempDir m_dir;
    FakePort m_port;
};

TEST_F(NoAspiManager, EmulationFindsDrivesByLetterAndReadsThroughThem) {
    cdtest::DiscFixture disc(m_dir.path(), cdtest::AudioDisc({40, 20}));
    m_port.Add('E', 0, 1).device->Insert(Image(disc), false);
    FakePort::Unit& plextor = m_port.Add('G', 1, 0, "vendor PLEXTOR\n");
    plextor.refuseWrite = true;
    akrip::CAudioCDDevices* devices = new akrip::CAudioCDDevices;
    ASSERT_EQ(akrip::kModePassThrough, akrip::AspiMode()) << "start error " << devices->StartError();
    ASSERT_EQ(2, devices->Drives().count);
    EXPECT_STREQ("TRELVOX , VIRTUAL CD-ROM   v1.00 (0:1:0)", devices->Drives().drives[0].name);
    EXPECT_STREQ("PLEXTOR , VIRTUAL CD-ROM   v1.00 (1:0:0)", devices->Drives().drives[1].name);
    EXPECT_EQ(0u, m_port.accesses[0] ^ (GENERIC_READ | GENERIC_WRITE)) << "read and write access first";
    EXPECT_EQ(GENERIC_READ, m_port.accesses.back()) << "then read access alone";
    size_t inquiries = m_port.units[0].device->Log().size();

    aspi::HostAdapterInquiry adapter = {};
    adapter.header.adapter = 1;
    EXPECT_EQ(aspi::kComplete, akrip::SendAspiCommand(&adapter));
    EXPECT_EQ(2, adapter.adapterCount);
    EXPECT_EQ(7, adapter.scsiId);
    EXPECT_EQ("AKASPI v0.000001", std::string(adapter.managerId, 16));
    EXPECT_EQ("SCSI Adapter 1  ", std::string(adapter.adapterId, 16));
    EXPECT_EQ(8, adapter.unique[3]);
    EXPECT_EQ(1, adapter.unique[6]) << "65536 bytes per transfer";
    adapter.header.adapter = 2;
    EXPECT_EQ(aspi::kInvalidHostAdapter, akrip::SendAspiCommand(&adapter));
    aspi::GetDeviceType type = {};
    type.header.command = aspi::kGetDeviceType;
    type.target = 5;
    EXPECT_EQ(aspi::kNoDevice, akrip::SendAspiCommand(&type));
    EXPECT_EQ(aspi::kDeviceTypeUnknown, type.deviceType);

    akrip::CAudioCD* cd = nullptr;
    ASSERT_EQ(S_OK, devices->GetCD(0, 1, 0, &cd));
    ASSERT_EQ(S_OK, cd->Open(false));
    akrip::CAudioCDTrack* track = nullptr;
    ASSERT_TRUE(cd->GetTrack(1, &track));
    ASSERT_EQ(S_OK, track->OpenStream());
    std::vector<uint8_t> chunk(akrip::CAudioCDTrack::kReadBytes);
    uint32_t count = 0;
    EXPECT_EQ(S_FALSE, track->Read(chunk.data(), &count));
    EXPECT_TRUE(count == 20 * cdtest::kFrameBytes &&
                memcmp(chunk.data(), disc.Frames(40, 20).data(), count) == 0)
        << "count " << count;
    track->CloseStream();
    track->Release();
    EXPECT_EQ(inquiries, m_port.units[0].device->Log().size() - 4)
        << "INQUIRY answered from the probe's data";
    cd->Close();
    cd->Release();

    // The request flags decide the transfer direction.
    akrip::GetCdHandleRequest request = {12, 1, 0, 1, 0, 4, 0, 0, 0};
    akrip::CdHandle handle = akrip::GetCdHandle(&request);
    m_port.requests.clear();
    akrip::SetCdSpeed(handle, 1000);
    akrip::UniqueTrackBuffer buffer = akrip::AllocateTrackBuffer(1);
    buffer->numFrames = 1;
    EXPECT_EQ(aspi::kComplete, akrip::ReadCdAudioLba(handle, buffer.get()));
    akrip::CloseCdHandle(handle);
    std::vector<std::pair<int, int>> directions;
    for (const FakePort::Request& r : m_port.requests)
        directions.emplace_back(r.opcode, r.direction);
    std::vector<std::pair<int, int>> expected = {{0xBB, SCSI_IOCTL_DATA_OUT},
                                                 {0x15, SCSI_IOCTL_DATA_UNSPECIFIED},
                                                 {0x28, SCSI_IOCTL_DATA_IN},
                                                 {0x15, SCSI_IOCTL_DATA_UNSPECIFIED}};
    EXPECT_EQ(expected, directions);
    devices->Release();
    EXPECT_EQ(akrip::kModeNone, akrip::AspiMode());
}

TEST_F(NoAspiManager, MediaChangedAndInvalidHandleAreRetriedOnce) {
    cdtest::DiscFixture first(m_dir.path(), cdtest::AudioDisc({40, 30}), "first");
    cdtest::DiscFixture second(m_dir.path(), cdtest::AudioDisc({10, 10, 10}), "second");
    FakePort::Unit& unit = m_port.Add('D', 0, 0);
    unit.device->Insert(Image(first), false);
    akrip::CAudioCDDevices* devices = new akrip::CAudioCDDevices;
    akrip::CAudioCD* cd = nullptr;
    ASSERT_EQ(S_OK, devices->GetCD(0, 0, 0, &cd));
    ASSERT_EQ(S_OK, cd->Open(false));
    EXPECT_EQ(2, cd->GetTrackCount());
    cd->Close();

    unit.device->Insert(Image(second));
    int closes = m_port.closes;
    unit.device->ClearLog();
    ASSERT_EQ(S_OK, cd->Open(false)) << "error " << akrip::GetAkripError();
    EXPECT_EQ(3, cd->GetTrackCount());
    EXPECT_EQ(2, m_port.closes - closes) << "the stale handle and the probe's own";
    std::vector<std::string> log = unit.device->Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(
                  {"43 00 00 00 00 00 00 03 24 00", "12 00 00 00 64 00", "43 00 00 00 00 00 00 03 24 00"}),
              std::vector<std::string>(log.begin(), log.begin() + 3));

    m_port.InvalidateHandles();
    closes = m_port.closes;
    EXPECT_TRUE(akrip::SetCdSpeed(cd->Handle(), 2000));
    EXPECT_EQ(1, m_port.closes - closes) << "an invalid handle is not closed, only the probe's";
    EXPECT_EQ(2000, unit.device->ReadSpeed());

    // Changed twice in a row: one retry only.
    cdbench::DriveConfig twice;
    std::string error;
    ASSERT_TRUE(twice.Parse("media-changed 2\n", error));
    unit.device.reset(new cdbench::MmcDevice(twice));
    unit.device->Insert(Image(first), false);
    EXPECT_FALSE(akrip::SetCdSpeed(cd->Handle(), 3000));
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError());
    EXPECT_EQ(aspi::kError, akrip::GetLastAspiStatus());
    cd->Close();
    cd->Release();
    devices->Release();
}

TEST_F(NoAspiManager, WithoutDrivesEveryCommandAnswersE3) {
    EXPECT_FALSE(akrip::LoadAspiManager());
    EXPECT_EQ(akrip::kErrNoManager, akrip::GetAkripError());
    EXPECT_EQ(akrip::kModeNone, akrip::AspiMode());
    EXPECT_EQ(0xE3u, akrip::GetAspiSupportInfo());
    aspi::ExecScsiCommand request = {};
    request.header.command = aspi::kExecScsiCommand;
    EXPECT_EQ(0xE3u, akrip::SendAspiCommand(&request));
    EXPECT_EQ(0xE3, request.header.status);
    akrip::CdDriveList list = {};
    list.capacity = 8;
    EXPECT_FALSE(akrip::EnumCdDrives(&list));
    EXPECT_EQ(akrip::kErrAspi, akrip::GetAkripError()) << "the status byte of E3h reads 0";
    akrip::UnloadAspiManager();

    akrip::CAudioCDDevices* devices = new akrip::CAudioCDDevices;
    EXPECT_EQ(akrip::kErrNoManager, devices->StartError());
    akrip::CAudioCD* cd = nullptr;
    EXPECT_EQ(E_FAIL, devices->GetCD(0, 0, 0, &cd));
    devices->Release();
}

TEST_F(NoAspiManager, AManagerWithoutItsEntryPointsIsRefused) {
    akrip::SetAspiLibraryNames("cdtest_aspi_nosend.dll", nullptr);
    EXPECT_FALSE(akrip::LoadAspiManager());
    EXPECT_EQ(akrip::kErrNoSendCommand, akrip::GetAkripError());
    akrip::SetAspiLibraryNames("cdtest_aspi_noinfo.dll", nullptr);
    EXPECT_FALSE(akrip::LoadAspiManager());
    EXPECT_EQ(akrip::kErrNoSupportInfo, akrip::GetAkripError());
    EXPECT_EQ(0xE3u, akrip::GetAspiSupportInfo());
    akrip::UnloadAspiManager();
}

} // namespace
