#include "Recorder.h"

namespace cdengine {

int SpeedFactor(int index) {
    static const int kFactors[kSpeedIndexCount] = {1,  2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,
                                                   24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 52, 72};
    if (index == kSpeedIndexMax)
        return 0;
    return index >= 0 && index < kSpeedIndexCount ? kFactors[index] : -1;
}

Status BuildWriteLayout(const std::vector<std::string>&, WriteLayout&) {
    return Status{kErrNotImplemented, 0};
}

Status WriteDiscAtOnce(Drive&, const WriteLayout&, const WriteOptions&) {
    return Status{kErrNotImplemented, 0};
}

Status ReadDiscSpace(Drive&, DiscSpace&) {
    return Status{kErrNotImplemented, 0};
}

int MaxWriteSpeedIndex(Drive&) {
    return -1;
}

std::string WriteFailureMessage(const Status& status) {
    return ErrorText(status.code);
}

} // namespace cdengine
