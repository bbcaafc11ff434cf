#include "TestSupport.h"
#include "Trelvox.h"

#include <string.h>

namespace {

using txtest::Pcm;
using txtest::RecordingCallback;

// The bytes as lower-case hex pairs separated by spaces.
std::string Hex(const std::string& bytes, size_t offset, size_t count) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < count && offset + i < bytes.size(); ++i) {
        snprintf(digits, sizeof(digits), i ? " %02x" : "%02x", static_cast<unsigned char>(bytes[offset + i]));
        text += digits;
    }
    return text;
}

class AIFFDest : public ::testing::Test {
protected:
    void SetUp() override {
        FormatRecord rec;
        ASSERT_EQ(ConvGetFormatByName(&rec, "AIFF"), S_OK);
        ASSERT_EQ(ConvCreateDest(&rec, &dest), S_OK);
        dest->SetErrorLog(&cb);
        cb.overwriteAnswer = true;
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

// The samples of written files are checked by sox (check_aiff_with_sox.py): bit-exact for 8,
// 16 and 24 bits, mono and stereo, in blocks of changing sizes.
TEST_F(AIFFDest, HeaderAndThePadByteOfOddSampleData) {
    // FORM (size), AIFF, COMM (18: channels, frames, bits, 80-bit rate), SSND (size, offset, block).
    std::string file = WriteFile(Pcm(2, 44100, 16), {});
    EXPECT_EQ(file, std::string("FORM\0\0\0\x2e"
                                "AIFFCOMM\0\0\0\x12\0\x02\0\0\0\0\0\x10\x40\x0e\xac\x44\0\0\0\0\0\0"
                                "SSND\0\0\0\x08\0\0\0\0\0\0\0\0",
                                54));
    EXPECT_TRUE(cb.lines.empty()) << cb.AllText();

    // 8-bit unsigned input in two Writes: 128 is silence and becomes 0. sox takes the length
    // from SSND, so the frame count in COMM is checked here.
    file = WriteFile(Pcm(1, 8000, 8), {std::string("\x80", 1), std::string("\x00\xff", 2)});
    EXPECT_EQ(Hex(file, 54, 5), "00 80 7f 00");
    EXPECT_EQ(Hex(file, 22, 4), "00 00 00 03");
    EXPECT_EQ(Hex(file, 42, 4), "00 00 00 0b"); // the pad byte is not counted here...
    EXPECT_EQ(Hex(file, 4, 4), "00 00 00 32");  // ...but is part of the FORM chunk
}

TEST_F(AIFFDest, SampleRatesAreWrittenAsExtendedValues) {
    const struct {
        DWORD rate;
        const char* extended;
    } cases[] = {{48000, "40 0e bb 80 00 00 00 00 00 00"},
                 {22050, "40 0d ac 44 00 00 00 00 00 00"},
                 {1, "3f ff 80 00 00 00 00 00 00 00"}};
    for (const auto& c : cases)
        EXPECT_EQ(Hex(WriteFile(Pcm(1, c.rate, 16), {}), 28, 10), c.extended) << c.rate;
}

TEST_F(AIFFDest, FailuresAreReported) {
    WAVEFORMATEX format = Pcm(2, 44100, 16);
    ASSERT_TRUE(dest->SetFormat(&format));
    ASSERT_TRUE(dest->SetFileName((temp / "bad|name.aif").c_str()));
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(cb.Errors(), "File cannot be opened for writing\n");
    EXPECT_FALSE(dest->Write(4, "\0\0\0\0"));
    EXPECT_TRUE(dest->Close());

    uint32_t out = 0;
    EXPECT_TRUE(dest->EstimateSize(1000, &format, &out));
    EXPECT_EQ(out, 1000u);
    format.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(1000, &format, &out));
}
