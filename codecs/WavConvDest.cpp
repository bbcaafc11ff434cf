#include "WavConvDest.h"

#include "AcmConverter.h"

#include <string.h>

namespace {

constexpr const char* kHelpLink = "https://trelvox.example/help/acm-conversion";

// Asks ACM to complete a format of tag `tag` for input. The block is as large as ACM's
// largest format, and cbSize is preset to the room after the fixed fields: Wine's GSM codec
// refuses the suggestion unless cbSize already leaves room for its two extra bytes.
MMRESULT SuggestFormat(const WAVEFORMATEX* input, uint32_t tag, trelvox::UniqueBytes& out) {
    uint32_t size = trelvox::MaxAcmFormatSize();
    out = trelvox::AllocateBytes(size);
    if (!out)
        return MMSYSERR_NOMEM;
    memset(out.get(), 0, size);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(out.get());
    wfx->wFormatTag = static_cast<WORD>(tag);
    wfx->cbSize = static_cast<WORD>(size - sizeof(WAVEFORMATEX));
    return acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(input), wfx, size,
                            ACM_FORMATSUGGESTF_WFORMATTAG);
}

} // namespace

CWavConvDest::CWavConvDest() = default;

CWavConvDest::~CWavConvDest() {
    Close();
}

bool CWavConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_WavConvDest;
    return true;
}

bool CWavConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    // The base has cleared the output path, so what is there after a failure is the file this
    // Open began. The remover goes after the Close below, which closes that file.
    trelvox::FileRemover stub(m_path);
    if (!CreateFileAndFormat()) {
        Close();
        return false;
    }
    stub.Keep();
    return true;
}

bool CWavConvDest::CreateFileAndFormat() {
    char path[MAX_PATH];
    strcpy(path, m_path);
    // Unbuffered: Wine's mmio drops the errors of writing out its buffer, so a full disk would
    // go unnoticed. Writes come in blocks of up to 64 KB and need no buffer of their own.
    m_file.reset(mmioOpenA(path, nullptr, MMIO_CREATE | MMIO_WRITE));
    if (!m_file) {
        SetError("Output file cannot be opened for writing");
        return false;
    }
    m_riffChunk = {};
    m_riffChunk.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioCreateChunk(m_file.get(), &m_riffChunk, MMIO_CREATERIFF) != MMSYSERR_NOERROR) {
        SetError("Wave chunk cannot be created");
        return false;
    }
    MMCKINFO fmtChunk = {};
    fmtChunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioCreateChunk(m_file.get(), &fmtChunk, 0) != MMSYSERR_NOERROR) {
        SetError("FMT chunk cannot be created");
        return false;
    }

    trelvox::UniqueBytes suggested;
    const WAVEFORMATEX* target = nullptr;
    if (m_settings.Record().size != 0) {
        target = m_settings.Record().Format();
    } else if (m_settings.Record().formatTag != m_format.wFormatTag) {
        MMRESULT result = SuggestFormat(&m_format, m_settings.Record().formatTag, suggested);
        if (result != MMSYSERR_NOERROR) {
            SetError("PCM format \"suggestion\" for Wave file failed (ACM error %d)",
                     static_cast<int>(result));
            return false;
        }
        target = reinterpret_cast<const WAVEFORMATEX*>(suggested.get());
    }
    if (target) {
        HACMSTREAM stream = nullptr;
        MMRESULT result = acmStreamOpen(&stream, nullptr, &m_format, const_cast<WAVEFORMATEX*>(target),
                                        nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
        if (result != MMSYSERR_NOERROR) {
            SetError("Conversion stream cannot be opened (ACM error %d)", static_cast<int>(result));
            SetInfo("For information on how to avoid this error, see: %s", kHelpLink);
            return false;
        }
        m_converter.Reset(stream);
    }

    // PCM written as it comes keeps the classic 16-byte "fmt " without a cbSize field. Only the
    // 18 fixed bytes of the input format are held, so extra bytes its cbSize may announce are
    // not there to be written.
    const WAVEFORMATEX* written = target ? target : &m_format;
    LONG formatBytes =
        target ? static_cast<LONG>(sizeof(WAVEFORMATEX) + target->cbSize) : sizeof(PCMWAVEFORMAT);
    if (mmioWrite(m_file.get(), reinterpret_cast<const char*>(written), formatBytes) != formatBytes) {
        SetError("Output file cannot be written");
        return false;
    }
    m_dataChunk = {};
    m_dataChunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioAscend(m_file.get(), &fmtChunk, 0) != MMSYSERR_NOERROR ||
        mmioCreateChunk(m_file.get(), &m_dataChunk, 0) != MMSYSERR_NOERROR) {
        SetError("DATA Chunk cannot be created");
        return false;
    }
    m_dataOpen = true;
    return true;
}

