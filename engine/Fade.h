#pragma once

#include "TrelvoxConvert.h"

#include <stdio.h>

// A linear fade over the first or last milliseconds of the PCM in a temporary file.
// Fades fail quietly: without memory, or on a file shorter than the fade, nothing changes.
class Fade {
public:
    Fade(const WAVEFORMATEX& format, uint32_t ms);

    // Bytes the fade covers: whole frames, at most the length of ms.
    uint32_t Bytes() const { return m_bytes; }

    // Ramps up from silence, starting at the file's current position.
    bool ApplyIn(FILE* file) const;
    // Ramps down to silence over the last Bytes() of the file.
    bool ApplyOut(FILE* file) const;

    // Scales sample i of the count samples in pcm by i / count (1 - i / count for fadeOut);
    // each channel's sample counts separately. Sizes other than 8 and 16 bits stay as they are.
    static void Ramp(const WAVEFORMATEX& format, uint8_t* pcm, uint32_t bytes, bool fadeOut);

private:
    bool Apply(FILE* file, bool fadeOut) const;

    WAVEFORMATEX m_format;
    uint32_t m_bytes;
};
