#include "TrackChecksums.h"

namespace {

constexpr uint32_t kSkippedSamples = 5 * 588;

struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
    }
};

const CrcTable kCrcTable;

} // namespace

TrackChecksums::TrackChecksums(uint32_t totalSamples, bool firstTrack, bool lastTrack)
    : m_checkFrom(firstTrack ? kSkippedSamples : 1),
      m_checkTo(lastTrack ? (totalSamples > kSkippedSamples ? totalSamples - kSkippedSamples : 0)
                          : totalSamples) {}

void TrackChecksums::AddSample(uint32_t sample) {
    // The multiplier is the sample's 1-based position in the track.
    uint32_t multiplier = ++m_position;
    if (multiplier < m_checkFrom || multiplier > m_checkTo)
        return;
    m_v1 += multiplier * sample;
    uint64_t product = static_cast<uint64_t>(multiplier) * sample;
    m_v2 += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
}

void TrackChecksums::Add(const uint8_t* pcm, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
        m_crc = kCrcTable.entries[(m_crc ^ pcm[i]) & 0xFF] ^ (m_crc >> 8);
    // Samples are little-endian 32-bit words: left channel low, right channel high.
    while (bytes > 0 && m_partialBytes > 0) {
        m_partial[m_partialBytes++] = *pcm++;
        --bytes;
        if (m_partialBytes == 4) {
            AddSample(m_partial[0] | m_partial[1] << 8 | m_partial[2] << 16 |
                      static_cast<uint32_t>(m_partial[3]) << 24);
            m_partialBytes = 0;
        }
    }
    for (; bytes >= 4; bytes -= 4, pcm += 4)
        AddSample(pcm[0] | pcm[1] << 8 | pcm[2] << 16 | static_cast<uint32_t>(pcm[3]) << 24);
    while (bytes-- > 0)
        m_partial[m_partialBytes++] = *pcm++;
}
