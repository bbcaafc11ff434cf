#include "WMASettingsRecord.h"

#include "Trelvox.h"

namespace {

constexpr const char* kSection = "WMA9";
constexpr const char* kKey = "General";

} // namespace

void WMASETTINGS::Load() {
    *this = WMASETTINGS();
    WMASETTINGS stored;
    uint32_t size = sizeof(stored);
    if (GetProfileBinary(kSection, kKey, &stored, &size) && size == sizeof(stored))
        *this = stored;
}

void WMASETTINGS::Save() const {
    PutProfileBinary(kSection, kKey, this, sizeof(*this));
}

namespace trelvox {

int32_t WmaCodecForFormatTag(uint16_t tag) {
    // Windows Media Audio, ACELP.net, Windows Media Audio Voice, Professional and Lossless:
    // the runtime's usual codec order.
    switch (tag) {
    case 0x0161:
        return 0;
    case 0x0130:
        return 1;
    case 0x000A:
        return 2;
    case 0x0162:
        return 3;
    case 0x0163:
        return 4;
    }
    return -1;
}

} // namespace trelvox
