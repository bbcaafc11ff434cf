#include "AacEncoderFilter.h"

#include "AacFilterIds.h"
#include "AacTypes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <string.h>

namespace dshowaac {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000; // 100-ns units
constexpr long kBitRatePerChannel = 64000;
constexpr long kOutputBuffers = 8;
// An AAC frame holds at most 6144 bits per channel.
constexpr long kOutputBufferBytes = 8 * 768;

// The PCM format of a media type, or false when it is not PCM this filter encodes.
bool PcmFormat(const AM_MEDIA_TYPE& type, WAVEFORMATEX& format) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Audio) || !IsEqualGUID(type.subtype, MEDIASUBTYPE_PCM) ||
        !IsEqualGUID(type.formattype, FORMAT_WaveFormatEx) || !type.pbFormat || type.cbFormat < 16)
        return false;
    format = WAVEFORMATEX{};
    memcpy(&format, type.pbFormat, 16);
    const unsigned bytes = format.wBitsPerSample / 8u;
    return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels >= 1 && format.nChannels <= 8 &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16 || format.wBitsPerSample == 24 ||
            format.wBitsPerSample == 32) &&
           format.nBlockAlign == format.nChannels * bytes && SampleRateIndex(format.nSamplesPerSec) >= 0;
}

// An encoder for format, opened with a global header (the AudioSpecificConfig in extradata).
AVCodecContext* OpenEncoder(const WAVEFORMATEX& format) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return nullptr;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = static_cast<int>(format.nSamplesPerSec);
    av_channel_layout_default(&context->ch_layout, format.nChannels);
    context->bit_rate = kBitRatePerChannel * format.nChannels;
    context->time_base = AVRational{1, context->sample_rate};
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(context, codec, nullptr) < 0)
        avcodec_free_context(&context);
    return context;
}

// One PCM sample as a float in [-1, 1).
float SampleAt(const uint8_t* p, unsigned bits) {
    switch (bits) {
    case 8:
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
        return static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0f;
    case 24:
        return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                    static_cast<uint32_t>(p[2]) << 24) /
               2147483648.0f;
    default:
        return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24) /
               2147483648.0f;
    }
}

} // namespace

CAacEncoderFilter::CAacEncoderFilter() : CStreamFilter(trelvox::kClsidAacEncoder) {}

CAacEncoderFilter::~CAacEncoderFilter() {
    StopStreaming();
}

HRESULT CAacEncoderFilter::CheckInputType(const AM_MEDIA_TYPE& type) {
    WAVEFORMATEX format;
    return PcmFormat(type, format) ? S_OK : S_FALSE;
}

HRESULT CAacEncoderFilter::GetOutputType(const AM_MEDIA_TYPE& input, int index, AM_MEDIA_TYPE* type) {
    if (index != 0)
        return VFW_S_NO_MORE_ITEMS;
    WAVEFORMATEX format;
    if (!PcmFormat(input, format))
        return VFW_E_TYPE_NOT_ACCEPTED;
    AVCodecContext* codec = OpenEncoder(format);
    if (!codec)
        return E_FAIL;
    HRESULT hr = MakeAacType(format.nChannels, format.nSamplesPerSec, static_cast<uint32_t>(codec->bit_rate),
                             codec->extradata, static_cast<size_t>(codec->extradata_size), *type);
    avcodec_free_context(&codec);
    return hr;
}

HRESULT CAacEncoderFilter::DecideOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return trelvox::RequestBuffers(allocator, request, kOutputBuffers, kOutputBufferBytes, 1);
}

HRESULT CAacEncoderFilter::StartStreaming(const AM_MEDIA_TYPE& input) {
    StopStreaming();
    if (!PcmFormat(input, m_input))
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_codec = OpenEncoder(m_input);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_codec || !m_frame || !m_packet) {
        StopStreaming();
        return E_OUTOFMEMORY;
    }
    m_frame->format = m_codec->sample_fmt;
    m_frame->sample_rate = m_codec->sample_rate;
    if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0) {
        StopStreaming();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CAacEncoderFilter::StopStreaming() {
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
    m_pending.clear();
    m_pendingStart = 0;
    m_samples = 0;
}

HRESULT CAacEncoderFilter::Process(IMediaSample* sample) {
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const long length = sample->GetActualDataLength();
    if (length > 0) {
        try {
            m_pending.insert(m_pending.end(), data, data + length);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    return EncodePending(false);
}

HRESULT CAacEncoderFilter::Finish() {
    HRESULT hr = EncodePending(true);
    return FAILED(hr) ? hr : Encode(nullptr);
}

HRESULT CAacEncoderFilter::EncodePending(bool last) {
    const size_t block = m_input.nBlockAlign;
    const size_t frameBytes = static_cast<size_t>(m_codec->frame_size) * block;
    const unsigned bits = m_input.wBitsPerSample;
    for (;;) {
        size_t available = m_pending.size() - m_pendingStart;
        size_t bytes = available >= frameBytes ? frameBytes : last ? available - available % block : 0;
        if (bytes == 0)
            break;
        const int count = static_cast<int>(bytes / block);
        // The encoder may still hold the previous frame's buffers.
        av_frame_unref(m_frame);
        m_frame->format = m_codec->sample_fmt;
        m_frame->sample_rate = m_codec->sample_rate;
        if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0)
            return E_OUTOFMEMORY;
        m_frame->nb_samples = count;
        if (av_frame_get_buffer(m_frame, 0) < 0)
            return E_OUTOFMEMORY;
        const uint8_t* in = m_pending.data() + m_pendingStart;
        for (int c = 0; c < m_input.nChannels; ++c) {
            float* out = reinterpret_cast<float*>(m_frame->extended_data[c]);
            for (int i = 0; i < count; ++i)
                out[i] = SampleAt(in + i * block + c * (bits / 8), bits);
        }
        m_frame->pts = m_samples;
        m_samples += count;
        m_pendingStart += bytes;
        HRESULT hr = Encode(m_frame);
        if (FAILED(hr))
            return hr;
    }
    // Keep the buffer from growing: drop what was encoded once it is the larger part.
    if (m_pendingStart > m_pending.size() / 2) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<ptrdiff_t>(m_pendingStart));
        m_pendingStart = 0;
    }
    return S_OK;
}

HRESULT CAacEncoderFilter::Encode(AVFrame* frame) {
    if (avcodec_send_frame(m_codec, frame) < 0)
        return E_FAIL;
    for (;;) {
        int result = avcodec_receive_packet(m_codec, m_packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return S_OK;
        if (result < 0)
            return E_FAIL;
        const int64_t rate = m_codec->sample_rate;
        HRESULT hr = DeliverBytes(m_packet->data, static_cast<size_t>(m_packet->size),
                                  av_rescale(m_packet->pts, kUnitsPerSecond, rate),
                                  av_rescale(m_packet->pts + m_packet->duration, kUnitsPerSecond, rate));
        av_packet_unref(m_packet);
        if (hr != S_OK)
            return FAILED(hr) ? hr : S_OK;
    }
}

} // namespace dshowaac
