#include "QCPConvSource.h"

#include <string.h>

namespace {

constexpr const char* kInstallHelp = "http://www.cdmatech.com/solutions/products/purevoice_download.jsp";
constexpr uint32_t kBufferBytes = 131072;
constexpr LONG kMaxSamplesPerRead = 32768;

void FillDescriptor(QsclFormat& format) {
    memset(&format, 0, sizeof(format));
    format.size = sizeof(format);
    memcpy(format.formats, kQsclFormats, sizeof(format.formats));
}

} // namespace

CQCPConvSource::~CQCPConvSource() {
    Close();
}

bool CQCPConvSource::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_QCPConvSource;
    return true;
}

bool CQCPConvSource::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!OpenLibrary()) {
        Close();
        return false;
    }
    return true;
}

bool CQCPConvSource::OpenLibrary() {
    m_library.reset(LoadLibraryA("Qscl.dll"));
    if (!m_library) {
        SetError("QCP library not found");
        SetInfo("To install now, see %s", kInstallHelp);
        return false;
    }
    m_create = reinterpret_cast<QsclCreateInstanceFn>(
        reinterpret_cast<void*>(GetProcAddress(m_library.get(), "QsclCreateInstance")));
    if (!m_create) {
        SetError("Can't get QsclCreateInstance");
        return false;
    }
    if (FAILED(m_create(QSCL_LIBRARY_ID, ID_QsclFile, m_file.putVoid())) || !m_file) {
        SetError("Can't find ID_QsclFile");
        return false;
    }
    if (FAILED(m_file->QueryInterface(IID_IQsclError, m_error.putVoid())) || !m_error) {
        SetError("Can't find IQsclError");
        return false;
    }
    QsclFormat pcm, file;
    FillDescriptor(pcm);
    pcm.sampleRate = 8000;
    pcm.bitsPerSample = 16;
    pcm.channels = 1;
    FillDescriptor(file);
    if (FAILED(m_file->Open(m_path, 0, &pcm, &file))) {
        SetError("Can't open QCP file (error %lX)", static_cast<unsigned long>(m_error->LastError()));
        return false;
    }
    QsclInfo info = {};
    info.size = sizeof(info);
    if (FAILED(m_file->GetInfo(&info))) {
        SetError("Can't open QCP file (error %lX)", static_cast<unsigned long>(m_error->LastError()));
        return false;
    }
    m_format = {};
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = 1;
    m_format.nSamplesPerSec = 8000;
    m_format.wBitsPerSample = 16;
    m_format.nBlockAlign = 2;
    m_format.nAvgBytesPerSec = 16000;
    const LONG frames = m_file->FrameCount();
    m_totalBytes = frames > 0 ? 2 * info.samplesPerFrame * static_cast<uint32_t>(frames) : 0;
    return true;
}

bool CQCPConvSource::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (!m_file || !sink)
        return false;
    QsclInfo info = {};
    info.size = sizeof(info);
    if (FAILED(m_file->GetInfo(&info)) || info.blockSize == 0 || info.blockSize > kMaxSamplesPerRead) {
        SetError("QCP Read error %d", static_cast<int>(m_error->LastError()));
        return false;
    }
    const LONG blocksPerRead = kMaxSamplesPerRead / static_cast<LONG>(info.blockSize);
    if (m_startTime > 0) {
        const int block =
            MulDiv(m_startTime, static_cast<int>(info.sampleRate), static_cast<int>(info.blockSize) * 1000);
        if (FAILED(m_file->Seek(block))) {
            SetError("QCP Read error %d", static_cast<int>(m_error->LastError()));
            return false;
        }
    }
    trelvox::UniqueBytes buffer = trelvox::AllocateBytes(kBufferBytes);
    if (!buffer) {
        SetError("Out of memory");
        return false;
    }
    for (;;) {
        const LONG samples = m_file->Read(blocksPerRead, buffer.get(), 0);
        if (samples > kMaxSamplesPerRead) {
            SetError("QCP block buffer too small");
            return false;
        }
        if (samples == 0)
            return true;
        if (samples < 0) {
            SetError("QCP Read error %d", static_cast<int>(samples));
            return false;
        }
        if (!sink->OnData(buffer.get(), static_cast<uint32_t>(samples) * 2))
            return false;
    }
}

bool CQCPConvSource::Close() {
    CDefConvertSource::Close();
    m_error.reset();
    m_file.reset();
    m_create = nullptr;
    m_library.reset();
    return true;
}
