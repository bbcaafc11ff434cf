#include "DiscLayout.h"

namespace cdengine {

namespace {

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

} // namespace

uint16_t CdTextPackCrc(const uint8_t* pack) {
    uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

bool ParseToc(const uint8_t* answer, size_t size, DiscLayout& layout) {
    layout.tracks.clear();
    layout.leadOut = 0;
    if (size < 4)
        return false;
    size_t end = 2 + (answer[0] << 8 | answer[1]);
    if (end > size)
        end = size;
    std::vector<LayoutTrack> tracks;
    bool haveLeadOut = false;
    for (size_t at = 4; at + 8 <= end; at += 8) {
        const uint8_t* d = answer + at;
        if (d[2] == 0xAA) {
            layout.leadOut = Be32(d + 4);
            haveLeadOut = true;
            break;
        }
        LayoutTrack track;
        track.number = d[2];
        track.start = Be32(d + 4);
        track.data = (d[1] & 0x04) != 0;
        tracks.push_back(track);
    }
    if (tracks.empty() || !haveLeadOut)
        return false;
    for (size_t i = 0; i < tracks.size(); ++i) {
        uint32_t next = i + 1 < tracks.size() ? tracks[i + 1].start : layout.leadOut;
        tracks[i].length = next > tracks[i].start ? next - tracks[i].start : 0;
    }
    layout.tracks = std::move(tracks);
    return true;
}

void ParseCdText(const uint8_t* answer, size_t size, CdText& text) {
    text = CdText();
    if (size < 4)
        return;
    size_t end = 2 + (answer[0] << 8 | answer[1]);
    if (end > size)
        end = size;
    // Each pack carries 12 text bytes; a string goes on in the next pack of its kind and ends
    // at a zero byte, after which the next track's string starts.
    std::string pending[2];
    int pendingTrack[2] = {-1, -1};
    for (size_t at = 4; at + 18 <= end; at += 18) {
        const uint8_t* pack = answer + at;
        if (CdTextPackCrc(pack) != (pack[16] << 8 | pack[17]))
            continue;
        int kind = pack[0] - 0x80;
        int block = (pack[3] >> 4) & 7;
        bool doubleByte = (pack[3] & 0x80) != 0;
        if ((kind != 0 && kind != 1) || block != 0 || doubleByte)
            continue;
        std::vector<std::string>& out = kind == 0 ? text.titles : text.performers;
        int track = pack[1] & 0x7F;
        if (pendingTrack[kind] < 0)
            pendingTrack[kind] = track;
        for (int i = 4; i < 16; ++i) {
            if (pack[i]) {
                pending[kind] += static_cast<char>(pack[i]);
                continue;
            }
            size_t index = static_cast<size_t>(pendingTrack[kind]);
            if (out.size() <= index)
                out.resize(index + 1);
            out[index] = pending[kind];
            pending[kind].clear();
            ++pendingTrack[kind];
        }
    }
    // The last pack of a kind is padded with zeros: no strings of tracks that are not there.
    for (std::vector<std::string>* out : {&text.titles, &text.performers})
        while (!out->empty() && out->back().empty())
            out->pop_back();
}

} // namespace cdengine
