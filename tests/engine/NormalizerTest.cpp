// The exported normalizer, driven as a caller of the DLL drives it.
#include "Trelvox.h"
#include "TestSupport.h"

#include <math.h>

#include <vector>

namespace {

using txtest::Pcm;

class NormalizerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateNormalizer(&n), S_OK); }
    void TearDown() override { EXPECT_EQ(n->Destroy(), S_OK); }

    double Gain() {
        double gain = -1;
        EXPECT_EQ(n->GetGain(&gain), S_OK);
        return gain;
    }
    void Init(uint16_t channels, uint16_t bits) {
        WAVEFORMATEX wfx = Pcm(channels, 44100, bits);
        ASSERT_EQ(n->Init(&wfx), S_OK);
    }

    INormalizer* n = nullptr;
};

TEST_F(NormalizerTest, InitAcceptsOnly8And16BitMonoOrStereo) {
    EXPECT_EQ(CreateNormalizer(nullptr), E_INVALIDARG);
    for (WAVEFORMATEX wfx : {Pcm(2, 44100, 24), Pcm(6, 44100, 16)})
        EXPECT_EQ(n->Init(&wfx), E_INVALIDARG);
    EXPECT_EQ(n->Init(nullptr), E_INVALIDARG);

    // Until an Init succeeds, the passes refuse and leave the output alone.
    int16_t block[2] = {100, -100};
    int16_t out[2] = {7, 7};
    EXPECT_EQ(n->Analyze(sizeof(block), block), E_FAIL);
    EXPECT_EQ(n->Process(sizeof(block), block, out), E_FAIL);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(Gain(), 0.0);
    Init(1, 8);
}

// The gain measured from a 16-bit peak, and its saturation, are checked through the driver
// (AudioConvertTest).
TEST_F(NormalizerTest, ACallersGainSaturatesAndTruncatesTowardZero) {
    Init(2, 16);
    ASSERT_EQ(n->SetGain(2.5), S_OK);
    std::vector<int16_t> in = {20000, -20000, 3, -3}, out(4);
    ASSERT_EQ(n->Process(8, in.data(), out.data()), S_OK);
    EXPECT_EQ(out, (std::vector<int16_t>{32767, -32768, 7, -7}));
    // A new gain applies from the next block on.
    ASSERT_EQ(n->SetGain(0.5), S_OK);
    ASSERT_EQ(n->Process(8, in.data(), out.data()), S_OK);
    EXPECT_EQ(out, (std::vector<int16_t>{10000, -10000, 1, -1}));
}

TEST_F(NormalizerTest, EightBitSamplesScaleAroundTheirZeroLine) {
    Init(1, 8);
    std::vector<uint8_t> block = {128, 96, 192, 64, 129, 127}, out(6);
    ASSERT_EQ(n->Analyze(6, block.data()), S_OK);
    EXPECT_EQ(Gain(), 2.0);
    ASSERT_EQ(n->Process(6, block.data(), out.data()), S_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{128, 64, 255, 0, 130, 126}));
}

TEST_F(NormalizerTest, PeakAccumulatesAcrossBlocksAndInits) {
    Init(2, 16);
    int16_t loud[2] = {-32768, 5}, quiet[2] = {1000, -1000};
    ASSERT_EQ(n->Analyze(4, loud), S_OK);
    EXPECT_EQ(Gain(), 1.0);
    Init(2, 16); // keeps the measured peak
    ASSERT_EQ(n->SetGain(3.0), S_OK);
    ASSERT_EQ(n->Analyze(4, quiet), S_OK); // recomputes: a gain set before Analyze is lost
    EXPECT_EQ(Gain(), 1.0);
}

TEST_F(NormalizerTest, AStreamOnTheZeroLineStaysOnIt) {
    Init(2, 16);
    int16_t zeros[4] = {}, out[4] = {9, 9, 9, 9};
    ASSERT_EQ(n->Analyze(sizeof(zeros), zeros), S_OK);
    EXPECT_FALSE(std::isfinite(Gain()));
    ASSERT_EQ(n->Process(sizeof(zeros), zeros, out), S_OK);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 0);

    Init(1, 8);
    uint8_t line[3] = {128, 128, 128}, out8[3] = {};
    ASSERT_EQ(n->Process(3, line, out8), S_OK);
    EXPECT_EQ(out8[1], 128);
}

} // namespace
