// The bench's drive model on its own: the answers and sense codes that the access-layer tests
// do not reach through the layer's fixed commands.
#include "DiscFixture.h"
#include "MmcDevice.h"
#include "TestSupport.h"

#include <string.h>

namespace {

using cdbench::CommandResult;
using cdbench::MmcDevice;

std::string SenseOf(const CommandResult& r) {
    char text[32];
    snprintf(text, sizeof(text), "%02X %X/%02X/%02X", r.status, r.sense.key, r.sense.asc, r.sense.ascq);
    return text;
}

class DriveModel : public ::testing::Test {
protected:
    // A data track (mode 1, raw) of 20 frames, then audio tracks of 30 and 10.
    void SetUp() override {
        cdtest::DiscSpec spec = cdtest::AudioDisc({20, 30, 10});
        spec.tracks[0].audio = false;
        m_disc.reset(new cdtest::DiscFixture(m_dir.path(), spec));
        auto image = std::make_shared<cdbench::DiscImage>();
        std::string error;
        ASSERT_TRUE(image->LoadCue(m_disc->CuePath(), error)) << error;
        m_image = image;
    }

    CommandResult Run(MmcDevice& drive, std::vector<uint8_t> cdb, std::vector<uint8_t>& data) {
        return drive.Execute(cdb.data(), cdb.size(), data.data(), static_cast<uint32_t>(data.size()));
    }

    txtest::TempDir m_dir;
    std::unique_ptr<cdtest::DiscFixture> m_disc;
    std::shared_ptr<cdbench::DiscImage> m_image;
};

TEST_F(DriveModel, ReadCdHonoursSectorTypeAndFieldBytes) {
    MmcDevice drive;
    drive.Insert(m_image, false);
    std::vector<uint8_t> data(3 * 2352 + 3 * 296);
    // Audio with C2 pointers and raw sub-channel: 2352 + 296 + 96 per frame.
    CommandResult r = Run(drive, {0xBE, 0x04, 0, 0, 0, 20, 0, 0, 2, 0x14, 0x01, 0}, data);
    EXPECT_EQ("00 0/00/00", SenseOf(r));
    EXPECT_EQ(2u * (2352 + 296 + 96), r.transferred);
    EXPECT_EQ(0, memcmp(data.data(), m_disc->Frames(20, 1).data(), 2352));
    // Data frames: sync and header only, then user data only.
    r = Run(drive, {0xBE, 0x08, 0, 0, 0, 3, 0, 0, 1, 0xA0, 0, 0}, data);
    EXPECT_EQ(16u, r.transferred);
    EXPECT_EQ(0, memcmp(data.data(), m_disc->Frames(3, 1).data(), 16));
    r = Run(drive, {0xBE, 0x08, 0, 0, 0, 3, 0, 0, 1, 0x10, 0, 0}, data);
    EXPECT_EQ(2048u, r.transferred);
    EXPECT_EQ(0, memcmp(data.data(), m_disc->Frames(3, 1).data() + 16, 2048));
    // The wrong sector type, ranges past the lead-out (one past the largest LBA too), READ(10)
    // of audio at 2048 bytes.
    EXPECT_EQ("02 5/64/00", SenseOf(Run(drive, {0xBE, 0x04, 0, 0, 0, 19, 0, 0, 2, 0x10, 0, 0}, data)));
    EXPECT_EQ("02 5/21/00", SenseOf(Run(drive, {0xBE, 0, 0, 0, 0, 59, 0, 0, 2, 0x10, 0, 0}, data)));
    EXPECT_EQ("02 5/21/00", SenseOf(Run(drive, {0xD8, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 0, 0}, data)));
    EXPECT_EQ("02 5/64/00", SenseOf(Run(drive, {0x28, 0, 0, 0, 0, 20, 0, 0, 1, 0}, data)));
    r = Run(drive, {0x03, 0, 0, 0, 18, 0}, data);
    EXPECT_EQ(18u, r.transferred);
    EXPECT_EQ(0x05, data[2]);
    EXPECT_EQ(0x64, data[12]);
    // A block length the drive does not know.
    std::vector<uint8_t> list = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x04, 0x00};
    EXPECT_EQ("02 5/26/00", SenseOf(Run(drive, {0x15, 0x10, 0, 0, 12, 0}, list)));
    EXPECT_EQ(2048u, drive.BlockLength());
}

