#include "WaveSettingsRecord.h"

#include "PathText.h"
#include "Trelvox.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr const char* kSection = "WAV";

// What an acmFormatEnum search is looking for, and where the match goes.
struct FormatSearch {
    const char* name;
    WAVSETTINGS* record;
    bool found;
};

BOOL CALLBACK MatchFormatTag(HACMDRIVERID, LPACMFORMATTAGDETAILSA details, DWORD_PTR instance, DWORD) {
    auto* search = reinterpret_cast<FormatSearch*>(instance);
    if (lstrcmpiA(details->szFormatTag, search->name) != 0)
        return TRUE;
    search->record->formatTag = details->dwFormatTag;
    search->record->DropFormat();
    search->found = true;
    return FALSE;
}

BOOL CALLBACK MatchFormat(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR instance, DWORD) {
    auto* search = reinterpret_cast<FormatSearch*>(instance);
    if (lstrcmpiA(details->szFormat, search->name) != 0)
        return TRUE;
    search->found = search->record->SetFormat(details->pwfx);
    return !search->found;
}

} // namespace

namespace trelvox {

uint32_t FormatBlockSize(const WAVEFORMATEX* format) {
    if (format->wFormatTag == WAVE_FORMAT_PCM)
        return sizeof(WAVEFORMATEX);
    return sizeof(WAVEFORMATEX) + format->cbSize;
}

uint32_t MaxAcmFormatSize() {
    DWORD size = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size) != MMSYSERR_NOERROR ||
        size < sizeof(WAVEFORMATEX))
        size = sizeof(WAVEFORMATEX);
    return size;
}

} // namespace trelvox

WAVSETTINGS::WAVSETTINGS(const WAVSETTINGS& other) {
    *this = other;
}

WAVSETTINGS& WAVSETTINGS::operator=(const WAVSETTINGS& other) {
    if (this == &other)
        return *this;
    DropFormat();
    if (other.size != 0) {
        pwfx = trelvox::AllocateBytes(other.size);
        if (pwfx) {
            memcpy(pwfx.get(), other.pwfx.get(), other.size);
            size = other.size;
        }
    }
    formatTag = other.formatTag;
    return *this;
}

bool WAVSETTINGS::SetFormat(const WAVEFORMATEX* format) {
    uint32_t bytes = trelvox::FormatBlockSize(format);
    trelvox::UniqueBytes block = trelvox::AllocateBytes(bytes);
    if (!block)
        return false;
    memcpy(block.get(), format, bytes);
    if (format->wFormatTag == WAVE_FORMAT_PCM)
        reinterpret_cast<WAVEFORMATEX*>(block.get())->cbSize = 0;
    pwfx = std::move(block);
    size = bytes;
    return true;
}

void WAVSETTINGS::DropFormat() {
    pwfx.reset();
    size = 0;
}

void WAVSETTINGS::Load() {
    DropFormat();
    int stored = 0;
    GetProfileIntA(kSection, "WaveFormatExSize", &stored);
    if (stored > 0) {
        uint32_t bytes = static_cast<uint32_t>(stored);
        trelvox::UniqueBytes block = trelvox::AllocateBytes(bytes);
        const auto* format = reinterpret_cast<const WAVEFORMATEX*>(block.get());
        // A stored block must hold the fixed fields and exactly the extra bytes its cbSize
        // announces (ACM reads that many), or nothing can use it and none counts as stored.
        if (block && bytes >= sizeof(WAVEFORMATEX) &&
            GetProfileBinary(kSection, "WaveFormatEx", block.get(), &bytes) &&
            bytes == static_cast<uint32_t>(stored) && bytes == trelvox::FormatBlockSize(format))
            SetFormat(format);
    }
    int tag = static_cast<int>(formatTag);
    GetProfileIntA(kSection, "FormatTag", &tag);
    formatTag = static_cast<uint32_t>(tag);
}

void WAVSETTINGS::Save() const {
    PutProfileInt(kSection, "WaveFormatExSize", static_cast<int>(size));
    if (size != 0)
        PutProfileBinary(kSection, "WaveFormatEx", pwfx.get(), size);
    PutProfileInt(kSection, "FormatTag", static_cast<int>(formatTag));
}

bool WAVSETTINGS::GetText(char* buf, int bufSize) const {
    if (!buf || bufSize <= 0)
        return false;
    ACMFORMATTAGDETAILSA tag = {};
    tag.cbStruct = sizeof(tag);
    tag.dwFormatTag = size != 0 ? Format()->wFormatTag : formatTag;
    if (acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG) != MMSYSERR_NOERROR)
        snprintf(tag.szFormatTag, sizeof(tag.szFormatTag), "Format tag %lu", tag.dwFormatTag);

    ACMFORMATDETAILSA format = {};
    const char* formatName = "auto detection";
    if (size != 0) {
        format.cbStruct = sizeof(format);
        format.dwFormatTag = Format()->wFormatTag;
        format.pwfx = reinterpret_cast<WAVEFORMATEX*>(pwfx.get());
        format.cbwfx = size;
        if (acmFormatDetailsA(nullptr, &format, ACM_FORMATDETAILSF_FORMAT) == MMSYSERR_NOERROR)
            formatName = format.szFormat;
        else
            formatName = "unknown format";
    }
    char text[sizeof(tag.szFormatTag) + sizeof(format.szFormat) + 2];
    snprintf(text, sizeof(text), "%s; %s", tag.szFormatTag, formatName);
    trelvox::CopyTruncated(buf, static_cast<size_t>(bufSize), text);
    return true;
}

bool WAVSETTINGS::SelectCodec(const char* name) {
    if (!name)
        return false;
    FormatSearch search = {name, this, false};
    ACMFORMATTAGDETAILSA details = {};
    details.cbStruct = sizeof(details);
    acmFormatTagEnumA(nullptr, &details, MatchFormatTag, reinterpret_cast<DWORD_PTR>(&search), 0);
    return search.found;
}

bool WAVSETTINGS::SelectFormat(const char* name) {
    if (!name)
        return false;
    uint32_t maxSize = trelvox::MaxAcmFormatSize();
    trelvox::UniqueBytes scratch = trelvox::AllocateBytes(maxSize);
    if (!scratch)
        return false;
    memset(scratch.get(), 0, maxSize);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(scratch.get());
    wfx->wFormatTag = static_cast<WORD>(formatTag);
    FormatSearch search = {name, this, false};
    ACMFORMATDETAILSA details = {};
    details.cbStruct = sizeof(details);
    details.dwFormatTag = formatTag;
    details.pwfx = wfx;
    details.cbwfx = maxSize;
    acmFormatEnumA(nullptr, &details, MatchFormat, reinterpret_cast<DWORD_PTR>(&search),
                   ACM_FORMATENUMF_WFORMATTAG);
    return search.found;
}
