// The checksums a rip log gives for a track's PCM: the CRC-32 of its bytes, and the
// AccurateRip checksums (versions 1 and 2) by which the track can be compared with other
// people's rips of the same pressing. A pure core without Windows headers.
#pragma once

#include <stddef.h>
#include <stdint.h>

class TrackChecksums {
public:
    // totalSamples: the track's length in stereo samples (588 a frame). AccurateRip leaves out
    // the first five frames of a disc's first track and the last five of its last track,
    // where drives with a read offset cannot reach.
    TrackChecksums(uint32_t totalSamples, bool firstTrack, bool lastTrack);

    // The track's PCM in order, in pieces of any size.
    void Add(const uint8_t* pcm, size_t bytes);

    uint32_t Crc32() const { return ~m_crc; }
    uint32_t AccurateRipV1() const { return m_v1; }
    uint32_t AccurateRipV2() const { return m_v2; }
    // Stereo samples added so far; the AccurateRip figures hold for the track once this is
    // the track's length.
    uint32_t Samples() const { return m_position; }

private:
    void AddSample(uint32_t sample);

    uint32_t m_checkFrom;
    uint32_t m_checkTo;
    uint32_t m_crc = 0xFFFFFFFFu;
    uint32_t m_v1 = 0;
    uint32_t m_v2 = 0;
    uint32_t m_position = 0; // samples added
    uint8_t m_partial[4] = {};
    size_t m_partialBytes = 0;
};
