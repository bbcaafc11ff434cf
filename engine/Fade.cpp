#include "Fade.h"

#include "Handles.h"

#include <math.h>

Fade::Fade(const WAVEFORMATEX& format, uint32_t ms) : m_format(format) {
    int bytes = MulDiv(static_cast<int>(format.nAvgBytesPerSec), static_cast<int>(ms), 1000);
    m_bytes = bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
    if (format.nBlockAlign > 1)
        m_bytes -= m_bytes % format.nBlockAlign;
}

void Fade::Ramp(const WAVEFORMATEX& format, uint8_t* pcm, uint32_t bytes, bool fadeOut) {
    if (format.wBitsPerSample == 16) {
        uint32_t count = bytes / 2;
        for (uint32_t i = 0; i < count; ++i) {
            double g = double(i) / count;
            if (fadeOut)
                g = 1.0 - g;
            int s = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
            int v = static_cast<int>(trunc(g * s));
            pcm[2 * i] = static_cast<uint8_t>(v);
            pcm[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
    } else if (format.wBitsPerSample == 8) {
        for (uint32_t i = 0; i < bytes; ++i) {
            double g = double(i) / bytes;
            if (fadeOut)
                g = 1.0 - g;
            pcm[i] = static_cast<uint8_t>(128 + static_cast<int>(trunc(g * (pcm[i] - 128))));
        }
    }
}

bool Fade::ApplyIn(FILE* file) const {
    return Apply(file, false);
}

bool Fade::ApplyOut(FILE* file) const {
    return Apply(file, true);
}

bool Fade::Apply(FILE* file, bool fadeOut) const {
    if (!file || m_bytes == 0)
        return false;
    trelvox::UniqueBytes buffer = trelvox::AllocateBytes(m_bytes);
    if (!buffer)
        return false;
    const long long remembered = _ftelli64(file);
    if (remembered < 0)
        return false;
    long long start = remembered;
    if (fadeOut) {
        if (_fseeki64(file, 0, SEEK_END) != 0)
            return false;
        start = _ftelli64(file) - m_bytes;
        if (start < 0) {
            _fseeki64(file, remembered, SEEK_SET);
            return false;
        }
    }
    if (_fseeki64(file, start, SEEK_SET) != 0 || fread(buffer.get(), 1, m_bytes, file) != m_bytes) {
        _fseeki64(file, remembered, SEEK_SET);
        return false;
    }
    Ramp(m_format, buffer.get(), m_bytes, fadeOut);
    bool written = _fseeki64(file, start, SEEK_SET) == 0 && fwrite(buffer.get(), 1, m_bytes, file) == m_bytes;
    _fseeki64(file, remembered, SEEK_SET);
    return written;
}
