// The MP3 record's place in the settings store: section "MP3", value "LAMESettings".
#include "MP3SettingsRecord.h"
#include "Trelvox.h"

namespace {

constexpr const char* kSection = "MP3";
constexpr const char* kKey = "LAMESettings";

} // namespace

void MP3SETTINGS::Load() {
    *this = MP3SETTINGS();
    MP3SETTINGS stored;
    uint32_t size = sizeof(stored);
    // A value of another size is someone else's layout: keep the defaults. A longer value
    // reads as a failure (the buffer is too small), a shorter one reports its length.
    if (GetProfileBinary(kSection, kKey, &stored, &size) && size == sizeof(stored))
        *this = stored;
    maxBitrate = 320;
}

void MP3SETTINGS::Save() const {
    PutProfileBinary(kSection, kKey, this, sizeof(*this));
}
