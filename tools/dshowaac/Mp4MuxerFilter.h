#pragma once

#include "StreamFilter.h"

#include <stdint.h>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace dshowaac {

// Multiplexes one raw AAC stream into an MP4 file with libavformat's MP4 muxer. The output is
// a byte stream for the file writer: each output sample carries its file offset as its start
// time and the offset after it as its end time, and the muxer goes back to the start to
// complete the file when the stream ends. The input's times (100-ns units) become the packets'
// times in samples.
class CMp4MuxerFilter final : public CStreamFilter {
public:
    CMp4MuxerFilter();
    ~CMp4MuxerFilter() override;

protected:
    HRESULT CheckInputType(const AM_MEDIA_TYPE& type) override;
    HRESULT GetOutputType(const AM_MEDIA_TYPE& input, int index, AM_MEDIA_TYPE* type) override;
    HRESULT DecideOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT StartStreaming(const AM_MEDIA_TYPE& input) override;
    void StopStreaming() override;
    HRESULT Process(IMediaSample* sample) override;
    HRESULT Finish() override;

private:
    // The header goes out with the first packet (or at the end), once downstream runs.
    HRESULT WriteHeader();
    static int WritePacket(void* self, uint8_t* data, int size);
    static int64_t Seek(void* self, int64_t offset, int whence);

    AVFormatContext* m_format = nullptr;
    AVIOContext* m_io = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_headerWritten = false;
    HRESULT m_writeResult = S_OK; // the first failed delivery
    int64_t m_position = 0;       // bytes: where the next write goes
    int64_t m_size = 0;           // bytes: the file's length so far
    int64_t m_lastDts = INT64_MIN;
};

} // namespace dshowaac
