// The normalizer: measures the peak of a PCM stream, then scales it to full scale.
#pragma once

#include "TrelvoxConvert.h"

#ifndef __cplusplus
typedef struct INormalizer INormalizer;
typedef struct INormalizerVtbl {
    HRESULT(TX_CMETHOD* Destroy)(TX_CTHIS(INormalizer));
    HRESULT(TX_CMETHOD* Init)(TX_CTHIS_(INormalizer) const WAVEFORMATEX* format);
    HRESULT(TX_CMETHOD* Analyze)(TX_CTHIS_(INormalizer) uint32_t bytes, const void* pcm);
    HRESULT(TX_CMETHOD* Process)(TX_CTHIS_(INormalizer) uint32_t bytes, const void* in, void* out);
    HRESULT(TX_CMETHOD* GetGain)(TX_CTHIS_(INormalizer) double* gain);
    HRESULT(TX_CMETHOD* SetGain)(TX_CTHIS_(INormalizer) double gain);
} INormalizerVtbl;
struct INormalizer {
    const INormalizerVtbl* lpVtbl;
};
#else

// A plain object, not reference counted: whoever created it ends it with Destroy.
// Every operation returns an HRESULT; Destroy takes the place of a destructor, which an
// exported interface must not declare (MSVC and GCC give destructors different slots).
class INormalizer {
public:
    // Deletes the object; it must not be used afterwards.
    virtual HRESULT TX_THISCALL Destroy() = 0;
    // 8- or 16-bit PCM, mono or stereo. A second Init keeps the peak measured so far.
    virtual HRESULT TX_THISCALL Init(const WAVEFORMATEX* format) = 0;
    // Raises the peak from one block and recomputes the gain from it.
    virtual HRESULT TX_THISCALL Analyze(uint32_t bytes, const void* pcm) = 0;
    // Writes the scaled block to out (which may be in), saturating at the sample range.
    virtual HRESULT TX_THISCALL Process(uint32_t bytes, const void* in, void* out) = 0;
    virtual HRESULT TX_THISCALL GetGain(double* gain) = 0;
    virtual HRESULT TX_THISCALL SetGain(double gain) = 0;

protected:
    ~INormalizer() = default;
};
#endif
