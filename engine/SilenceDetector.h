#pragma once

#include "TrelvoxConvert.h"

// Measures the silence a PCM stream starts and ends with, block by block, so that the
// conversion driver can skip the leading bytes and cut the trailing ones. One per conversion.
class SilenceDetector {
public:
    // thresholdPercent: the loudest level still counted as silence, in percent of full
    // scale; clamped to 0..100.
    SilenceDetector(const WAVEFORMATEX& format, int thresholdPercent);

    // The "Settings" "SilenceDetector" value (default 5), clamped to 0..100.
    static int ThresholdSetting();

    // One block of whole frames, in stream order.
    void Feed(const void* pcm, uint32_t bytes);

    // Silent bytes at the start; the whole length for a stream that is silent throughout.
    uint32_t LeadingBytes() const { return m_leadingBytes; }
    // Silent bytes at the end of what has been fed so far.
    uint32_t TrailingBytes() const { return m_trailingBytes; }

private:
    bool IsSilentFrame(const uint8_t* frame) const;

    int m_thresholdPercent;
    WAVEFORMATEX m_format;
    int m_limit; // largest silent magnitude, in sample units
    uint32_t m_leadingBytes = 0;
    uint32_t m_trailingBytes = 0;
    bool m_inLeading = true;
};
