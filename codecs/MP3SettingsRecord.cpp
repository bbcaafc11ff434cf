#include "MP3SettingsRecord.h"

#include "TextRules.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

constexpr const char* kRateUnits[] = {"kbps", "bps"};
constexpr const char* kSampleRateUnits[] = {"kHz", "Hz"};

constexpr const char* kRateMessage = "Value must be a number ended by either kbps, bps or nothing";
constexpr const char* kSampleRateMessage = "Value must be a number ended by either kHz, Hz or nothing";
constexpr const char* kQualityMessage =
    "Value must be a number between 10 and 100 (and must be divisible by 10)";
constexpr const char* kSwitchMessage =
    "Value either 'on' or 'off'. If no value is specified, 'on' will be used";

// Options that used to mean something and are refused with a fixed explanation.
struct RetiredOption {
    const char* name;
    const char* message;
};
constexpr RetiredOption kRetired[] = {
    {"encoder", "The --encoder switch is no longer supported. LAME encoder is used."},
    {"mpeg-ii", "The --mpeg-ii switch is no longer supported."},
    {"channels", "The --channels switch is no longer supported."},
    {"enable-vbr", "The --enable-vbr switch is obsolete. Use --vbr-mode"},
};

constexpr const char* kModeNames[] = {"CBR", "VBR", "ABR", "Fast VBR"};

bool HasValue(const char* value) {
    return value && *value;
}

void Tell(char* message, const char* text) {
    if (message)
        strcpy(message, text);
}

// Takes long long: a kHz value times 1000 is beyond a 32-bit long.
int32_t Clamp32(long long value) {
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// "on" or no value: 1; "off": 0; anything else: -1.
int SwitchValue(const char* value) {
    if (!HasValue(value) || trelvox::EqualsIgnoringCase(value, "on"))
        return 1;
    if (trelvox::EqualsIgnoringCase(value, "off"))
        return 0;
    return -1;
}

} // namespace

namespace trelvox {

bool ParseMP3Number(const char* value, const char* const* units, size_t unitCount, long* number,
                    int* unitIndex) {
    if (!value)
        return false;
    const char* p = value;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    long long result = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (result < LLONG_MAX / 100)
            result = result * 10 + (*p - '0');
    }
    if (negative)
        result = -result;
    int unit = -1;
    if (*p) {
        for (size_t i = 0; i < unitCount && unit < 0; ++i) {
            if (trelvox::EqualsIgnoringCase(p, units[i]))
                unit = static_cast<int>(i);
        }
        if (unit < 0)
            return false;
    }
    *number = result > LONG_MAX ? LONG_MAX : result < LONG_MIN ? LONG_MIN : static_cast<long>(result);
    *unitIndex = unit;
    return true;
}

} // namespace trelvox

bool MP3SETTINGS::GetText(char* buf, int size) const {
    if (!buf || size <= 0)
        return false;
    // An unknown stored mode is encoded as ABR, so it is described as ABR.
    int32_t shown = mode >= kCBR && mode <= kFastVBR ? mode : kABR;
    char amount[64];
    if (shown == kVBR || shown == kFastVBR)
        snprintf(amount, sizeof(amount), "Quality %d%%", static_cast<int>(vbrQuality));
    else
        snprintf(amount, sizeof(amount), "%d kbps", static_cast<int>(bitrate));
    char rate[32] = "";
    if (sampleRate != 0)
        snprintf(rate, sizeof(rate), "; %i kHz", static_cast<int>(sampleRate / 1000));
    char text[160];
    snprintf(text, sizeof(text), "%s %s%s", kModeNames[shown], amount, rate);
    trelvox::CopyTruncated(buf, static_cast<size_t>(size), text);
    return true;
}

bool MP3SETTINGS::SetOption(const char* name, const char* value, char* message) {
    if (!name) {
        Tell(message, "");
        return false;
    }
    for (const RetiredOption& retired : kRetired) {
        if (trelvox::EqualsIgnoringCase(name, retired.name)) {
            Tell(message, retired.message);
            return false;
        }
    }
    if (trelvox::EqualsIgnoringCase(name, "vbr-mode")) {
        if (!HasValue(value)) {
            Tell(message, "Use --vbr-mode=... with either CBR, VBR, FASTVBR or ABR");
            return false;
        }
        static const char* const kModes[] = {"cbr", "vbr", "abr", "fastvbr"};
        for (int32_t i = 0; i < 4; ++i) {
            if (trelvox::EqualsIgnoringCase(value, kModes[i])) {
                mode = i;
                return true;
            }
        }
        Tell(message, "Value can be either CBR, VBR, FASTVBR or ABR.");
        return false;
    }
    long number = 0;
    int unit = -1;
    bool isBitrate = trelvox::EqualsIgnoringCase(name, "bitrate");
    if (isBitrate || trelvox::EqualsIgnoringCase(name, "max-bitrate")) {
        if (!trelvox::ParseMP3Number(value, kRateUnits, 2, &number, &unit)) {
            Tell(message, kRateMessage);
            return false;
        }
        int32_t kbps = Clamp32(unit == 1 ? number / 1000 : number);
        (isBitrate ? bitrate : maxBitrate) = kbps;
        return true;
    }
    if (trelvox::EqualsIgnoringCase(name, "sample-rate")) {
        if (!trelvox::ParseMP3Number(value, kSampleRateUnits, 2, &number, &unit)) {
            Tell(message, kSampleRateMessage);
            return false;
        }
        sampleRate = Clamp32(unit == 0 ? Clamp32(number) * 1000LL : number);
        return true;
    }
    if (trelvox::EqualsIgnoringCase(name, "vbr-quality")) {
        if (!trelvox::ParseMP3Number(value, nullptr, 0, &number, &unit) || number < 10 || number > 100 ||
            number % 10 != 0) {
            Tell(message, kQualityMessage);
            return false;
        }
        vbrQuality = static_cast<int32_t>(number);
        return true;
    }
    struct Switch {
        const char* name;
        int32_t MP3SETTINGS::*field;
    };
    static const Switch kSwitches[] = {
        {"joint-stereo", &MP3SETTINGS::jointStereo},
        {"iso", &MP3SETTINGS::strictIso},
        {"crc", &MP3SETTINGS::crc},
        {"original", &MP3SETTINGS::original},
        {"copyright", &MP3SETTINGS::copyright},
        {"private", &MP3SETTINGS::privateBit},
    };
    for (const Switch& option : kSwitches) {
        if (!trelvox::EqualsIgnoringCase(name, option.name))
            continue;
        int on = SwitchValue(value);
        if (on < 0) {
            Tell(message, kSwitchMessage);
            return false;
        }
        this->*option.field = on;
        return true;
    }
    Tell(message, "");
    return false;
}
