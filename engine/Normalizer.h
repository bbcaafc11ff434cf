#pragma once

#include "TrelvoxNormalizer.h"

#include <memory>

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
    // Fills m_table for m_gain unless it holds that gain already; false without memory.
    bool PrepareTable();

    WAVEFORMATEX m_format = {};
    double m_peak = 0.0; // largest sample magnitude, in sample units
    double m_gain = 0.0;
    bool m_initialised = false;
    // The result for every sample value at m_tableGain, indexed by the sample's bits.
    std::unique_ptr<int16_t[]> m_table;
    double m_tableGain = 0.0;
    bool m_tableReady = false;
};
