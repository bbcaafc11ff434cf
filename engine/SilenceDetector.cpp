#include "SilenceDetector.h"

#include "SettingsStore.h"

namespace {

int ClampPercent(int percent) {
    return percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

} // namespace

SilenceDetector::SilenceDetector(const WAVEFORMATEX& format, int thresholdPercent)
    : m_thresholdPercent(ClampPercent(thresholdPercent)), m_format(format) {
    int fullScale = m_format.wBitsPerSample == 8 ? 127 : 32767;
    m_limit = MulDiv(fullScale, m_thresholdPercent, 100);
}

int SilenceDetector::ThresholdSetting() {
    return ClampPercent(trelvox::ReadSettingInt("Settings", "SilenceDetector", 5));
}

// Magnitudes are capped at full scale (32767, 127), so that the most negative sample, one
// beyond it, is still silence at a threshold of 100 percent.
bool SilenceDetector::IsSilentFrame(const uint8_t* frame) const {
    if (m_format.wBitsPerSample == 16) {
        for (uint32_t i = 0; i + 1 < m_format.nBlockAlign; i += 2) {
            int s = static_cast<int16_t>(frame[i] | (frame[i + 1] << 8));
            if ((s < -32767 ? 32767 : s < 0 ? -s : s) > m_limit)
                return false;
        }
        return true;
    }
    if (m_format.wBitsPerSample == 8) {
        for (uint32_t i = 0; i < m_format.nBlockAlign; ++i) {
            int s = frame[i] - 128;
            if ((s < -127 ? 127 : s < 0 ? -s : s) > m_limit)
                return false;
        }
        return true;
    }
    return false;
}

void SilenceDetector::Feed(const void* pcm, uint32_t bytes) {
    const uint32_t align = m_format.nBlockAlign;
    if (!pcm || bytes == 0 || align == 0)
        return;
    const uint8_t* data = static_cast<const uint8_t*>(pcm);
    const uint32_t frames = bytes / align;

    if (m_inLeading) {
        uint32_t silent = 0;
        while (silent < frames && IsSilentFrame(data + silent * align))
            ++silent;
        uint32_t count = silent == frames ? bytes : silent * align;
        m_leadingBytes += count;
        if (count < bytes)
            m_inLeading = false;
        if (m_inLeading)
            return;
    }

    uint32_t silentAtEnd = 0;
    while (silentAtEnd < frames && IsSilentFrame(data + (frames - 1 - silentAtEnd) * align))
        ++silentAtEnd;
    if (silentAtEnd == frames)
        m_trailingBytes += bytes;
    else
        m_trailingBytes = silentAtEnd * align;
}
