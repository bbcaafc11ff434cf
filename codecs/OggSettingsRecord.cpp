#include "OggSettingsRecord.h"

#include "TextRules.h"

#include <stdlib.h>

namespace {

// The leading decimal number of text (a sign accepted; what follows the digits is ignored;
// no digits give 0). Beyond 32 bits it saturates, as strtol does where long has 32 bits.
int32_t LeadingNumber(const char* text) {
    long number = strtol(text, nullptr, 10);
    return number > INT32_MAX ? INT32_MAX : number < INT32_MIN ? INT32_MIN : static_cast<int32_t>(number);
}

} // namespace

using trelvox::EqualsIgnoringCase;

bool OGGSETTINGS::SetOption(const char* name, const char* value) {
    if (!name)
        return false;
    if (EqualsIgnoringCase(name, "quality-based")) {
        qualityMode = !(value && EqualsIgnoringCase(value, "no"));
        return true;
    }
    // Every other option needs a number: without a value the record stays as it is. A value
    // without digits, the empty one included, reads as 0.
    bool known = EqualsIgnoringCase(name, "quality") || EqualsIgnoringCase(name, "avg-bitrate") ||
                 EqualsIgnoringCase(name, "min-bitrate") || EqualsIgnoringCase(name, "max-bitrate");
    if (!known || !value)
        return false;
    int32_t number = LeadingNumber(value);
    if (EqualsIgnoringCase(name, "quality")) {
        quality = number < 0 ? 0 : number > 100 ? 100 : number;
    } else if (EqualsIgnoringCase(name, "avg-bitrate")) {
        avgBitrate = trelvox::SnapOggBitrate(number);
    } else if (EqualsIgnoringCase(name, "min-bitrate")) {
        useMinBitrate = number > 0;
        if (number > 0)
            minBitrate = trelvox::SnapOggBitrate(number);
    } else {
        useMaxBitrate = number > 0;
        if (number > 0)
            maxBitrate = trelvox::SnapOggBitrate(number);
    }
    return true;
}
