#pragma once

#include "Handles.h"

#include <stdint.h>

// Estimates the tempo of 16-bit stereo 44.1 kHz PCM: a coarse loudness envelope is built
// while the audio streams past, then searched for the lag at which it repeats best, taken
// as one bar of four beats. One per conversion.
class TempoDetector {
public:
    static constexpr uint32_t kEnvelopeRate = 2756; // envelope values per second
    static constexpr uint32_t kMinBpm = 80;
    static constexpr uint32_t kMaxBpm = 160;

    // Sizes the envelope for a stream of lengthBytes; false when it cannot be allocated.
    bool Start(uint32_t lengthBytes);
    // One block of the stream, in order.
    void Feed(const void* pcm, uint32_t bytes);
    // Beats per minute, between 80 and 160; 0 without an envelope. Frees the envelope.
    double Estimate();

    // The envelope's difference from itself shifted by lag values.
    uint64_t Difference(uint32_t lag) const;

private:
    trelvox::UniqueBytes m_envelope;
    uint32_t m_envelopeCount = 0;
    uint32_t m_writePos = 0; // envelope index of the next block
};
