#include "CDAFile.h"

#include "Handles.h"
#include "Trace.h"

#include <string.h>

void CCDAFile::SetPath(const char* path) {
    m_path[0] = '\0';
    if (path)
        lstrcpynA(m_path, path, MAX_PATH);
}

HRESULT CCDAFile::ReadRecord(cdrip::TrackRecord* out) {
    if (!m_path[0])
        return E_INVALIDARG;
    trelvox::UniqueMmio file(mmioOpenA(m_path, nullptr, MMIO_READ | MMIO_DENYNONE));
    if (!file) {
        TX_TRACE(cd, "%s: cannot be opened", m_path);
        return E_FAIL;
    }
    MMCKINFO form = {};
    form.fccType = mmioFOURCC('C', 'D', 'D', 'A');
    if (mmioDescend(file.get(), &form, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        TX_TRACE(cd, "%s: not a RIFF form CDDA", m_path);
        return E_FAIL;
    }
    bool found = false;
    MMCKINFO chunk = {};
    while (mmioDescend(file.get(), &chunk, &form, 0) == MMSYSERR_NOERROR) {
        uint8_t bytes[cdrip::kTrackRecordBytes];
        if (chunk.ckid == mmioFOURCC('f', 'm', 't', ' ') && chunk.cksize == cdrip::kTrackRecordBytes &&
            mmioRead(file.get(), reinterpret_cast<HPSTR>(bytes), sizeof(bytes)) == sizeof(bytes)) {
            m_record = cdrip::DecodeTrackRecord(bytes);
            found = true;
        }
        if (mmioAscend(file.get(), &chunk, 0) != MMSYSERR_NOERROR)
            break;
    }
    if (!found) {
        TX_TRACE(cd, "%s: no 24-byte fmt chunk", m_path);
        return E_FAIL;
    }
    if (out)
        *out = m_record;
    return S_OK;
}
