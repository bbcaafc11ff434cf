#include "TestSupport.h"
#include "Trelvox.h"

#include <string.h>

namespace {

FormatRecord Row(const char* name) {
    FormatRecord rec = {};
    EXPECT_EQ(ConvGetFormatByName(&rec, name), S_OK) << name;
    return rec;
}

// The registry defaults' text for the row, checked against what a fresh destination says.
std::string Described(const char* name) {
    FormatRecord rec = Row(name);
    char text[256] = {}, fromDest[256] = {};
    EXPECT_EQ(ConvDefOutputSettingsString(text, sizeof(text), &rec), S_OK) << name;
    IConvertDestination* dest = nullptr;
    EXPECT_EQ(ConvCreateDest(&rec, &dest), S_OK) << name;
    if (dest) {
        EXPECT_TRUE(dest->GetSettingsText(fromDest, sizeof(fromDest)));
        dest->Release();
    }
    EXPECT_STREQ(text, fromDest) << name;
    return text;
}

} // namespace

TEST(OutputSettingsString, IsWhatAFreshDestinationSays) {
    InitTX(nullptr);
    PutProfileString("WAV", nullptr, nullptr);
    PutProfileString("MP3", nullptr, nullptr);
    std::string wave = Described("Wave");
    EXPECT_EQ(wave.substr(wave.size() < 16 ? 0 : wave.size() - 16), "; auto detection") << wave;
    EXPECT_EQ(Described("MP3"), "ABR 128 kbps");
    // A stored record: twelve words, CBR 192 kbps resampled to 32 kHz.
    const int32_t stored[12] = {0, 192, 64, 70, 5, 32000, 1, 0, 0, 0, 0, 0};
    ASSERT_TRUE(PutProfileBinary("MP3", "LAMESettings", stored, sizeof(stored)));
    EXPECT_EQ(Described("MP3"), "CBR 192 kbps; 32 kHz");
    PutProfileString("MP3", nullptr, nullptr);

    // Bounded by the size.
    FormatRecord rec = Row("Wave");
    char small[6];
    memset(small, '#', sizeof(small));
    ASSERT_EQ(ConvDefOutputSettingsString(small, 4, &rec), S_OK);
    EXPECT_EQ(std::string(small), wave.substr(0, 3));
    EXPECT_EQ(small[4], '#');
}

TEST(OutputSettingsString, OnlyFormatsWithDefaultsAnswer) {
    char text[64] = "untouched";
    for (const char* name : {"Ogg Vorbis", "AIFF", "MPEG", "FLAC"}) {
        FormatRecord rec = Row(name);
        EXPECT_EQ(ConvDefOutputSettingsString(text, sizeof(text), &rec), E_FAIL) << name;
    }
    EXPECT_EQ(ConvDefOutputSettingsString(nullptr, 10, nullptr), E_INVALIDARG);
}
