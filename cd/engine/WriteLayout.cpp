#include "WriteLayout.h"

#include "DiscLayout.h"

#include <string.h>

#include <algorithm>

namespace cdengine {

namespace {

constexpr int kFactors[kSpeedIndexCount] = {1,  2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,
                                            24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 52, 72};

// At most this many packs fit into one language block: its sequence numbers are one byte,
// and a reader asks for 255 of them.
constexpr size_t kMaxPacks = 255;
constexpr size_t kPackBytes = 18;

uint8_t Bcd(int value) {
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

void PutMsf(uint8_t* p, uint32_t frames) {
    p[0] = static_cast<uint8_t>(frames / 4500);
    p[1] = static_cast<uint8_t>(frames / 75 % 60);
    p[2] = static_cast<uint8_t>(frames % 75);
}

// The text kinds in pack-type order (80h title .. 85h message).
std::string TrackText::*const kKinds[] = {&TrackText::title,    &TrackText::performer, &TrackText::songwriter,
                                          &TrackText::composer, &TrackText::arranger,  &TrackText::message};

} // namespace

int SpeedFactor(int index) {
    if (index == kSpeedIndexMax)
        return 0;
    return index >= 0 && index < kSpeedIndexCount ? kFactors[index] : -1;
}

int SpeedIndexOf(uint32_t kbps) {
    // 1x is 176.4 kB/s; drives round it either way.
    uint32_t factor = (kbps * 10 + 882) / 1764;
    int index = 0;
    for (int i = 0; i < kSpeedIndexCount; ++i)
        if (static_cast<uint32_t>(kFactors[i]) <= factor)
            index = i;
    return index;
}

uint32_t MaxWriteKbps(const uint8_t* page, size_t size) {
    if (size < 2)
        return 0;
    size = std::min(size, static_cast<size_t>(page[1]) + 2);
    uint32_t best = size >= 20 ? static_cast<uint32_t>(page[18] << 8 | page[19]) : 0;
    if (size >= 32) {
        size_t count = page[30] << 8 | page[31];
        for (size_t i = 0; i < count && 32 + 4 * i + 4 <= size; ++i)
            best = std::max<uint32_t>(best, page[32 + 4 * i + 2] << 8 | page[32 + 4 * i + 3]);
    }
    return best;
}

bool CdTextBlock::empty() const {
    auto blank = [](const TrackText& text) {
        for (std::string TrackText::*kind : kKinds)
            if (!(text.*kind).empty())
                return false;
        return true;
    };
    return blank(disc) && std::all_of(tracks.begin(), tracks.end(), blank);
}

Status LayoutTracks(const std::vector<std::string>& paths, const std::vector<uint64_t>& bytes,
                    WriteLayout& layout) {
    if (bytes.empty() || bytes.size() > 99)
        return Status{kErrBadArgument, static_cast<int>(bytes.size())};
    WriteLayout out;
    uint32_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint64_t frames = (bytes[i] + kAudioFrameBytes - 1) / kAudioFrameBytes;
        // A disc holds less than 100 minutes; anything longer cannot be a track.
        if (frames == 0 || frames > 100 * 60 * 75 || start + frames > 100 * 60 * 75)
            return Status{kErrBadArgument, static_cast<int>(i + 1)};
        WriteTrack track;
        track.path = i < paths.size() ? paths[i] : std::string();
        track.bytes = bytes[i];
        track.start = start;
        track.length = static_cast<uint32_t>(frames);
        start += track.length;
        out.tracks.push_back(track);
    }
    out.totalFrames = start;
    layout = std::move(out);
    return Status();
}

Status AttachCdText(WriteLayout& layout, const CdTextBlock& text) {
    if (text.tracks.size() > layout.tracks.size())
        return Status{kErrBadArgument, static_cast<int>(text.tracks.size())};
    size_t packs = BuildCdTextPacks(text, static_cast<int>(layout.tracks.size())).size() / kPackBytes;
    if (packs > kMaxPacks)
        return Status{kErrCdTextTooLong, static_cast<int>(packs)};
    layout.text = text;
    return Status();
}

std::vector<uint8_t> BuildCueSheet(const WriteLayout& layout) {
    std::vector<uint8_t> sheet;
    auto entry = [&](uint8_t track, uint8_t index, uint8_t form, uint32_t msfFrames) {
        // Control 0 (two-channel audio, no pre-emphasis, no copy), address mode 1.
        uint8_t e[8] = {0x01, track, index, form, 0, 0, 0, 0};
        PutMsf(e + 5, msfFrames);
        sheet.insert(sheet.end(), e, e + 8);
    };
    // Lead-in: the drive makes it; with CD-Text the host sends its R-W subchannel (41h).
    entry(0, 0, layout.text.empty() ? 0x01 : 0x41, 0);
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        uint8_t number = Bcd(static_cast<int>(i + 1));
        if (i == 0)
            entry(number, 0, 0x00, 0);
        entry(number, 1, 0x00, layout.tracks[i].start + kPregapFrames);
    }
    entry(0xAA, 1, 0x01, layout.totalFrames + kPregapFrames);
    return sheet;
}

