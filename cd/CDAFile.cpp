#include "CDAFile.h"

#include "CDARecord.h"
#include "MmioReader.h"
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
    trelvox::MmioReader reader(file.get());
    cdrip::TrackRecord record;
    if (!cdrip::ReadCdaRecord(reader, record)) {
        TX_TRACE(cd, "%s: not a RIFF form CDDA with a 24-byte fmt chunk", m_path);
        return E_FAIL;
    }
    m_record = record;
    if (out)
        *out = m_record;
    return S_OK;
}