bool CWavConvDest::WriteBytes(const void* data, uint32_t bytes) {
    if (bytes == 0)
        return true;
    LONG written = mmioWrite(m_file.get(), static_cast<const char*>(data), static_cast<LONG>(bytes));
    if (written != static_cast<LONG>(bytes)) {
        SetError("Output file cannot be written");
        return false;
    }
    return true;
}

bool CWavConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!m_dataOpen || (!pcm && bytes != 0)) {
        SetError("Output file cannot be written");
        return false;
    }
    if (!m_converter)
        return WriteBytes(pcm, bytes);
    return m_converter.Write(pcm, bytes, *this,
                             [this](const void* data, uint32_t size) { return WriteBytes(data, size); });
}

bool CWavConvDest::Close() {
    CDefConvertDestination::Close();
    // Failures from here on are reported, and the file is still completed as far as it goes;
    // the result stays true.
    if (m_converter && m_dataOpen)
        m_converter.Flush(*this, [this](const void* data, uint32_t size) { return WriteBytes(data, size); });
    m_converter.Reset();
    // Only a completed Open leaves a file to finish; a failed one removes what it began.
    if (m_dataOpen) {
        // Ascending writes the final sizes of "data" and of the RIFF chunk, and the pad byte
        // of odd data.
        bool written = mmioAscend(m_file.get(), &m_dataChunk, 0) == MMSYSERR_NOERROR;
        written = mmioAscend(m_file.get(), &m_riffChunk, 0) == MMSYSERR_NOERROR && written;
        if (mmioClose(m_file.release(), 0) != MMSYSERR_NOERROR || !written)
            SetError("Output file cannot be written");
    }
    m_file.reset();
    m_dataOpen = false;
    return true;
}

bool CWavConvDest::EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat, uint32_t* outBytes) {
    if (!inFormat || !outBytes || inFormat->nAvgBytesPerSec == 0)
        return false;
    uint32_t targetRate = 0;
    if (m_settings.Record().size != 0) {
        targetRate = m_settings.Record().Format()->nAvgBytesPerSec;
    } else if (m_settings.Record().formatTag == inFormat->wFormatTag) {
        targetRate = inFormat->nAvgBytesPerSec;
    } else {
        trelvox::UniqueBytes suggested;
        if (SuggestFormat(inFormat, m_settings.Record().formatTag, suggested) != MMSYSERR_NOERROR)
            return false;
        targetRate = reinterpret_cast<const WAVEFORMATEX*>(suggested.get())->nAvgBytesPerSec;
    }
    *outBytes =
        static_cast<uint32_t>(double(inBytes) / double(inFormat->nAvgBytesPerSec) * double(targetRate));
    return true;
}

bool CWavConvDest::ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) {
    return m_settings.RunFor<CWavConvDest>(parent, alsoApply, CLSID_WavConvDest);
}

bool CWavConvDest::GetSettingsText(char* buf, int size) {
    return m_settings.Record().GetText(buf, size);
}

bool CWavConvDest::SetOption(const char* name, const char* value, char* message) {
    if (!name)
        return false;
    const char* reason = nullptr;
    if (lstrcmpiA(name, "wave-codec") == 0) {
        if (m_settings.Record().SelectCodec(value))
            return true;
        reason = "ACM Wave Codec was not found";
    } else if (lstrcmpiA(name, "wave-format") == 0) {
        if (m_settings.Record().SelectFormat(value))
            return true;
        reason = "ACM Wave Format was not found";
    } else {
        return false;
    }
    if (message)
        strcpy(message, reason);
    return false;
}
