// The Wave destination's settings: which ACM format to write.
#pragma once

#include "Handles.h"

#include <stdint.h>

// The target of a Wave destination. Either a complete WAVEFORMATEX (pwfx, owned, 18 + cbSize
// bytes) or, when none is stored, only the ACM format tag that ACM completes from the input.
// Copies duplicate the format block.
struct WAVSETTINGS {
    WAVSETTINGS() = default;
    WAVSETTINGS(const WAVSETTINGS& other);
    WAVSETTINGS& operator=(const WAVSETTINGS& other);

    const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(pwfx.get()); }
    // Stores a copy of format (18 + cbSize bytes; PCM formats are stored with cbSize 0).
    // False, with the record unchanged, when the memory cannot be had.
    bool SetFormat(const WAVEFORMATEX* format);
    void DropFormat();

    // The "WAV" section of the settings store. Loading keeps the defaults for missing values.
    void Load();
    void Save() const;

    // "<tag name>; <format name>" or "<tag name>; auto detection", cut to size-1 characters.
    bool GetText(char* buf, int size) const;

    // The options "wave-codec" and "wave-format": names as ACM lists them, compared without
    // regard to case. False when no tag or format of that name exists.
    bool SelectCodec(const char* name);
    bool SelectFormat(const char* name);

    trelvox::UniqueBytes pwfx;
    uint32_t size = 0; // bytes of pwfx; 0 when none is stored
    uint32_t formatTag = WAVE_FORMAT_PCM;
};

namespace trelvox {

// The byte count of a WAVEFORMATEX with its extra bytes (PCM has none).
uint32_t FormatBlockSize(const WAVEFORMATEX* format);

// ACM's largest format block, in bytes (at least 18).
uint32_t MaxAcmFormatSize();

} // namespace trelvox
