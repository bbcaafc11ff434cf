#pragma once

#include "TrelvoxNormalizer.h"

// Peak normalization of 8-bit (unsigned, zero line 128) and 16-bit PCM in two passes:
// Analyze over the whole stream, then Process with the gain that leaves.
class Normalizer : public INormalizer {
public:
    HRESULT TX_THISCALL Destroy() override;
    HRESULT TX_THISCALL Init(const WAVEFORMATEX* format) override;
    HRESULT TX_THISCALL Analyze(uint32_t bytes, const void* pcm) override;
    HRESULT TX_THISCALL Process(uint32_t bytes, const void* in, void* out) override;
    HRESULT TX_THISCALL GetGain(double* gain) override;
    HRESULT TX_THISCALL SetGain(double gain) override;

    // Deleted only through Destroy.
    virtual ~Normalizer() = default;

private:
    WAVEFORMATEX m_format = {};
    double m_peak = 0.0; // largest sample magnitude, in sample units
    double m_gain = 0.0;
    bool m_initialised = false;
};
