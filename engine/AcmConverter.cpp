#include "AcmConverter.h"

#include <string.h>

namespace trelvox {

#if defined(__i386__)
static_assert(sizeof(ACMSTREAMHEADER) == 84, "ACM stream header of the 32-bit ABI");
#endif

void AcmConverter::Reset(HACMSTREAM stream) {
    m_stream.reset(stream);
    m_carry.reset();
    m_carryBytes = 0;
}

bool AcmConverter::Write(const void* input, uint32_t bytes, const CDefErrLog& log, const Output& output) {
    const uint8_t* data = static_cast<const uint8_t*>(input);
    UniqueBytes joined;
    uint32_t total = bytes;
    if (m_carryBytes != 0) {
        total = m_carryBytes + bytes;
        joined = AllocateBytes(total);
        if (!joined) {
            log.SetError("Out of memory");
            return false;
        }
        memcpy(joined.get(), m_carry.get(), m_carryBytes);
        if (bytes != 0)
            memcpy(joined.get() + m_carryBytes, input, bytes);
        m_carry.reset();
        m_carryBytes = 0;
        data = joined.get();
    }
    return Convert(data, total, ACM_STREAMCONVERTF_BLOCKALIGN, true, log, output);
}

bool AcmConverter::Flush(const CDefErrLog& log, const Output& output) {
    UniqueBytes rest = std::move(m_carry);
    uint32_t restBytes = m_carryBytes;
    m_carryBytes = 0;
    return Convert(rest.get(), restBytes, 0, false, log, output);
}

bool AcmConverter::Convert(const uint8_t* input, uint32_t bytes, DWORD flags, bool keepRest,
                           const CDefErrLog& log, const Output& output) {
    if (bytes == 0 || !m_stream)
        return true;
    DWORD capacity = 0;
    MMRESULT result = acmStreamSize(m_stream.get(), bytes, &capacity, ACM_STREAMSIZEF_SOURCE);
    if (result == ACMERR_NOTPOSSIBLE) {
        // Less than one codec block so far: it all waits for the next Write. At the end, a
        // block codec that encodes only whole blocks (Wine's IMA ADPCM encoder cannot even
        // size a partial one) leaves it out: less than one block, some tens of milliseconds.
        return keepRest ? KeepRest(input, bytes, log) : true;
    }
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream size cannot be estimated (ACM error %d)", static_cast<int>(result));
        return false;
    }
    UniqueBytes converted = AllocateBytes(capacity);
    if (!converted) {
        log.SetError("Out of memory");
        return false;
    }
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof(header);
    header.pbSrc = const_cast<uint8_t*>(input);
    header.cbSrcLength = bytes;
    header.pbDst = converted.get();
    header.cbDstLength = capacity;
    result = acmStreamPrepareHeader(m_stream.get(), &header, 0);
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream header cannot be prepared (ACM error %d)", static_cast<int>(result));
        return false;
    }
    result = acmStreamConvert(m_stream.get(), &header, flags);
    acmStreamUnprepareHeader(m_stream.get(), &header, 0);
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream cannot be converted (ACM error %d)", static_cast<int>(result));
        return false;
    }
    uint32_t used = header.cbSrcLengthUsed < bytes ? header.cbSrcLengthUsed : bytes;
    if (keepRest && !KeepRest(input + used, bytes - used, log))
        return false;
    uint32_t produced = header.cbDstLengthUsed < capacity ? header.cbDstLengthUsed : capacity;
    return produced == 0 || output(converted.get(), produced);
}

bool AcmConverter::KeepRest(const uint8_t* rest, uint32_t bytes, const CDefErrLog& log) {
    if (bytes == 0)
        return true;
    m_carry = AllocateBytes(bytes);
    if (!m_carry) {
        log.SetError("Out of memory");
        return false;
    }
    memcpy(m_carry.get(), rest, bytes);
    m_carryBytes = bytes;
    return true;
}

} // namespace trelvox
