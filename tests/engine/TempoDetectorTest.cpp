#include "TempoDetector.h"
#include "TestSupport.h"

#include <math.h>

#include <vector>

namespace {

// 16-bit stereo 44.1 kHz clicks: a 1 kHz square burst decaying over 50 ms on every beat,
// the first beat of each four-beat bar louder when accented.
std::vector<int16_t> ClickTrack(double bpm, double seconds, bool accent) {
    const size_t frames = size_t(seconds * 44100);
    std::vector<int16_t> pcm(frames * 2, 0);
    const double beat = 44100 * 60.0 / bpm;
    for (int k = 0; k * beat < frames; ++k) {
        size_t start = size_t(lround(k * beat));
        double level = accent && k % 4 == 0 ? 30000 : 9000;
        for (size_t i = 0; i < 2205 && start + i < frames; ++i) {
            double a = level * (1.0 - i / 2205.0);
            pcm[2 * (start + i)] = pcm[2 * (start + i) + 1] = int16_t((i / 22) % 2 ? -a : a);
        }
    }
    return pcm;
}

double Estimate(const std::vector<int16_t>& pcm) {
    TempoDetector detector;
    uint32_t bytes = uint32_t(pcm.size() * 2);
    EXPECT_TRUE(detector.Start(bytes));
    const uint8_t* p = reinterpret_cast<const uint8_t*>(pcm.data());
    for (uint32_t at = 0; at < bytes; at += 65536)
        detector.Feed(p + at, std::min<uint32_t>(65536, bytes - at));
    return detector.Estimate();
}

// How far the estimate's bar is from the true bar of `bpm`, in envelope values: the detector
// counts 2756 values a second where one value really spans 16 frames.
double LagError(double tempo, double bpm) {
    return fabs(2756.0 * 240 / tempo - 44100.0 / 16 * 240 / bpm);
}

TEST(TempoDetector, BarsGiveTheirTempoWithinOneLagStep) {
    for (double bpm : {90.0, 120.0, 150.0}) {
        double tempo = Estimate(ClickTrack(bpm, 24, true));
        EXPECT_LE(LagError(tempo, bpm), 1.0) << bpm << " BPM gave " << tempo;
    }
    // Without accents, at 120 BPM three beats (1.5 s) already repeat: the search starts there.
    double tempo = Estimate(ClickTrack(120, 24, false));
    EXPECT_LE(LagError(tempo, 160), 1.0) << tempo;
}

TEST(TempoDetector, EstimatesStayWithin80And160) {
    // The slowest bar searched is one lag short of 80 BPM (8268.75 values per bar), so an
    // 80 BPM track shows its half bar; one a little faster is found whole.
    EXPECT_NEAR(Estimate(ClickTrack(81, 30, true)), 81.0, 0.05);
    EXPECT_NEAR(Estimate(ClickTrack(80, 30, true)), 160.0, 0.05);
    EXPECT_NEAR(Estimate(ClickTrack(160, 24, true)), 160.0, 0.05);
    for (double bpm : {60.0, 200.0}) {
        double tempo = Estimate(ClickTrack(bpm, 24, true));
        EXPECT_TRUE(tempo >= 80.0 && tempo <= 160.0) << bpm << " BPM gave " << tempo;
    }
}

TEST(TempoDetector, EnvelopeEdges) {
    TempoDetector detector;
    EXPECT_EQ(detector.Estimate(), 0.0);
    ASSERT_TRUE(detector.Start(64 * 10000));
    EXPECT_EQ(detector.Difference(20000), 0u); // lags past the envelope add nothing
    EXPECT_GT(detector.Estimate(), 0.0);
    EXPECT_EQ(detector.Estimate(), 0.0); // the first estimate freed the envelope

    // Two -32768 samples would make 256; the value holds 255 and still reads as loud.
    ASSERT_TRUE(detector.Start(128));
    std::vector<int16_t> block(64, 0);
    block[0] = block[1] = -32768;
    block[32] = block[33] = 128;
    detector.Feed(block.data(), 128);
    EXPECT_EQ(detector.Difference(1), 254u);
}

} // namespace
