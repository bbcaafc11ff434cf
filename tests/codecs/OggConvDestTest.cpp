#include "OggConvDest.h"
#include "TestSupport.h"

namespace {

using txtest::RecordingCallback;

class OggDest : public ::testing::Test {
protected:
    ~OggDest() override { dest->Release(); }

    std::string SettingsText() {
        char text[128] = {};
        EXPECT_TRUE(dest->GetSettingsText(text, sizeof(text)));
        return text;
    }
    bool Option(const char* name, const char* value) {
        char message[1024] = "untouched";
        bool applied = dest->SetOption(name, value, message);
        EXPECT_STREQ(message, "untouched") << name; // Ogg options never write a message
        return applied;
    }

    COggConvDest* dest = new COggConvDest;
};

} // namespace

TEST_F(OggDest, OptionsAreParsedClampedAndSnappedToTheBitrateTable) {
    for (auto c : {std::pair<int, int>{100, 96}, {10, 48}, {-5, 48}, {128, 128}, {1000, 320}})
        EXPECT_EQ(trelvox::SnapOggBitrate(c.first), c.second) << c.first;

    EXPECT_EQ(SettingsText(), "VBR Quality 40%");
    const struct {
        const char* value;
        int quality;
    } qualities[] = {{"150", 100}, {"-3", 0}, {"75abc", 75}, {"abc", 0}, {"60", 60}, {"", 0}};
    for (const auto& q : qualities) {
        EXPECT_TRUE(Option("quality", q.value));
        EXPECT_EQ(dest->Settings().quality, q.quality) << q.value;
    }
    // A number option without a value is refused and changes nothing; an empty one reads as 0.
    EXPECT_FALSE(Option("avg-bitrate", nullptr));
    EXPECT_EQ(dest->Settings().avgBitrate, 96);
    EXPECT_TRUE(Option("avg-bitrate", ""));
    EXPECT_EQ(dest->Settings().avgBitrate, 48);
    EXPECT_TRUE(Option("avg-bitrate", "130kbps"));
    EXPECT_EQ(dest->Settings().avgBitrate, 128);

    EXPECT_TRUE(Option("quality-based", "NO"));
    EXPECT_TRUE(Option("min-bitrate", "70"));
    EXPECT_TRUE(Option("max-bitrate", "999"));
    EXPECT_EQ(SettingsText(), "ABR 128 kbps; Min. 64 kbps; Max. 320 kbps");
    EXPECT_TRUE(Option("min-bitrate", "")); // no digits: 0, the minimum off
    EXPECT_EQ(SettingsText(), "ABR 128 kbps; Max. 320 kbps");
    EXPECT_TRUE(Option("max-bitrate", "0"));
    EXPECT_EQ(SettingsText(), "ABR 128 kbps");
    EXPECT_TRUE(Option("quality-based", nullptr));
    EXPECT_EQ(dest->Settings().qualityMode, 1);
    EXPECT_FALSE(Option("bitrate", "128"));
    EXPECT_FALSE(Option(nullptr, "1"));
}

TEST_F(OggDest, EstimatesOnlyInBitrateMode) {
    WAVEFORMATEX cd = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    uint32_t out = 7;
    EXPECT_FALSE(dest->EstimateSize(176400, &cd, &out));
    Option("quality-based", "no");
    Option("avg-bitrate", "128");
    EXPECT_TRUE(dest->EstimateSize(176400, &cd, &out));
    EXPECT_EQ(out, 16000u);
    cd.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(176400, &cd, &out));
}

TEST_F(OggDest, RefusesFormatsItCannotEncodeAndLeavesNoFile) {
    txtest::TempDir temp;
    RecordingCallback cb;
    dest->SetErrorLog(&cb);
    WAVEFORMATEX wide = {WAVE_FORMAT_PCM, 2, 44100, 264600, 6, 24, 0};
    dest->SetFormat(&wide);
    dest->SetFileName((temp / "out.ogg").c_str());
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(), "Source file must have either 8 or 16 bits/sample\n");
    EXPECT_FALSE(txtest::FileExists(temp / "out.ogg"));

    // A rate the encoder has no setup for.
    cb.lines.clear();
    WAVEFORMATEX odd = {WAVE_FORMAT_PCM, 1, 1000000, 2000000, 2, 16, 0};
    dest->SetFormat(&odd);
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors().rfind("Encoding setup failed (error -", 0), 0u) << cb.AllText();
    EXPECT_EQ(cb.lines.size(), 1u);
    EXPECT_FALSE(txtest::FileExists(temp / "out.ogg"));
    EXPECT_TRUE(dest->Close());
    dest->SetErrorLog(nullptr);
}

TEST(OggChannels, SurroundIsReorderedForVorbis) {
    // 5.1 in Wave order FL FR FC LFE BL BR; Vorbis wants FL FC FR BL BR LFE.
    const unsigned expected[6] = {0, 2, 1, 4, 5, 3};
    for (unsigned c = 0; c < 6; ++c)
        EXPECT_EQ(trelvox::WaveChannelForVorbis(6, c), expected[c]) << c;
    EXPECT_EQ(trelvox::WaveChannelForVorbis(2, 1), 1u);
}
