#include "Normalizer.h"

#include "Trelvox.h"

#include <math.h>
#include <string.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    m_table.reset(); // sized for the sample width
    m_tableReady = false;
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
        const uint32_t count = bytes / 2;
        int16_t low = 0;
        int16_t high = 0;
        uint32_t i = 0;
#ifdef __SSE2__
        // Eight samples at a time: the whole analysis pass costs about one instruction a sample.
        __m128i lows = _mm_setzero_si128();
        __m128i highs = _mm_setzero_si128();
        for (; i + 8 <= count; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
            lows = _mm_min_epi16(lows, v);
            highs = _mm_max_epi16(highs, v);
        }
        int16_t lowLanes[8];
        int16_t highLanes[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lowLanes), lows);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(highLanes), highs);
        for (int lane = 0; lane < 8; ++lane) {
            low = lowLanes[lane] < low ? lowLanes[lane] : low;
            high = highLanes[lane] > high ? highLanes[lane] : high;
        }
#endif
        for (; i < count; ++i) {
            int16_t s;
            memcpy(&s, p + 2 * i, sizeof s);
            low = s < low ? s : low;
            high = s > high ? s : high;
        }
        if (-low > peak)
            peak = -low;
        if (high > peak)
            peak = high;
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

bool Normalizer::PrepareTable() {
    if (m_tableReady && memcmp(&m_tableGain, &m_gain, sizeof m_gain) == 0)
        return true;
    const bool wide = m_format.wBitsPerSample == 16;
    const size_t entries = wide ? 65536 : 256;
    if (!m_table) {
        m_table.reset(new (std::nothrow) int16_t[entries]);
        if (!m_table)
            return false;
    }
    const int low = wide ? -32768 : -128;
    const int high = wide ? 32767 : 127;
    for (size_t i = 0; i < entries; ++i) {
        // Indexed by the sample's bits: two's complement for 16 bits, offset binary for 8.
        const int value = wide ? static_cast<int16_t>(i) : static_cast<int>(i) - 128;
        m_table[i] = static_cast<int16_t>(ScaleSample(value, m_gain, low, high));
    }
    m_tableGain = m_gain;
    m_tableReady = true;
    return true;
}

HRESULT Normalizer::Process(uint32_t bytes, const void* in, void* out) {
    if (!m_initialised)
        return E_FAIL;
    if ((!in || !out) && bytes != 0)
        return E_INVALIDARG;
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    // Every sample value maps to one result: a table of all of them costs about as much as
    // half a second of CD audio, once per gain, and turns the loop into lookups.
    const bool tabled = PrepareTable();
    const int16_t* table = m_table.get(); // a local: the stores below could alias the member
    if (m_format.wBitsPerSample == 16 && tabled) {
        const uint32_t count = bytes / 2;
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t s;
            memcpy(&s, src + 2 * i, sizeof s);
            memcpy(dst + 2 * i, &table[s], sizeof table[s]);
        }
    } else if (m_format.wBitsPerSample == 16) {
        const uint32_t count = bytes / 2;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t s;
            memcpy(&s, src + 2 * i, sizeof s);
            const int16_t v = static_cast<int16_t>(ScaleSample(s, m_gain, -32768, 32767));
            memcpy(dst + 2 * i, &v, sizeof v);
        }
    } else {
        for (uint32_t i = 0; i < bytes; ++i)
            dst[i] = static_cast<uint8_t>(
                128 + (tabled ? table[src[i]] : ScaleSample(src[i] - 128, m_gain, -128, 127)));
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
