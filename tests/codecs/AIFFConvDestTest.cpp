#include "TestSupport.h"
#include "Trelvox.h"

#include <string.h>

namespace {

using txtest::RecordingCallback;

uint32_t BigEndian32(const std::string& bytes, size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t BigEndian16(const std::string& bytes, size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

std::string Hex(const std::string& bytes, size_t offset, size_t count) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < count; ++i) {
        snprintf(digits, sizeof(digits), i ? " %02x" : "%02x", static_cast<unsigned char>(bytes[offset + i]));
        text += digits;
    }
    return text;
}

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

class AIFFDest : public ::testing::Test {
protected:
    void SetUp() override {
        FormatRecord rec;
        ASSERT_EQ(ConvGetFormatByName(&rec, "AIFF"), S_OK);
        ASSERT_EQ(ConvCreateDest(&rec, &dest), S_OK);
        dest->SetErrorLog(&cb);
    }
    void TearDown() override {
        if (dest) {
            dest->SetErrorLog(nullptr);
            dest->Release();
        }
    }

    // Writes the blocks in order and returns the finished file's bytes.
    std::string WriteFile(const WAVEFORMATEX& format, std::initializer_list<std::string> blocks) {
        std::string path = temp / "out.aif";
        EXPECT_TRUE(dest->SetFileName(path.c_str()));
        EXPECT_TRUE(dest->SetFormat(&format));
        EXPECT_TRUE(dest->Open()) << cb.AllText();
        for (const std::string& block : blocks)
            EXPECT_TRUE(dest->Write(static_cast<uint32_t>(block.size()), block.data()));
        EXPECT_TRUE(dest->Close());
        return txtest::ReadFile(path);
    }

    txtest::TempDir temp;
    RecordingCallback cb;
    IConvertDestination* dest = nullptr;
};

} // namespace

TEST_F(AIFFDest, AFileWithoutSamplesHasTheFixedHeaderOnly) {
    std::string file = WriteFile(Pcm(2, 44100, 16), {});
    ASSERT_EQ(file.size(), 54u);
    EXPECT_EQ(file.substr(0, 4), "FORM");
    EXPECT_EQ(BigEndian32(file, 4), 46u);
    EXPECT_EQ(file.substr(8, 8), "AIFFCOMM");
    EXPECT_EQ(BigEndian32(file, 16), 18u);
    EXPECT_EQ(BigEndian16(file, 20), 2);
    EXPECT_EQ(BigEndian32(file, 22), 0u);
    EXPECT_EQ(BigEndian16(file, 26), 16);
    EXPECT_EQ(Hex(file, 28, 10), "40 0e ac 44 00 00 00 00 00 00");
    EXPECT_EQ(file.substr(38, 4), "SSND");
    EXPECT_EQ(BigEndian32(file, 42), 8u);
    EXPECT_EQ(BigEndian32(file, 46), 0u);
    EXPECT_EQ(BigEndian32(file, 50), 0u);
    EXPECT_TRUE(cb.lines.empty()) << cb.AllText();
}

TEST_F(AIFFDest, SampleRatesAreWrittenAsExtendedValues) {
    EXPECT_EQ(Hex(WriteFile(Pcm(1, 48000, 16), {}), 28, 10), "40 0e bb 80 00 00 00 00 00 00");
    cb.overwriteAnswer = true;
    EXPECT_EQ(Hex(WriteFile(Pcm(1, 22050, 16), {}), 28, 10), "40 0d ac 44 00 00 00 00 00 00");
    EXPECT_EQ(Hex(WriteFile(Pcm(1, 8000, 8), {}), 28, 10), "40 0b fa 00 00 00 00 00 00 00");
    EXPECT_EQ(Hex(WriteFile(Pcm(1, 1, 8), {}), 28, 10), "3f ff 80 00 00 00 00 00 00 00");
}

TEST_F(AIFFDest, SamplesBecomeBigEndianAndSigned) {
    // Two blocks: sizes and frame counts add up across Writes.
    std::string file = WriteFile(Pcm(2, 44100, 16),
                                 {std::string("\x34\x12\xff\x7f", 4), std::string("\x00\x80\x01\x00", 4)});
    ASSERT_EQ(file.size(), 62u);
    EXPECT_EQ(BigEndian32(file, 22), 2u);
    EXPECT_EQ(BigEndian32(file, 42), 16u);
    EXPECT_EQ(BigEndian32(file, 4), 54u);
    EXPECT_EQ(Hex(file, 54, 8), "12 34 7f ff 80 00 00 01");

    cb.overwriteAnswer = true;
    file = WriteFile(Pcm(1, 44100, 24), {std::string("\x56\x34\x12\x01\x02\x03", 6)});
    EXPECT_EQ(Hex(file, 54, 6), "12 34 56 03 02 01");
    EXPECT_EQ(BigEndian32(file, 22), 2u);
}

TEST_F(AIFFDest, OddSampleDataIsPaddedAsTheStandardAsks) {
    // 8-bit unsigned input: 128 is silence and becomes 0.
    std::string file = WriteFile(Pcm(1, 8000, 8), {std::string("\x80\x00\xff", 3)});
    ASSERT_EQ(file.size(), 58u);
    EXPECT_EQ(Hex(file, 54, 4), "00 80 7f 00");
    EXPECT_EQ(BigEndian32(file, 42), 11u); // the pad byte is not counted here...
    EXPECT_EQ(BigEndian32(file, 4), 50u);  // ...but is part of the FORM chunk
    EXPECT_EQ(BigEndian32(file, 22), 3u);
}

TEST_F(AIFFDest, FailuresAreReported) {
    WAVEFORMATEX format = Pcm(2, 44100, 16);
    ASSERT_TRUE(dest->SetFormat(&format));
    ASSERT_TRUE(dest->SetFileName((temp / "bad|name.aif").c_str()));
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(), std::vector<std::string>{"File cannot be opened for writing\n"});
    EXPECT_FALSE(dest->Write(4, "\0\0\0\0"));
    EXPECT_TRUE(dest->Close());

    uint32_t out = 0;
    EXPECT_TRUE(dest->EstimateSize(1000, &format, &out));
    EXPECT_EQ(out, 1000u);
    format.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(1000, &format, &out));
    char text[16];
    EXPECT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    EXPECT_STREQ(text, "None");
    char message[1024] = {};
    EXPECT_FALSE(dest->SetOption("bitrate", "128", message));
    GUID clsid;
    EXPECT_TRUE(dest->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_AIFFConvDest));
}
