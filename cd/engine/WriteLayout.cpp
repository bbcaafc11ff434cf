#include "WriteLayout.h"

namespace cdengine {

bool CdTextBlock::empty() const {
    return true;
}

Status LayoutTracks(const std::vector<std::string>&, const std::vector<uint64_t>&, WriteLayout&) {
    return Status{kErrNotImplemented, 0};
}

Status AttachCdText(WriteLayout&, const CdTextBlock&) {
    return Status{kErrNotImplemented, 0};
}

std::vector<uint8_t> BuildCueSheet(const WriteLayout&) {
    return {};
}

std::vector<uint8_t> BuildCdTextPacks(const CdTextBlock&, int) {
    return {};
}

void EncodeLeadInFrame(const std::vector<uint8_t>&, uint32_t, uint8_t out[kLeadInFrameBytes]) {
    for (uint32_t i = 0; i < kLeadInFrameBytes; ++i)
        out[i] = 0;
}

} // namespace cdengine
