#include "TestSupport.h"
#include "Trelvox.h"

#include <string.h>

namespace {

FormatRecord Row(const char* name) {
    FormatRecord rec = {};
    EXPECT_EQ(ConvGetFormatByName(&rec, name), S_OK) << name;
    return rec;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(OutputSettingsString, DescribesTheWaveDefaults) {
    InitTX(nullptr);
    PutProfileString("WAV", nullptr, nullptr);
    FormatRecord wave = Row("Wave");
    char text[256] = {};
    ASSERT_EQ(ConvDefOutputSettingsString(text, sizeof(text), &wave), S_OK);
    EXPECT_TRUE(EndsWith(text, "; auto detection")) << text;
    std::string full = text;

    // The same text a fresh destination gives.
    IConvertDestination* dest = nullptr;
    ASSERT_EQ(ConvCreateDest(&wave, &dest), S_OK);
    char fromDest[256] = {};
    EXPECT_TRUE(dest->GetSettingsText(fromDest, sizeof(fromDest)));
    EXPECT_EQ(full, fromDest);
    dest->Release();

    // Bounded by the size.
    char small[6];
    memset(small, '#', sizeof(small));
    ASSERT_EQ(ConvDefOutputSettingsString(small, 4, &wave), S_OK);
    EXPECT_EQ(std::string(small), full.substr(0, 3));
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

TEST(OutputSettingsString, DescribesTheMP3Defaults) {
    InitTX(nullptr);
    PutProfileString("MP3", nullptr, nullptr);
    FormatRecord mp3 = Row("MP3");
    char text[64] = {};
    ASSERT_EQ(ConvDefOutputSettingsString(text, sizeof(text), &mp3), S_OK);
    EXPECT_STREQ(text, "ABR 128 kbps");

    // A stored record: twelve words, CBR 192 kbps resampled to 32 kHz.
    const int32_t stored[12] = {0, 192, 64, 70, 5, 32000, 1, 0, 0, 0, 0, 0};
    ASSERT_TRUE(PutProfileBinary("MP3", "LAMESettings", stored, sizeof(stored)));
    ASSERT_EQ(ConvDefOutputSettingsString(text, sizeof(text), &mp3), S_OK);
    EXPECT_STREQ(text, "CBR 192 kbps; 32 kHz");
    IConvertDestination* dest = nullptr;
    ASSERT_EQ(ConvCreateDest(&mp3, &dest), S_OK);
    char fromDest[64] = {};
    EXPECT_TRUE(dest->GetSettingsText(fromDest, sizeof(fromDest)));
    EXPECT_STREQ(fromDest, text);
    dest->Release();
    PutProfileString("MP3", nullptr, nullptr);
}
