#include "MyBaseRenderer.h"

#include "DirectShowConvSource.h"

#include <string.h>

CMyBaseRenderer::CMyBaseRenderer(CDirectShowConvSource* source)
    : CBaseRenderer(CLSID_DirectShowConvSource), m_source(source) {}

void CMyBaseRenderer::Detach() {
    std::lock_guard<std::mutex> hold(m_sourceLock);
    m_source = nullptr;
}

HRESULT CMyBaseRenderer::CheckMediaType(const AM_MEDIA_TYPE* type) {
    if (!IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) || !type->pbFormat || type->cbFormat < 16)
        return S_FALSE;
    WAVEFORMATEX format = {};
    memcpy(&format, type->pbFormat, type->cbFormat < sizeof(format) ? 16 : sizeof(format));
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nBlockAlign == 0 || format.nSamplesPerSec == 0)
        return S_FALSE;
    std::lock_guard<std::mutex> hold(m_sourceLock);
    if (m_source)
        m_source->AcceptFormat(format);
    return S_OK;
}

HRESULT CMyBaseRenderer::DoRenderSample(IMediaSample* sample) {
    REFERENCE_TIME start = 0, end = 0;
    if (FAILED(sample->GetTime(&start, &end)))
        start = 0;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return S_OK;
    const long length = sample->GetActualDataLength();
    if (length <= 0)
        return S_OK;
    std::lock_guard<std::mutex> hold(m_sourceLock);
    if (m_source)
        m_source->DeliverSample(SegmentStart() + start, data, static_cast<uint32_t>(length));
    return S_OK;
}

void CMyBaseRenderer::OnEndOfStream() {
    std::lock_guard<std::mutex> hold(m_sourceLock);
    if (m_source)
        m_source->EndOfStream();
}
