#include "TempoDetector.h"

namespace {

constexpr uint32_t kFramesPerValue = 44100 / TempoDetector::kEnvelopeRate; // 16
constexpr uint32_t kUnitBytes = kFramesPerValue * 4;                       // PCM bytes per value
constexpr uint32_t kStepSamples = kFramesPerValue * 2;
constexpr uint32_t kBarLags = TempoDetector::kEnvelopeRate * 240; // 60 s x 4 beats
constexpr uint32_t kCoarseStep = 50;
constexpr uint32_t kFineReach = 100;

} // namespace

bool TempoDetector::Start(uint32_t lengthBytes) {
    m_envelopeCount = lengthBytes / kUnitBytes;
    m_writePos = 0;
    m_envelope = trelvox::AllocateBytes(size_t(m_envelopeCount) + 1);
    if (!m_envelope) {
        m_envelopeCount = 0;
        return false;
    }
    for (uint32_t i = 0; i <= m_envelopeCount; ++i)
        m_envelope[i] = 0;
    return true;
}

void TempoDetector::Feed(const void* pcm, uint32_t bytes) {
    if (!m_envelope || !pcm)
        return;
    const uint8_t* p = static_cast<const uint8_t*>(pcm);
    const uint32_t samples = bytes / 2;
    for (uint32_t i = 0; i + 1 < samples; i += kStepSamples) {
        uint32_t index = i / kStepSamples + m_writePos;
        if (index >= m_envelopeCount)
            break;
        int left = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        int right = static_cast<int16_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
        int v = ((left < 0 ? -left : left) + (right < 0 ? -right : right)) / 2;
        // Two samples of -32768 reach 256, one past what a byte holds.
        int value = v / 128;
        m_envelope[index] = static_cast<uint8_t>(value > 255 ? 255 : value);
    }
    m_writePos += bytes / kUnitBytes;
}

uint64_t TempoDetector::Difference(uint32_t lag) const {
    uint64_t sum = 0;
    const uint8_t* e = m_envelope.get();
    for (uint32_t j = lag; j < m_envelopeCount; ++j) {
        int d = e[j] - e[j - lag];
        sum += static_cast<uint32_t>(d < 0 ? -d : d);
    }
    return sum;
}

double TempoDetector::Estimate() {
    if (!m_envelope)
        return 0.0;
    const uint32_t maxLag = kBarLags / kMinBpm;
    const uint32_t minLag = kBarLags / kMaxBpm;
    uint32_t best = minLag;
    uint64_t smallest = Difference(minLag);
    for (uint32_t lag = minLag + kCoarseStep; lag < maxLag; lag += kCoarseStep) {
        uint64_t d = Difference(lag);
        if (d < smallest) {
            smallest = d;
            best = lag;
        }
    }
    const uint32_t from = best > minLag + kFineReach ? best - kFineReach : minLag;
    const uint32_t to = best + kFineReach < maxLag ? best + kFineReach : maxLag;
    const uint32_t coarseBest = best;
    for (uint32_t lag = from; lag < to; ++lag) {
        if (lag == coarseBest)
            continue;
        uint64_t d = Difference(lag);
        if (d < smallest) {
            smallest = d;
            best = lag;
        }
    }
    m_envelope.reset();
    m_envelopeCount = 0;
    return double(kEnvelopeRate) * 4 * 60 / best;
}
