#pragma once

#include "TrelvoxConvert.h"
#include "TrelvoxNormalizer.h"

#include <stdint.h>

class SilenceDetector;
class TempFile;
class TempoDetector;

// The data pump of one conversion: the sink the source plays into. It stops the source at a
// byte limit, feeds the analysers, and passes each block on to the temporary file (analysis
// pass) or to the destination (single pass). Every pointer it holds is borrowed from the
// conversion, which outlives it. It runs on whichever thread calls OnData, one block at a time.
class CPlayCallback : public IPlayCallback {
public:
    static constexpr uint32_t kNoLimit = 0xFFFFFFFF;

    explicit CPlayCallback(IConvertCallback* callback) : m_callback(callback) {}

    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override;

    void SetSilenceDetector(SilenceDetector* silence) { m_silence = silence; }
    void SetTempoDetector(TempoDetector* tempo) { m_tempo = tempo; }
    // Bytes after which the source is stopped; kNoLimit lets it play to its end.
    void SetLimit(uint32_t limit) { m_limit = limit; }
    void SetTempFile(TempFile* tempFile) { m_tempFile = tempFile; }
    void SetNormalizer(INormalizer* normalizer) { m_normalizer = normalizer; }
    void SetDestination(IConvertDestination* destination) { m_destination = destination; }
    void SetReportProgress(bool report) { m_reportProgress = report; }

    uint32_t Delivered() const { return m_delivered; }
    // True once the pump has stopped the source because the limit was reached.
    bool LimitReached() const { return m_limitReached; }

private:
    SilenceDetector* m_silence = nullptr;
    TempoDetector* m_tempo = nullptr;
    uint32_t m_delivered = 0; // bytes passed on so far
    uint32_t m_limit = kNoLimit;
    TempFile* m_tempFile = nullptr;
    INormalizer* m_normalizer = nullptr;
    IConvertDestination* m_destination = nullptr;
    IConvertCallback* m_callback;
    bool m_limitReached = false;
    bool m_reportProgress = true;
};