TEST_F(DriveModel, TocInMsfModePagesAndEmptyDrive) {
    MmcDevice empty;
    std::vector<uint8_t> data(804);
    EXPECT_EQ("02 2/3A/00", SenseOf(Run(empty, {0x00, 0, 0, 0, 0, 0}, data)));
    EXPECT_EQ("02 2/3A/00", SenseOf(Run(empty, {0x43, 0, 0, 0, 0, 0, 0, 3, 0x24, 0}, data)));

    cdbench::DriveConfig config;
    std::string error;
    ASSERT_TRUE(config.Parse("speed 1234\nno-page 0E\nmedia-changed\n", error)) << error;
    EXPECT_FALSE(config.Parse("jitter\nbogus 1\n", error));
    EXPECT_EQ("line 2: cannot read \"bogus 1\"", error);
    MmcDevice drive(config);
    drive.Insert(m_image, false);
    EXPECT_EQ("02 6/28/00", SenseOf(Run(drive, {0x00, 0, 0, 0, 0, 0}, data)));
    CommandResult r = Run(drive, {0x43, 0x02, 0, 0, 0, 0, 0, 3, 0x24, 0}, data);
    ASSERT_EQ(4u + 4 * 8, r.transferred);
    EXPECT_EQ(0x14, data[5]) << "data track";
    EXPECT_EQ(std::vector<uint8_t>({0, 0, 2, 0}), std::vector<uint8_t>(&data[8], &data[12]))
        << "LBA 0 at 00:02:00";
    EXPECT_EQ(std::vector<uint8_t>({0, 0, 2, 20}), std::vector<uint8_t>(&data[16], &data[20]));
    EXPECT_EQ(0xAA, data[4 + 3 * 8 + 2]);
    EXPECT_EQ(std::vector<uint8_t>({0, 0, 2, 60}), std::vector<uint8_t>(&data[32], &data[36]));

    r = Run(drive, {0x5A, 0, 0x3F, 0, 0, 0, 0, 1, 0, 0, 0, 0}, data);
    ASSERT_EQ(8u + 12 + 8 + 22, r.transferred) << "pages 01h, 0Dh and 2Ah; 0Eh left out";
    EXPECT_EQ(r.transferred - 2, static_cast<uint32_t>(data[0] << 8 | data[1]));
    EXPECT_EQ(0x2A, data[28]);
    EXPECT_EQ(1234, data[36] << 8 | data[37]);
}

TEST_F(DriveModel, FaultsAndJitter) {
    cdbench::DriveConfig config;
    std::string error;
    ASSERT_TRUE(config.Parse("medium-error 25-26 2\njitter 3 7\n", error)) << error;
    MmcDevice drive(config);
    drive.Insert(m_image, false);
    std::vector<uint8_t> data(5 * 2352);
    std::vector<uint8_t> read = {0xD8, 0, 0, 0, 0, 24, 0, 0, 0, 5, 0, 0};
    EXPECT_EQ("02 3/11/00", SenseOf(Run(drive, read, data)));
    EXPECT_EQ("02 3/11/00", SenseOf(Run(drive, read, data)));
    EXPECT_EQ("00 0/00/00", SenseOf(Run(drive, read, data))) << "readable from the third attempt";

    // Each read lands within 3 samples of the frame, whole samples off.
    std::string stream = m_disc->Frames(29, 7);
    int shifts[7] = {};
    for (int i = 0; i < 20; ++i) {
        read[5] = 30;
        read[9] = 5;
        ASSERT_EQ("00 0/00/00", SenseOf(Run(drive, read, data)));
        int shift = -4;
        for (int s = -3; s <= 3; ++s)
            if (memcmp(data.data(), stream.data() + 2352 + 4 * s, data.size()) == 0)
                shift = s;
        ASSERT_NE(-4, shift) << "read " << i;
        ++shifts[shift + 3];
    }
    EXPECT_GE(std::count_if(shifts, shifts + 7, [](int n) { return n > 0; }), 3);
}

} // namespace
