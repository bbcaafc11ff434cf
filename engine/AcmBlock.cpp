#include "AcmBlock.h"

namespace trelvox {

#if defined(__i386__)
static_assert(sizeof(ACMSTREAMHEADER) == 84, "ACM stream header of the 32-bit ABI");
#endif

AcmResult ConvertAcmBlock(HACMSTREAM stream, const uint8_t* input, uint32_t bytes, DWORD flags,
                          const CDefErrLog& log, AcmBlock& out) {
    out = AcmBlock();
    DWORD capacity = 0;
    MMRESULT result = acmStreamSize(stream, bytes, &capacity, ACM_STREAMSIZEF_SOURCE);
    if (result == ACMERR_NOTPOSSIBLE)
        return AcmResult::TooShort;
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream size cannot be estimated (ACM error %d)", static_cast<int>(result));
        return AcmResult::Failed;
    }
    out.data = AllocateBytes(capacity);
    if (!out.data) {
        log.SetError("Out of memory");
        return AcmResult::Failed;
    }
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof(header);
    header.pbSrc = const_cast<uint8_t*>(input);
    header.cbSrcLength = bytes;
    header.pbDst = out.data.get();
    header.cbDstLength = capacity;
    result = acmStreamPrepareHeader(stream, &header, 0);
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream header cannot be prepared (ACM error %d)", static_cast<int>(result));
        return AcmResult::Failed;
    }
    result = acmStreamConvert(stream, &header, flags);
    acmStreamUnprepareHeader(stream, &header, 0);
    if (result != MMSYSERR_NOERROR) {
        log.SetError("Stream cannot be converted (ACM error %d)", static_cast<int>(result));
        return AcmResult::Failed;
    }
    out.bytes = header.cbDstLengthUsed < capacity ? header.cbDstLengthUsed : capacity;
    out.used = header.cbSrcLengthUsed < bytes ? header.cbSrcLengthUsed : bytes;
    return AcmResult::Converted;
}

} // namespace trelvox
