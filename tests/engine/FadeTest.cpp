#include "Fade.h"
#include "TempFile.h"
#include "TestSupport.h"

#include <vector>

namespace {

using txtest::Pcm;

// The driver's temporary file holding `samples` samples of 4000, positioned at byte `at`.
void Fill(TempFile& file, size_t samples, long at) {
    ASSERT_TRUE(file.Create("ana"));
    std::vector<int16_t> pcm(samples, 4000);
    fwrite(pcm.data(), 2, pcm.size(), file.get());
    fseek(file.get(), at, SEEK_SET);
}

// All the samples of the file; its position stays.
std::vector<int16_t> Samples(const TempFile& file) {
    fflush(file.get());
    std::string bytes = txtest::ReadFile(file.Path());
    return std::vector<int16_t>(reinterpret_cast<const int16_t*>(bytes.data()),
                                reinterpret_cast<const int16_t*>(bytes.data() + bytes.size()));
}

TEST(Fade, LengthIsWholeFramesOfTheRoundedByteCount) {
    EXPECT_EQ(Fade(Pcm(2, 44100, 16), 3).Bytes(), 528u); // MulDiv gives 529
    EXPECT_EQ(Fade(Pcm(2, 44100, 16), 0).Bytes(), 0u);
}

TEST(Fade, RampScalesEverySampleByItsOwnPosition) {
    // 16-bit: 4 samples get 0, 1/4, 1/2, 3/4 (fade in) or 1, 3/4, 1/2, 1/4 (fade out), truncated.
    std::vector<int16_t> up = {1000, -1000, 1001, -999}, down = up;
    Fade::Ramp(Pcm(2, 44100, 16), reinterpret_cast<uint8_t*>(up.data()), 8, false);
    Fade::Ramp(Pcm(2, 44100, 16), reinterpret_cast<uint8_t*>(down.data()), 8, true);
    EXPECT_EQ(up, (std::vector<int16_t>{0, -250, 500, -749}));
    EXPECT_EQ(down, (std::vector<int16_t>{1000, -750, 500, -249}));

    std::vector<uint8_t> eight = {255, 0, 200, 100};
    Fade::Ramp(Pcm(1, 44100, 8), eight.data(), 4, false);
    EXPECT_EQ(eight, (std::vector<uint8_t>{128, 96, 164, 107}));

    uint8_t wide[6] = {1, 2, 3, 4, 5, 6};
    Fade::Ramp(Pcm(1, 44100, 24), wide, 6, false);
    EXPECT_EQ(wide[0], 1);
}

TEST(Fade, InStartsAtTheCurrentPositionAndOutEndsTheFile) {
    TempFile file;
    Fill(file, 20, 8);
    Fade fade(Pcm(1, 1000, 16), 4); // 8 bytes, 4 samples
    EXPECT_TRUE(fade.ApplyIn(file.get()));
    EXPECT_EQ(ftell(file.get()), 8);
    EXPECT_TRUE(fade.ApplyOut(file.get()));
    EXPECT_EQ(ftell(file.get()), 8);
    std::vector<int16_t> expected(20, 4000);
    for (int i = 0; i < 4; ++i) {
        expected[4 + i] = int16_t(1000 * i);
        expected[16 + i] = int16_t(4000 - 1000 * i);
    }
    EXPECT_EQ(Samples(file), expected);
}

TEST(Fade, AFileShorterThanTheFadeStaysAsItIs) {
    TempFile file;
    Fill(file, 6, 4);
    Fade fade(Pcm(1, 1000, 16), 10); // 20 bytes
    EXPECT_FALSE(fade.ApplyOut(file.get()));
    EXPECT_FALSE(fade.ApplyIn(file.get()));
    EXPECT_EQ(ftell(file.get()), 4);
    EXPECT_EQ(Samples(file), std::vector<int16_t>(6, 4000));
}

} // namespace
