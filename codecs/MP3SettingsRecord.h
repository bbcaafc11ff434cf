// The MP3 destination's settings record and the option strings that change it.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Twelve 32-bit words, stored as they are in the registry value "LAMESettings" of section
// "MP3". Bit rates are in kbps, the sample rate in Hz.
struct MP3SETTINGS {
    enum Mode : int32_t { kCBR = 0, kVBR = 1, kABR = 2, kFastVBR = 3 };

    int32_t mode = kABR;
    int32_t bitrate = 128;    // CBR and ABR
    int32_t maxBitrate = 320; // never survives a load
    int32_t vbrQuality = 70;  // 10..100 in steps of 10
    int32_t quality = 5;      // encoder quality 0..9
    int32_t sampleRate = 0;   // output rate; 0 = the input's rate
    int32_t jointStereo = 1;
    int32_t original = 0;
    int32_t copyright = 0;
    int32_t privateBit = 0;
    int32_t strictIso = 0; // kept and saved; the encoder is never asked for strict ISO
    int32_t crc = 0;

    // The defaults, replaced by the stored record only when that is exactly 48 bytes; the
    // maximum bit rate is 320 afterwards either way.
    void Load();
    void Save() const;

    // "ABR 128 kbps", "VBR Quality 70%", with "; 44 kHz" when resampling; cut to size-1
    // characters. False only for a null or empty buffer.
    bool GetText(char* buf, int size) const;

    // One option of the MP3 option table. name is compared without regard to case; value is
    // null when none was given. On false the record is unchanged and message (when not null)
    // receives the reason: empty for an unknown name.
    bool SetOption(const char* name, const char* value, char* message);
};
static_assert(sizeof(MP3SETTINGS) == 48, "MP3SETTINGS is twelve words");
static_assert(offsetof(MP3SETTINGS, maxBitrate) == 8, "MP3SETTINGS layout");
static_assert(offsetof(MP3SETTINGS, sampleRate) == 20, "MP3SETTINGS layout");
static_assert(offsetof(MP3SETTINGS, crc) == 44, "MP3SETTINGS layout");

namespace trelvox {

// The number parsing of MP3 options: optional leading blanks and sign, at least one digit,
// then either nothing or one of units (compared without regard to case). unitIndex receives
// the matched unit (-1 for none). False when the value does not have that shape.
bool ParseMP3Number(const char* value, const char* const* units, size_t unitCount, long* number,
                    int* unitIndex);

} // namespace trelvox
