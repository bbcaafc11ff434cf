#pragma once

#include "ComPtr.h"
#include "DefConvertDestination.h"
#include "TempFile.h"

#include <atomic>

struct IGraphBuilder;
struct IMediaControl;
struct IMediaEventEx;
struct IBaseFilter;
class CMySource;

// Writes MP4 files with AAC audio through a DirectShow graph: the PCM written here goes into a
// temporary file, which the graph's own source filter (CMySource) reads back behind the
// writer and hands to the AAC encoder filter, the MP4 muxer filter and the file writer.
//
// Write runs on the conversion thread and the source pin on DirectShow's streaming thread;
// they share only the temporary file (each with its own handle) and the input-finished flag,
// which Close sets before it waits for the graph to write the file.
class CDirectShowConvDest : public CDefConvertDestination {
public:
    CDirectShowConvDest();
    ~CDirectShowConvDest() override;

    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;

private:
    bool BuildGraph();
    void ReleaseGraph();

    trelvox::ComPtr<IGraphBuilder> m_graph;
    trelvox::ComPtr<IMediaControl> m_control;
    trelvox::ComPtr<IMediaEventEx> m_events;
    trelvox::ComPtr<IBaseFilter> m_encoder;
    trelvox::ComPtr<IBaseFilter> m_muxer;
    trelvox::ComPtr<IBaseFilter> m_writer;
    trelvox::ComPtr<CMySource> m_sourceFilter;
    bool m_running = false;     // the graph was started, so Close waits for it to finish
    bool m_outputNamed = false; // the file writer has the output path

    TempFile m_tempFile;
    // Set by Close once the temporary file holds everything; read by the source pin.
    std::atomic<bool> m_inputFinished{false};
};
