#include "Normalizer.h"

#include "Trelvox.h"

#include <math.h>
#include <string.h>

#include <new>

namespace {

// Scales one sample offset from the zero line and keeps it within [low, high]. A gain that
// is not a number (a peak of 0 gives infinity, and 0 x infinity is not a number) leaves
// the zero line where it is.
int ScaleSample(int value, double gain, int low, int high) {
    if (value == 0)
        return 0;
    double scaled = trunc(value * gain);
    if (isnan(scaled))
        return 0;
    if (scaled < low)
        return low;
    if (scaled > high)
        return high;
    return static_cast<int>(scaled);
}

} // namespace

HRESULT Normalizer::Destroy() {
    delete this;
    return S_OK;
}

HRESULT Normalizer::Init(const WAVEFORMATEX* format) {
    if (!format || (format->wBitsPerSample != 16 && format->wBitsPerSample != 8) ||
        (format->nChannels != 1 && format->nChannels != 2))
        return E_INVALIDARG;
    memcpy(&m_format, format, sizeof(WAVEFORMATEX));
    m_initialised = true;
    return S_OK;
}

HRESULT Normalizer::Analyze(uint32_t bytes, const void* pcm) {
    if (!m_initialised)
        return E_FAIL;
    if (!pcm && bytes != 0)
        return E_INVALIDARG;
    int peak = static_cast<int>(m_peak);
    if (m_format.wBitsPerSample == 16) {
        const uint8_t* p = static_cast<const uint8_t*>(pcm);
        for (uint32_t i = 0; i + 1 < bytes; i += 2) {
            int s = static_cast<int16_t>(p[i] | (p[i + 1] << 8));
            int magnitude = s < 0 ? -s : s;
            if (magnitude > peak)
                peak = magnitude;
        }
    } else {
        const uint8_t* p = static_cast<const uint8_t*>(pcm);
        for (uint32_t i = 0; i < bytes; ++i) {
            int magnitude = p[i] < 128 ? 128 - p[i] : p[i] - 128;
            if (magnitude > peak)
                peak = magnitude;
        }
    }
    m_peak = peak;
    m_gain = ldexp(1.0, m_format.wBitsPerSample - 1) / m_peak;
    return S_OK;
}

HRESULT Normalizer::Process(uint32_t bytes, const void* in, void* out) {
    if (!m_initialised)
        return E_FAIL;
    if ((!in || !out) && bytes != 0)
        return E_INVALIDARG;
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    if (m_format.wBitsPerSample == 16) {
        for (uint32_t i = 0; i + 1 < bytes; i += 2) {
            int s = static_cast<int16_t>(src[i] | (src[i + 1] << 8));
            int v = ScaleSample(s, m_gain, -32768, 32767);
            dst[i] = static_cast<uint8_t>(v);
            dst[i + 1] = static_cast<uint8_t>(v >> 8);
        }
    } else {
        for (uint32_t i = 0; i < bytes; ++i)
            dst[i] = static_cast<uint8_t>(128 + ScaleSample(src[i] - 128, m_gain, -128, 127));
    }
    return S_OK;
}

HRESULT Normalizer::GetGain(double* gain) {
    if (!gain)
        return E_INVALIDARG;
    *gain = m_gain;
    return S_OK;
}

HRESULT Normalizer::SetGain(double gain) {
    m_gain = gain;
    return S_OK;
}

extern "C" HRESULT __cdecl CreateNormalizer(INormalizer** out) {
    if (!out)
        return E_INVALIDARG;
    *out = new (std::nothrow) Normalizer;
    return *out ? S_OK : E_OUTOFMEMORY;
}
