#include "PlayCallback.h"

#include "SilenceDetector.h"
#include "TempFile.h"
#include "TempoDetector.h"

bool CPlayCallback::OnData(const void* pcm, uint32_t bytes) {
    if (m_callback->IsCancelled())
        return false;
    if (bytes == 0)
        return true;
    if (m_limit != kNoLimit) {
        if (m_delivered >= m_limit) {
            m_limitReached = true;
            return false;
        }
        if (bytes > m_limit - m_delivered)
            bytes = m_limit - m_delivered;
    }

    if (m_silence)
        m_silence->Feed(pcm, bytes);
    if (m_tempo)
        m_tempo->Feed(pcm, bytes);
    if (m_normalizer)
        m_normalizer->Analyze(bytes, pcm);

    if (m_tempFile) {
        // A short write (a full disk) loses audio just as a missing file does.
        if (!m_tempFile->IsOpen() || fwrite(pcm, 1, bytes, m_tempFile->get()) != bytes) {
            m_callback->ReportMessage("Temporary file cannot be written\n");
            return false;
        }
    }
    if (m_destination && !m_destination->Write(bytes, pcm))
        return false;

    if (m_reportProgress)
        m_callback->StepProgress(bytes);
    m_delivered += bytes;
    return true;
}
