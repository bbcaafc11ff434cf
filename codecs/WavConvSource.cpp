#include "WavConvSource.h"

#include <string.h>

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
    MMCKINFO riff = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(m_file.get(), &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        SetError("File format is invalid or corrupted");
        return false;
    }
    // 64-bit sums: a chunk size near 4 GB must not wrap around the bound.
    const uint64_t riffEnd = uint64_t(riff.dwDataOffset) + riff.cksize;
    uint32_t fmtSize = 0;
    uint32_t dataSize = 0;
    bool haveData = false;
    MMCKINFO chunk = {};
    while (mmioDescend(m_file.get(), &chunk, &riff, 0) == MMSYSERR_NOERROR) {
        if (uint64_t(chunk.dwDataOffset) + chunk.cksize > riffEnd) {
            SetError("File format is invalid or corrupted");
            return false;
        }
        if (chunk.ckid == mmioFOURCC('f', 'm', 't', ' ') && !m_fileFormat) {
            fmtSize = chunk.cksize < sizeof(WAVEFORMATEX) ? uint32_t(sizeof(WAVEFORMATEX)) : chunk.cksize;
            m_fileFormat = trelvox::AllocateBytes(fmtSize);
            if (!m_fileFormat) {
                SetError("Out of memory");
                return false;
            }
            memset(m_fileFormat.get(), 0, fmtSize);
            LONG wanted = static_cast<LONG>(chunk.cksize);
            if (mmioRead(m_file.get(), reinterpret_cast<HPSTR>(m_fileFormat.get()), wanted) != wanted) {
                SetError("File format is invalid or corrupted");
                return false;
            }
            auto* wfx = reinterpret_cast<WAVEFORMATEX*>(m_fileFormat.get());
            if (wfx->wFormatTag == WAVE_FORMAT_PCM)
                wfx->cbSize = 0;
            // ACM reads 18 + cbSize bytes of a compressed format: they must all be in the chunk.
            if (sizeof(WAVEFORMATEX) + wfx->cbSize > fmtSize) {
                SetError("File format is invalid or corrupted");
                return false;
            }
        } else if (chunk.ckid == mmioFOURCC('d', 'a', 't', 'a') && !haveData) {
            haveData = true;
            m_dataOffset = chunk.dwDataOffset;
            dataSize = chunk.cksize;
        }
        if (mmioAscend(m_file.get(), &chunk, 0) != MMSYSERR_NOERROR)
            break;
        chunk = {};
    }
    // An interrupted recording or download: the "data" chunk promises more than the file holds.
    // The whole frames (or codec blocks) that are there play, as other players do.
    const uint32_t present = uint32_t(fileSize) > m_dataOffset ? uint32_t(fileSize) - m_dataOffset : 0;
    if (m_fileFormat && dataSize > present) {
        const uint32_t align = reinterpret_cast<const WAVEFORMATEX*>(m_fileFormat.get())->nBlockAlign;
        dataSize = align ? present - present % align : present;
    }
    if (!m_fileFormat || dataSize == 0) {
        SetError("Length of audio data is zero");
        return false;
    }
    if (mmioSeek(m_file.get(), static_cast<LONG>(m_dataOffset), SEEK_SET) == -1) {
        SetError("File format is invalid or corrupted");
        return false;
    }
    m_dataLeft = dataSize;
    auto* fileFormat = reinterpret_cast<WAVEFORMATEX*>(m_fileFormat.get());
    if (fileFormat->wFormatTag == WAVE_FORMAT_PCM) {
        // A "fmt " cut short (the 14-byte WAVEFORMAT has no sample size) or with zero fields
        // describes no stream that can be played in whole frames.
        if (fileFormat->nChannels == 0 || fileFormat->wBitsPerSample == 0 || fileFormat->nBlockAlign == 0 ||
            fileFormat->nAvgBytesPerSec == 0) {
            SetError("File format is invalid or corrupted");
            return false;
        }
        memcpy(&m_format, fileFormat, sizeof(WAVEFORMATEX));
        m_fileFormat.reset();
        m_totalBytes = dataSize;
        return true;
    }

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
