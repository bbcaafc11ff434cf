#include "DefConvertSource.h"

#include "PathText.h"

#include <string.h>

void* CDefConvertSource::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IConvertSource))
        return static_cast<IConvertSource*>(this);
    return nullptr;
}

bool CDefConvertSource::SetFileName(const char* path) {
    return trelvox::CopyPath(m_path, path);
}

bool CDefConvertSource::GetFileName(char* buf, int size) {
    if (!buf || size <= 0 || static_cast<size_t>(size) <= strlen(m_path))
        return false;
    strcpy(buf, m_path);
    return true;
}

int32_t CDefConvertSource::GetFormatIndex() {
    return m_formatIndex;
}

int32_t CDefConvertSource::SetFormatIndex(int32_t index) {
    m_formatIndex = index;
    return index;
}

bool CDefConvertSource::GetFileTitle(char* buf, uint32_t size) {
    if (!m_path[0] || !buf || size == 0)
        return false;
    trelvox::CopyTruncated(buf, size, trelvox::FileNamePart(m_path));
    return true;
}

bool CDefConvertSource::GetFileDir(char* buf, uint32_t size) {
    if (!m_path[0] || !buf || size == 0)
        return false;
    trelvox::CopyTruncated(buf, size, m_path);
    *const_cast<char*>(trelvox::FileNamePart(buf)) = '\0';
    return buf[0] != '\0';
}

bool CDefConvertSource::Open() {
    if (m_opened) {
        SetError("Source file or track is already opened");
        return false;
    }
    m_opened = 1;
    return true;
}

bool CDefConvertSource::SetStartTime(int32_t ms) {
    m_startTime = ms;
    return true;
}

bool CDefConvertSource::Play(IPlayCallback*) {
    if (!m_opened) {
        SetError("Source object is not opened");
        return false;
    }
    return true;
}

bool CDefConvertSource::Close() {
    m_opened = 0;
    return true;
}

bool CDefConvertSource::GetMetadata(IMetadata**) {
    return false;
}

bool CDefConvertSource::GetLength(uint32_t* bytes, int32_t startMs, int32_t endMs) {
    if (!bytes || !m_opened)
        return false;
    uint32_t end = m_totalBytes;
    if (endMs > -1) {
        end = static_cast<uint32_t>(MulDiv(static_cast<int>(m_format.nAvgBytesPerSec), endMs, 1000));
        if (end > m_totalBytes)
            end = m_totalBytes;
    }
    uint32_t start = 0;
    if (startMs > -1) {
        start = static_cast<uint32_t>(MulDiv(static_cast<int>(m_format.nAvgBytesPerSec), startMs, 1000));
        if (start > end)
            start = end;
    }
    *bytes = end - start;
    return true;
}

bool CDefConvertSource::GetFormat(WAVEFORMATEX* wfx) {
    if (!wfx || !m_opened)
        return false;
    memcpy(wfx, &m_format, sizeof(WAVEFORMATEX));
    return true;
}

void CDefConvertSource::SetErrorLog(IConvertCallback* cb) {
    SetCallback(cb);
}

uint32_t CDefConvertSource::StartOffset() const {
    if (m_startTime <= 0)
        return 0;
    uint32_t offset =
        static_cast<uint32_t>(MulDiv(static_cast<int>(m_format.nAvgBytesPerSec), m_startTime, 1000));
    if (m_format.nBlockAlign > 1)
        offset -= offset % m_format.nBlockAlign;
    return offset;
}
