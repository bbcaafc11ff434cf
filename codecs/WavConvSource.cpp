#include "WavConvSource.h"

#include "MmioReader.h"
#include "WaveFile.h"

#include <string.h>

#include <new>

namespace {

constexpr uint32_t kMaxBlockBytes = 65536;
constexpr MMRESULT kNoDriver = 6;

} // namespace

CWavConvSource::~CWavConvSource() {
    Close();
}

bool CWavConvSource::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_WavConvSource;
    return true;
}

bool CWavConvSource::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!OpenFile()) {
        Close();
        return false;
    }
    return true;
}

bool CWavConvSource::OpenFile() {
    char path[MAX_PATH];
    strcpy(path, m_path);
    m_file.reset(mmioOpenA(path, nullptr, MMIO_READ | MMIO_DENYWRITE));
    if (!m_file) {
        SetError("Source file cannot be opened");
        return false;
    }
    // Files cut short keep the sizes they were meant to have: the file's length says how much
    // of the "data" chunk is really there.
    const LONG fileSize = mmioSeek(m_file.get(), 0, SEEK_END);
    if (fileSize == -1 || mmioSeek(m_file.get(), 0, SEEK_SET) == -1) {
        SetError("File format is invalid or corrupted");
        return false;
    }
    trelvox::MmioReader reader(m_file.get());
    trelvox::WaveLayout layout;
    trelvox::WaveFileError error;
    try {
        error = trelvox::ReadWaveLayout(reader, uint32_t(fileSize), layout);
    } catch (const std::bad_alloc&) {
        SetError("Out of memory");
        return false;
    }
    if (error != trelvox::WaveFileError::kNone) {
        SetError(error == trelvox::WaveFileError::kNoAudio ? "Length of audio data is zero"
                                                           : "File format is invalid or corrupted");
        return false;
    }
    if (mmioSeek(m_file.get(), static_cast<LONG>(layout.dataOffset), SEEK_SET) == -1) {
        SetError("File format is invalid or corrupted");
        return false;
    }
    m_dataOffset = layout.dataOffset;
    m_dataLeft = layout.dataSize;
    const uint32_t dataSize = layout.dataSize;
    if (layout.FormatTag() == WAVE_FORMAT_PCM) {
        memcpy(&m_format, layout.format.data(), sizeof(WAVEFORMATEX));
        m_totalBytes = dataSize;
        return true;
    }
    m_fileFormat = trelvox::AllocateBytes(layout.format.size());
    if (!m_fileFormat) {
        SetError("Out of memory");
        return false;
    }
    memcpy(m_fileFormat.get(), layout.format.data(), layout.format.size());
    auto* fileFormat = reinterpret_cast<WAVEFORMATEX*>(m_fileFormat.get());
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    MMRESULT result = acmFormatSuggest(nullptr, fileFormat, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG);
    if (result != MMSYSERR_NOERROR) {
        SetError("PCM format \"suggestion\" for the Wave file failed (ACM error %d)",
                 static_cast<int>(result));
        if (result == kNoDriver)
            SetError("ACM Error 6: no device driver present");
        return false;
    }
    HACMSTREAM stream = nullptr;
    result = acmStreamOpen(&stream, nullptr, fileFormat, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (result != MMSYSERR_NOERROR) {
        SetError("Conversion stream cannot be opened (ACM error %d)", static_cast<int>(result));
        return false;
    }
    m_stream.reset(stream);
    pcm.cbSize = 0;
    m_format = pcm;
    if (fileFormat->nAvgBytesPerSec == 0) {
        SetError("File format is invalid or corrupted");
        return false;
    }
    // MulDiv's rounding to the nearest byte, without its 31-bit limit.
    const uint64_t product = uint64_t(dataSize) * pcm.nAvgBytesPerSec;
    m_totalBytes =
        static_cast<uint32_t>((product + fileFormat->nAvgBytesPerSec / 2) / fileFormat->nAvgBytesPerSec);
    return true;
}

bool CWavConvSource::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (m_dataLeft == 0)
        return true;
    if (!sink)
        return false;
    uint32_t blockSize = kMaxBlockBytes - kMaxBlockBytes % m_format.nBlockAlign;
    trelvox::UniqueBytes buffer = trelvox::AllocateBytes(kMaxBlockBytes);
    if (!buffer) {
        SetError("Out of memory");
        return false;
    }
    uint32_t skip = StartOffset();
    if (skip > 0)
        mmioSeek(m_file.get(), static_cast<LONG>(skip), SEEK_CUR);
    if (m_stream)
        return PlayCompressed(sink, buffer.get(), blockSize);
    return PlayPcm(sink, buffer.get(), blockSize);
}

bool CWavConvSource::PlayPcm(IPlayCallback* sink, uint8_t* buffer, uint32_t blockSize) {
    for (;;) {
        uint32_t wanted = m_dataLeft < blockSize ? m_dataLeft : blockSize;
        m_dataLeft -= wanted;
        LONG got = wanted == 0
                       ? 0
                       : mmioRead(m_file.get(), reinterpret_cast<HPSTR>(buffer), static_cast<LONG>(wanted));
        if (got <= 0)
            return true;
        if (!sink->OnData(buffer, static_cast<uint32_t>(got)))
            return false;
    }
}

bool CWavConvSource::PlayCompressed(IPlayCallback* sink, uint8_t* buffer, uint32_t blockSize) {
    for (;;) {
        DWORD wanted = 0;
        MMRESULT result = acmStreamSize(m_stream.get(), blockSize, &wanted, ACM_STREAMSIZEF_DESTINATION);
        if (result != MMSYSERR_NOERROR) {
            SetError("Stream size cannot be estimated (ACM error %d)", static_cast<int>(result));
            return false;
        }
        if (wanted > m_dataLeft)
            wanted = m_dataLeft;
        m_dataLeft -= wanted;
        if (wanted == 0)
            return true;
        trelvox::UniqueBytes input = trelvox::AllocateBytes(wanted);
        if (!input) {
            SetError("Out of memory");
            return false;
        }
        LONG got = mmioRead(m_file.get(), reinterpret_cast<HPSTR>(input.get()), static_cast<LONG>(wanted));
        if (got <= 0)
            return true;
        ACMSTREAMHEADER header = {};
        header.cbStruct = sizeof(header);
        header.pbSrc = input.get();
        header.cbSrcLength = static_cast<DWORD>(got);
        header.pbDst = buffer;
        header.cbDstLength = blockSize;
        result = acmStreamPrepareHeader(m_stream.get(), &header, 0);
        if (result != MMSYSERR_NOERROR) {
            SetError("Stream header cannot be prepared (ACM error %d)", static_cast<int>(result));
            return false;
        }
        // Whole codec blocks while more data follows; the last read may end in a partial one.
        DWORD flags = m_dataLeft > 0 ? ACM_STREAMCONVERTF_BLOCKALIGN : 0;
        result = acmStreamConvert(m_stream.get(), &header, flags);
        acmStreamUnprepareHeader(m_stream.get(), &header, 0);
        if (result != MMSYSERR_NOERROR) {
            SetError("Stream cannot be converted (ACM error %d)", static_cast<int>(result));
            return false;
        }
        if (header.cbDstLengthUsed > 0 && !sink->OnData(buffer, header.cbDstLengthUsed))
            return false;
    }
}

bool CWavConvSource::Close() {
    CDefConvertSource::Close();
    m_file.reset();
    m_fileFormat.reset();
    m_stream.reset();
    m_dataLeft = 0;
    return true;
}
