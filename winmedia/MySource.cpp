#include "MySource.h"

#include "PathText.h"
#include "TrelvoxConvert.h"

#include <string.h>

#include <memory>

namespace {

constexpr wchar_t kPinName[] = L"WaveSRC";
// How long the pin waits before it looks again for data the destination has not written yet.
constexpr DWORD kWaitForDataMs = 100;

} // namespace

CMySource::CMySource(const WAVEFORMATEX& format, const char* path, const std::atomic<bool>* finished)
    : CSource(CLSID_DirectShowConvDest) {
    SetPin(std::make_unique<CMySourceStream>(this, format, path, finished));
}

CMySourceStream::CMySourceStream(CMySource* filter, const WAVEFORMATEX& format, const char* path,
                                 const std::atomic<bool>* finished)
    : CSourceStream(filter, kPinName), m_format(format), m_finished(finished) {
    m_format.cbSize = 0;
    trelvox::CopyPath(m_path, path);
}

HRESULT CMySourceStream::GetMediaType(int index, AM_MEDIA_TYPE* type) {
    if (index != 0)
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE{};
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof m_format));
    if (!type->pbFormat)
        return E_OUTOFMEMORY;
    memcpy(type->pbFormat, &m_format, sizeof m_format);
    type->cbFormat = sizeof m_format;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = m_format.wBitsPerSample / 8;
    type->formattype = FORMAT_WaveFormatEx;
    return S_OK;
}

HRESULT CMySourceStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return trelvox::RequestBuffers(allocator, request, 1, static_cast<long>(m_format.nAvgBytesPerSec),
                                   m_format.wBitsPerSample / 8);
}

long CMySourceStream::ReadAhead(BYTE* data, long size) {
    FILE* file = m_file.get();
    clearerr(file);
    if (_fseeki64(file, m_offset, SEEK_SET) != 0)
        return 0;
    return static_cast<long>(fread(data, 1, static_cast<size_t>(size), file));
}

void CMySourceStream::Stamp(IMediaSample* sample, long bytes) {
    LONGLONG end = m_time + static_cast<LONGLONG>(bytes) * 1000 / m_format.nAvgBytesPerSec;
    sample->SetTime(&m_time, &end);
    sample->SetMediaTime(&m_time, &end);
    m_time = end;
    sample->SetActualDataLength(bytes);
    m_offset += bytes;
}

HRESULT CMySourceStream::FillBuffer(IMediaSample* sample) {
    if (m_ended)
        return S_FALSE;
    if (!m_file) {
        m_file.reset(fopen(m_path, "rb"));
        if (!m_file)
            return E_UNEXPECTED;
    }
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const long size = sample->GetSize();
    for (;;) {
        // The flag first: when it was set before the read, the read saw everything.
        const bool finished = *m_finished;
        const long got = ReadAhead(data, size);
        if (got == size) {
            Stamp(sample, got);
            return S_OK;
        }
        if (finished) {
            m_file.reset();
            m_ended = true;
            Stamp(sample, got);
            return S_OK;
        }
        if (StopRequested())
            return S_FALSE;
        Sleep(kWaitForDataMs);
    }
}
