#pragma once

#include "BaseRenderer.h"

#include <mutex>

class CDirectShowConvSource;

// The last filter of the DirectShow source's graph: accepts only PCM, so that the graph has
// to insert the decoders, and hands every sample to its source.
class CMyBaseRenderer : public CBaseRenderer {
public:
    // source is not owned; it detaches itself before it goes.
    explicit CMyBaseRenderer(CDirectShowConvSource* source);

    void Detach();

protected:
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    void OnEndOfStream() override;

private:
    std::mutex m_sourceLock;
    CDirectShowConvSource* m_source;
};
