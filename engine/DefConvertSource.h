#pragma once

#include "ComObject.h"
#include "DefErrLog.h"

// Base of every source: path, start time, the PCM format and length, and the opened flag.
// Derived classes fill m_format and m_totalBytes in Open and call the base operations first.
class CDefConvertSource : public trelvox::ComObject<IConvertSource>, public CDefErrLog {
public:
    bool TX_THISCALL SetFileName(const char* path) override;
    bool TX_THISCALL GetFileName(char* buf, int size) override;
    int32_t TX_THISCALL GetFormatIndex() override;
    int32_t TX_THISCALL SetFormatIndex(int32_t index) override;
    bool TX_THISCALL GetFileTitle(char* buf, uint32_t size) override;
    bool TX_THISCALL GetFileDir(char* buf, uint32_t size) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL SetStartTime(int32_t ms) override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;
    bool TX_THISCALL GetLength(uint32_t* bytes, int32_t startMs, int32_t endMs) override;
    bool TX_THISCALL GetFormat(WAVEFORMATEX* wfx) override;
    void TX_THISCALL SetErrorLog(IConvertCallback* cb) override;

protected:
    CDefConvertSource() = default;

    // Answers IConvertSource; sources with more interfaces extend this.
    void* FindInterface(REFIID riid) override;

    // The PCM byte offset of the start time, rounded down to whole sample frames.
    uint32_t StartOffset() const;

    int32_t m_startTime = -1; // milliseconds; -1 or 0 = from the beginning
    char m_path[MAX_PATH] = {};
    uint32_t m_totalBytes = 0; // whole PCM stream, bytes
    WAVEFORMATEX m_format = {};
    int32_t m_opened = 0;
    int32_t m_formatIndex = -1;
};
