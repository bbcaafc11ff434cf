#include "OggConvDest.h"
#include "TestSupport.h"

namespace {

using txtest::RecordingCallback;

std::string SettingsText(COggConvDest& dest) {
    char text[128] = {};
    EXPECT_TRUE(dest.GetSettingsText(text, sizeof(text)));
    return text;
}

bool Option(COggConvDest& dest, const char* name, const char* value) {
    char message[1024] = "untouched";
    bool applied = dest.SetOption(name, value, message);
    EXPECT_STREQ(message, "untouched") << name; // Ogg options never write a message
    return applied;
}

struct DestHolder {
    COggConvDest* dest = new COggConvDest;
    ~DestHolder() { dest->Release(); }
};

} // namespace

TEST(OggOptions, BitRatesSnapToTheTable) {
    EXPECT_EQ(trelvox::SnapOggBitrate(100), 96);
    EXPECT_EQ(trelvox::SnapOggBitrate(10), 48);
    EXPECT_EQ(trelvox::SnapOggBitrate(1000), 320);
    EXPECT_EQ(trelvox::SnapOggBitrate(128), 128);
    EXPECT_EQ(trelvox::SnapOggBitrate(-5), 48);
}

TEST(OggOptions, ValuesAreParsedAndClamped) {
    DestHolder holder;
    COggConvDest& dest = *holder.dest;
    EXPECT_EQ(SettingsText(dest), "VBR Quality 40%");

    EXPECT_TRUE(Option(dest, "quality", "150"));
    EXPECT_EQ(dest.Settings().quality, 100);
    EXPECT_TRUE(Option(dest, "quality", "-3"));
    EXPECT_EQ(dest.Settings().quality, 0);
    EXPECT_TRUE(Option(dest, "quality", "75abc")); // digits first, the rest ignored
    EXPECT_EQ(dest.Settings().quality, 75);
    EXPECT_TRUE(Option(dest, "quality", "abc")); // no digits: 0
    EXPECT_EQ(dest.Settings().quality, 0);

    // A number option without a value is refused and changes nothing.
    EXPECT_FALSE(Option(dest, "avg-bitrate", nullptr));
    EXPECT_FALSE(Option(dest, "avg-bitrate", ""));
    EXPECT_EQ(dest.Settings().avgBitrate, 96);
    EXPECT_TRUE(Option(dest, "avg-bitrate", "100"));
    EXPECT_EQ(dest.Settings().avgBitrate, 96);
    EXPECT_TRUE(Option(dest, "avg-bitrate", "130kbps"));
    EXPECT_EQ(dest.Settings().avgBitrate, 128);

    EXPECT_TRUE(Option(dest, "quality-based", "NO"));
    EXPECT_EQ(SettingsText(dest), "ABR 128 kbps");
    EXPECT_TRUE(Option(dest, "min-bitrate", "70"));
    EXPECT_TRUE(Option(dest, "max-bitrate", "999"));
    EXPECT_EQ(SettingsText(dest), "ABR 128 kbps; Min. 64 kbps; Max. 320 kbps");
    EXPECT_TRUE(Option(dest, "min-bitrate", "0"));
    EXPECT_EQ(dest.Settings().useMinBitrate, 0);
    EXPECT_EQ(SettingsText(dest), "ABR 128 kbps; Max. 320 kbps");
    EXPECT_TRUE(Option(dest, "quality-based", nullptr));
    EXPECT_EQ(dest.Settings().qualityMode, 1);

    EXPECT_FALSE(Option(dest, "bitrate", "128"));
    EXPECT_FALSE(Option(dest, nullptr, "1"));
}

TEST(OggDest, EstimatesOnlyInBitrateMode) {
    DestHolder holder;
    COggConvDest& dest = *holder.dest;
    WAVEFORMATEX cd = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    uint32_t out = 7;
    EXPECT_FALSE(dest.EstimateSize(176400, &cd, &out));
    Option(dest, "quality-based", "no");
    Option(dest, "avg-bitrate", "128");
    EXPECT_TRUE(dest.EstimateSize(176400, &cd, &out));
    EXPECT_EQ(out, 16000u);
    cd.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest.EstimateSize(176400, &cd, &out));
}

TEST(OggDest, RefusesSampleSizesItCannotEncode) {
    txtest::TempDir temp;
    RecordingCallback cb;
    DestHolder holder;
    COggConvDest& dest = *holder.dest;
    dest.SetErrorLog(&cb);
    WAVEFORMATEX wide = {WAVE_FORMAT_PCM, 2, 44100, 264600, 6, 24, 0};
    dest.SetFormat(&wide);
    dest.SetFileName((temp / "out.ogg").c_str());
    EXPECT_FALSE(dest.Open());
    EXPECT_EQ(cb.Errors(), std::vector<std::string>{"Source file must have either 8 or 16 bits/sample\n"});
    EXPECT_FALSE(txtest::FileExists(temp / "out.ogg"));

    // A rate the encoder has no setup for: nothing is left behind.
    cb.lines.clear();
    WAVEFORMATEX odd = {WAVE_FORMAT_PCM, 1, 1000000, 2000000, 2, 16, 0};
    dest.SetFormat(&odd);
    EXPECT_FALSE(dest.Open());
    ASSERT_EQ(cb.Errors().size(), 1u);
    EXPECT_EQ(cb.Errors()[0].rfind("Encoding setup failed (error -", 0), 0u) << cb.AllText();
    EXPECT_FALSE(txtest::FileExists(temp / "out.ogg"));
    EXPECT_TRUE(dest.Close());
    dest.SetErrorLog(nullptr);
}

TEST(OggDest, SurroundChannelsAreReorderedForVorbis) {
    // 5.1 in Wave order FL FR FC LFE BL BR; Vorbis wants FL FC FR BL BR LFE.
    const unsigned expected[6] = {0, 2, 1, 4, 5, 3};
    for (unsigned c = 0; c < 6; ++c)
        EXPECT_EQ(trelvox::WaveChannelForVorbis(6, c), expected[c]);
    EXPECT_EQ(trelvox::WaveChannelForVorbis(2, 1), 1u);
    EXPECT_EQ(trelvox::WaveChannelForVorbis(8, 7), 3u);
}
