#include "AacTypes.h"

#include <string.h>

#include <new>

namespace dshowaac {

int SampleRateIndex(uint32_t rate) {
    static const uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < static_cast<int>(sizeof kRates / sizeof kRates[0]); ++i) {
        if (kRates[i] == rate)
            return i;
    }
    return -1;
}

HRESULT MakeAacType(WORD channels, DWORD rate, uint32_t bitRate, const uint8_t* config, size_t configSize,
                    AM_MEDIA_TYPE& type) {
    type = AM_MEDIA_TYPE{};
    if (configSize > 0xFFFF - sizeof(WAVEFORMATEX))
        return E_INVALIDARG;
    const size_t size = sizeof(WAVEFORMATEX) + configSize;
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!type.pbFormat)
        return E_OUTOFMEMORY;
    WAVEFORMATEX format = {};
    format.wFormatTag = kFormatTagRawAac;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = bitRate / 8;
    format.nBlockAlign = 1;
    format.wBitsPerSample = 16;
    format.cbSize = static_cast<WORD>(configSize);
    memcpy(type.pbFormat, &format, sizeof format);
    if (configSize)
        memcpy(type.pbFormat + sizeof format, config, configSize);
    type.cbFormat = static_cast<ULONG>(size);
    type.majortype = MEDIATYPE_Audio;
    type.subtype = kSubtypeRawAac;
    type.formattype = FORMAT_WaveFormatEx;
    type.bFixedSizeSamples = FALSE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = 0;
    return S_OK;
}

bool ParseAacType(const AM_MEDIA_TYPE& type, AacStreamInfo& info) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Audio) || !IsEqualGUID(type.subtype, kSubtypeRawAac) ||
        !IsEqualGUID(type.formattype, FORMAT_WaveFormatEx) || !type.pbFormat ||
        type.cbFormat < sizeof(WAVEFORMATEX))
        return false;
    WAVEFORMATEX format;
    memcpy(&format, type.pbFormat, sizeof format);
    // At least the two bytes of an AudioSpecificConfig.
    if (format.wFormatTag != kFormatTagRawAac || format.nChannels == 0 || format.nSamplesPerSec == 0 ||
        format.cbSize < 2 || type.cbFormat < sizeof(WAVEFORMATEX) + format.cbSize)
        return false;
    try {
        info.config.assign(type.pbFormat + sizeof format, type.pbFormat + sizeof format + format.cbSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    info.channels = format.nChannels;
    info.rate = format.nSamplesPerSec;
    info.bitRate = format.nAvgBytesPerSec * 8;
    return true;
}

} // namespace dshowaac
