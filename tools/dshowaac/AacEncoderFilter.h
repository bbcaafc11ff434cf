#pragma once

#include "StreamFilter.h"

#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace dshowaac {

// Encodes PCM (8, 16, 24 or 32 bits, up to 8 channels) into raw AAC-LC frames with
// libavcodec's AAC encoder, at 64 kbit/s per channel. Each output sample holds one AAC frame
// timed in 100-ns units from the count of samples encoded; the input's times are not used.
// The output type carries the AudioSpecificConfig after its WAVEFORMATEX.
class CAacEncoderFilter final : public CStreamFilter {
public:
    CAacEncoderFilter();
    ~CAacEncoderFilter() override;

protected:
    HRESULT CheckInputType(const AM_MEDIA_TYPE& type) override;
    HRESULT GetOutputType(const AM_MEDIA_TYPE& input, int index, AM_MEDIA_TYPE* type) override;
    HRESULT DecideOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT StartStreaming(const AM_MEDIA_TYPE& input) override;
    void StopStreaming() override;
    HRESULT Process(IMediaSample* sample) override;
    HRESULT Finish() override;

private:
    // Encodes frames of whole encoder frames from the pending PCM (with last, the rest too).
    HRESULT EncodePending(bool last);
    // Sends frame (null: the end) and delivers every packet the encoder has ready.
    HRESULT Encode(AVFrame* frame);

    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    WAVEFORMATEX m_input = {};
    std::vector<uint8_t> m_pending; // PCM not yet encoded, in whole blocks
    size_t m_pendingStart = 0;      // bytes of m_pending already encoded
    int64_t m_samples = 0;          // samples per channel sent to the encoder
};

} // namespace dshowaac
