// The source filter of the DirectShow destination's graph: it plays back, as PCM, the
// temporary file that the destination is still writing.
#pragma once

#include "Handles.h"
#include "SourceFilter.h"

#include <atomic>

#include <mmreg.h>

class CMySource : public CSource {
public:
    // format is the PCM the file holds; path is the temporary file; finished (owned by the
    // destination, which outlives the graph) is set once nothing more will be written.
    CMySource(const WAVEFORMATEX& format, const char* path, const std::atomic<bool>* finished);
};

// The pin "WaveSRC": reads the temporary file behind the writer, one second per sample, and
// ends the stream after the rest that is there once the writer has finished.
class CMySourceStream : public CSourceStream {
public:
    CMySourceStream(CMySource* filter, const WAVEFORMATEX& format, const char* path,
                    const std::atomic<bool>* finished);

protected:
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    // Reads up to size bytes at the read offset (which does not move); the count read.
    long ReadAhead(BYTE* data, long size);
    // Sets the times of a sample of bytes that starts at the running stream time, and moves
    // that time on. The unit is 1000 / nAvgBytesPerSec per byte, as the muxers of this graph
    // were always given it.
    void Stamp(IMediaSample* sample, long bytes);

    WAVEFORMATEX m_format;
    char m_path[MAX_PATH] = {};
    const std::atomic<bool>* m_finished;
    trelvox::UniqueFile m_file; // the pin's own read handle; open from the first fill to the last
    int64_t m_offset = 0;       // bytes of the file delivered
    LONGLONG m_time = 0;        // running stream time
    bool m_ended = false;       // the last sample went out
};