std::vector<uint8_t> BuildCdTextPacks(const CdTextBlock& text, int trackCount) {
    std::vector<uint8_t> packs;
    if (text.empty() || trackCount < 1)
        return packs;
    uint8_t perType[16] = {};
    auto addPack = [&](uint8_t type, uint8_t track, uint8_t position, const uint8_t* bytes) {
        uint8_t pack[kPackBytes] = {type, track, static_cast<uint8_t>(packs.size() / kPackBytes), position};
        memcpy(pack + 4, bytes, 12);
        uint16_t crc = CdTextPackCrc(pack);
        pack[16] = static_cast<uint8_t>(crc >> 8);
        pack[17] = static_cast<uint8_t>(crc);
        packs.insert(packs.end(), pack, pack + kPackBytes);
        ++perType[type & 0x0F];
    };
    for (size_t kind = 0; kind < sizeof(kKinds) / sizeof(kKinds[0]); ++kind) {
        // The disc's string and then each track's, every one ended by a zero byte, cut into
        // packs of 12 bytes. A pack names the string its first byte belongs to and how many of
        // that string's characters went into packs before it (at most 15).
        std::string stream;
        std::vector<uint8_t> owner, position;
        bool any = false;
        for (int track = 0; track <= trackCount; ++track) {
            const std::string* value = nullptr;
            if (track == 0)
                value = &(text.disc.*kKinds[kind]);
            else if (static_cast<size_t>(track) <= text.tracks.size())
                value = &(text.tracks[track - 1].*kKinds[kind]);
            std::string s = value ? value->substr(0, value->find('\0')) : std::string();
            any = any || !s.empty();
            for (size_t k = 0; k <= s.size(); ++k) {
                owner.push_back(static_cast<uint8_t>(track));
                position.push_back(static_cast<uint8_t>(std::min<size_t>(k, 15)));
            }
            stream += s;
            stream += '\0';
        }
        if (!any)
            continue;
        for (size_t at = 0; at < stream.size(); at += 12) {
            uint8_t bytes[12] = {};
            memcpy(bytes, stream.data() + at, std::min<size_t>(12, stream.size() - at));
            addPack(static_cast<uint8_t>(0x80 + kind), owner[at], position[at], bytes);
        }
    }
    // Size information: character set, track range, packs per type, the block's last
    // sequence number and its language.
    uint8_t info[36] = {};
    info[0] = 0x00; // ISO 8859-1
    info[1] = 1;
    info[2] = static_cast<uint8_t>(trackCount);
    perType[0x0F] = 3;
    memcpy(info + 4, perType, 16);
    info[20] = static_cast<uint8_t>(packs.size() / kPackBytes + 2);
    info[28] = 0x09; // English
    for (uint8_t i = 0; i < 3; ++i)
        addPack(0x8F, i, 0, info + 12 * i);
    return packs;
}

void EncodeLeadInFrame(const std::vector<uint8_t>& packs, uint32_t frameIndex,
                       uint8_t out[kLeadInFrameBytes]) {
    size_t count = packs.size() / kPackBytes;
    memset(out, 0, kLeadInFrameBytes);
    if (count == 0)
        return;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint8_t* pack = &packs[(static_cast<size_t>(frameIndex) * 4 + k) % count * kPackBytes];
        // 144 bits into 24 symbols of six, most significant bit first.
        for (int symbol = 0; symbol < 24; ++symbol) {
            int value = 0;
            for (int bit = 0; bit < 6; ++bit) {
                int at = symbol * 6 + bit;
                value = value << 1 | ((pack[at / 8] >> (7 - at % 8)) & 1);
            }
            out[k * 24 + symbol] = static_cast<uint8_t>(value);
        }
    }
}

} // namespace cdengine
