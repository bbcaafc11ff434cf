#include "SilenceDetector.h"
#include "TestSupport.h"

#include <vector>

namespace {

using txtest::Pcm;

// Feeds interleaved 16-bit samples.
void Feed(SilenceDetector& d, std::vector<int16_t> block) {
    d.Feed(block.data(), uint32_t(block.size() * 2));
}

TEST(SilenceDetector, LeadingSilenceSpansBlocksUntilTheFirstLoudFrame) {
    SilenceDetector d(Pcm(2, 44100, 16), 5); // limit MulDiv(32767, 5, 100) = 1638
    Feed(d, {0, 0, 1638, -1638});
    EXPECT_EQ(d.LeadingBytes(), 8u);
    EXPECT_EQ(d.TrailingBytes(), 0u); // silent blocks inside the leading silence do not count
    // One loud sample makes the frame loud; the silence after it starts the trailing count.
    Feed(d, {5, 5, 0, 1639, 0, 0, 3, 3});
    EXPECT_EQ(d.LeadingBytes(), 12u);
    EXPECT_EQ(d.TrailingBytes(), 8u);
    Feed(d, {0, 0, 0, 0});
    EXPECT_EQ(d.TrailingBytes(), 16u);
    Feed(d, {-2000, 0, 0, 0});
    EXPECT_EQ(d.LeadingBytes(), 12u);
    EXPECT_EQ(d.TrailingBytes(), 4u);

    SilenceDetector loudFirst(Pcm(2, 44100, 16), 5);
    Feed(loudFirst, {9000, 0, 0, 0});
    EXPECT_EQ(loudFirst.LeadingBytes(), 0u);
    EXPECT_EQ(loudFirst.TrailingBytes(), 4u);
}

TEST(SilenceDetector, ThresholdBounds) {
    SilenceDetector exact(Pcm(1, 44100, 16), 0); // only exact zeros
    Feed(exact, {0, 0, 1, 0});
    EXPECT_EQ(exact.LeadingBytes(), 4u);
    EXPECT_EQ(exact.TrailingBytes(), 2u);

    SilenceDetector everything(Pcm(1, 44100, 16), 250); // clamped to 100: every 16-bit sample
    Feed(everything, {-32768, 32767, 0});
    EXPECT_EQ(everything.LeadingBytes(), 6u);
    EXPECT_EQ(everything.TrailingBytes(), 0u);
    SilenceDetector almost(Pcm(1, 44100, 16), 99); // limit 32439
    Feed(almost, {32439, -32439, -32440});
    EXPECT_EQ(almost.LeadingBytes(), 4u);

    // 8-bit: the limit is MulDiv(127, 10, 100) = 13 around the zero line 128.
    SilenceDetector eight(Pcm(1, 44100, 8), 10);
    std::vector<uint8_t> bytes = {128, 141, 115, 142, 128, 114, 128};
    eight.Feed(bytes.data(), uint32_t(bytes.size()));
    EXPECT_EQ(eight.LeadingBytes(), 3u);
    EXPECT_EQ(eight.TrailingBytes(), 1u);

    // Other sample sizes are never silent.
    SilenceDetector wide(Pcm(1, 44100, 24), 100);
    uint8_t zeros[6] = {};
    wide.Feed(zeros, 6);
    EXPECT_EQ(wide.LeadingBytes(), 0u);
}

} // namespace
