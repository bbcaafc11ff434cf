#include "Mp4MuxerFilter.h"

#include "AacFilterIds.h"
#include "AacTypes.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <stdio.h>
#include <string.h>

namespace dshowaac {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000; // 100-ns units
constexpr int kIoBufferBytes = 64 * 1024;
constexpr long kOutputBuffers = 4;

} // namespace

CMp4MuxerFilter::CMp4MuxerFilter() : CStreamFilter(trelvox::kClsidMp4Muxer) {}

CMp4MuxerFilter::~CMp4MuxerFilter() {
    StopStreaming();
}

HRESULT CMp4MuxerFilter::CheckInputType(const AM_MEDIA_TYPE& type) {
    AacStreamInfo info;
    return ParseAacType(type, info) ? S_OK : S_FALSE;
}

HRESULT CMp4MuxerFilter::GetOutputType(const AM_MEDIA_TYPE&, int index, AM_MEDIA_TYPE* type) {
    if (index != 0)
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE{};
    type->majortype = MEDIATYPE_Stream;
    type->subtype = GUID_NULL;
    type->formattype = GUID_NULL;
    type->bFixedSizeSamples = FALSE;
    type->lSampleSize = 1;
    return S_OK;
}

HRESULT CMp4MuxerFilter::DecideOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return trelvox::RequestBuffers(allocator, request, kOutputBuffers, kIoBufferBytes, 1);
}

HRESULT CMp4MuxerFilter::StartStreaming(const AM_MEDIA_TYPE& input) {
    StopStreaming();
    AacStreamInfo info;
    if (!ParseAacType(input, info))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (avformat_alloc_output_context2(&m_format, nullptr, "mp4", nullptr) < 0 || !m_format)
        return E_OUTOFMEMORY;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    m_io =
        buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &WritePacket, &Seek) : nullptr;
    m_packet = av_packet_alloc();
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!m_io || !m_packet || !stream) {
        if (!m_io)
            av_free(buffer);
        StopStreaming();
        return E_OUTOFMEMORY;
    }
    m_io->seekable = AVIO_SEEKABLE_NORMAL;
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_AAC;
    par->sample_rate = static_cast<int>(info.rate);
    par->bit_rate = info.bitRate;
    par->frame_size = 1024;
    av_channel_layout_default(&par->ch_layout, info.channels);
    par->extradata = static_cast<uint8_t*>(av_mallocz(info.config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) {
        StopStreaming();
        return E_OUTOFMEMORY;
    }
    memcpy(par->extradata, info.config.data(), info.config.size());
    par->extradata_size = static_cast<int>(info.config.size());
    stream->time_base = AVRational{1, par->sample_rate};
    m_headerWritten = false;
    m_writeResult = S_OK;
    m_position = 0;
    m_size = 0;
    m_lastDts = INT64_MIN;
    return S_OK;
}

void CMp4MuxerFilter::StopStreaming() {
    av_packet_free(&m_packet);
    if (m_format) {
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

HRESULT CMp4MuxerFilter::WriteHeader() {
    if (m_headerWritten)
        return S_OK;
    m_headerWritten = true;
    if (avformat_write_header(m_format, nullptr) < 0)
        return FAILED(m_writeResult) ? m_writeResult : E_FAIL;
    return m_writeResult;
}

HRESULT CMp4MuxerFilter::Process(IMediaSample* sample) {
    HRESULT hr = WriteHeader();
    if (FAILED(hr))
        return hr;
    BYTE* data = nullptr;
    REFERENCE_TIME start = 0, end = 0;
    hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const long length = sample->GetActualDataLength();
    if (length <= 0)
        return S_OK;
    AVStream* stream = m_format->streams[0];
    const int64_t rate = stream->codecpar->sample_rate;
    if (av_new_packet(m_packet, length) < 0)
        return E_OUTOFMEMORY;
    memcpy(m_packet->data, data, static_cast<size_t>(length));
    if (SUCCEEDED(sample->GetTime(&start, &end))) {
        m_packet->pts = av_rescale(start, rate, kUnitsPerSecond);
        m_packet->duration = av_rescale(end, rate, kUnitsPerSecond) - m_packet->pts;
    } else {
        // Without times the frames follow each other.
        m_packet->pts = m_lastDts == INT64_MIN ? 0 : m_lastDts + 1024;
        m_packet->duration = 1024;
    }
    if (m_packet->pts <= m_lastDts)
        m_packet->pts = m_lastDts + 1;
    m_packet->dts = m_packet->pts;
    m_lastDts = m_packet->dts;
    m_packet->stream_index = 0;
    m_packet->flags |= AV_PKT_FLAG_KEY;
    const int result = av_write_frame(m_format, m_packet);
    av_packet_unref(m_packet);
    if (FAILED(m_writeResult))
        return m_writeResult;
    return result < 0 ? E_FAIL : S_OK;
}

HRESULT CMp4MuxerFilter::Finish() {
    HRESULT hr = WriteHeader();
    if (FAILED(hr))
        return hr;
    const int result = av_write_trailer(m_format);
    avio_flush(m_io);
    if (FAILED(m_writeResult))
        return m_writeResult;
    return result < 0 ? E_FAIL : S_OK;
}

int CMp4MuxerFilter::WritePacket(void* self, uint8_t* data, int size) {
    auto* filter = static_cast<CMp4MuxerFilter*>(self);
    if (FAILED(filter->m_writeResult))
        return AVERROR(EIO);
    for (int done = 0; done < size;) {
        const int chunk = size - done < kIoBufferBytes ? size - done : kIoBufferBytes;
        const int64_t at = filter->m_position;
        HRESULT hr = filter->DeliverBytes(data + done, static_cast<size_t>(chunk), at, at + chunk);
        if (FAILED(hr)) {
            filter->m_writeResult = hr;
            return AVERROR(EIO);
        }
        filter->m_position += chunk;
        done += chunk;
        if (filter->m_position > filter->m_size)
            filter->m_size = filter->m_position;
    }
    return size;
}

int64_t CMp4MuxerFilter::Seek(void* self, int64_t offset, int whence) {
    auto* filter = static_cast<CMp4MuxerFilter*>(self);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return filter->m_size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += filter->m_position;
        break;
    case SEEK_END:
        offset += filter->m_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    filter->m_position = offset;
    return offset;
}

} // namespace dshowaac
