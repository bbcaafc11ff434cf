// cdbench: what the bench's drive model makes of a disc image.
//   cdbench toc CUE         the table of contents and CD-Text, read with READ TOC
//   cdbench cda CUE DIR     writes TrackNN.cda for each audio track into DIR, as the root of
//                           a Windows CD drive lists them
#include "MmcDevice.h"
#include "TrackRecord.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

namespace {

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

bool Run(cdbench::MmcDevice& drive, std::initializer_list<uint8_t> cdb, std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes(cdb);
    cdbench::CommandResult result =
        drive.Execute(bytes.data(), bytes.size(), data.data(), static_cast<uint32_t>(data.size()));
    data.resize(result.transferred);
    if (result.status != cdbench::kStatusGood) {
        fprintf(stderr, "command %02X: sense %X/%02X/%02X\n", bytes[0], result.sense.key, result.sense.asc,
                result.sense.ascq);
        return false;
    }
    return true;
}

int PrintToc(cdbench::MmcDevice& drive) {
    std::vector<uint8_t> toc(804);
    if (!Run(drive, {0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, toc))
        return 1;
    printf("first %d last %d\n", toc[2], toc[3]);
    for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
        const uint8_t* d = &toc[at];
        int32_t lba = static_cast<int32_t>(Be32(d + 4));
        if (d[2] == 0xAA) {
            printf("leadout %d\n", lba);
        } else {
            int32_t next = static_cast<int32_t>(Be32(d + 12));
            printf("track %d %s %d %d\n", d[2], d[1] & 4 ? "data" : "audio", lba, next - lba);
        }
    }
    std::vector<uint8_t> text(4 + 18 * 256);
    if (!Run(drive, {0x43, 0, 5, 0, 0, 0, 0, 0x12, 0x04, 0}, text))
        return 1;
    text.erase(text.begin(), text.begin() + std::min<size_t>(4, text.size()));
    for (size_t at = 0; at + 18 <= text.size(); at += 18)
        if (cdbench::CdTextCrc(&text[at]) != (text[at + 16] << 8 | text[at + 17]))
            printf("crc error in pack %d\n", text[at + 2]);
    for (uint8_t type : {uint8_t(0x80), uint8_t(0x81)})
        for (const auto& entry : cdbench::CdTextStrings(text, type))
            if (!entry.second.empty())
                printf("%s %d %s\n", type == 0x80 ? "title" : "performer", entry.first, entry.second.c_str());
    return 0;
}

int WriteCdaFiles(const cdbench::DiscImage& disc, const std::string& dir) {
    const std::vector<cdbench::DiscTrack>& tracks = disc.Tracks();
    uint32_t key = 0;
    for (const cdbench::DiscTrack& track : tracks)
        if (track.audio)
            key += cdrip::PackLba(track.start);
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (!tracks[i].audio)
            continue;
        cdrip::TrackRecord record = {};
        record.present = 1;
        record.number = static_cast<uint16_t>(tracks[i].number);
        record.discKey = key;
        record.start = static_cast<uint32_t>(tracks[i].start);
        bool dataNext = i + 1 < tracks.size() && !tracks[i + 1].audio;
        record.length = static_cast<uint32_t>(tracks[i].length - (dataNext ? cdbench::kSessionGap : 0));
        record.startMsf = cdrip::PackLba(tracks[i].start);
        record.lengthMsf = cdrip::PackFrames(record.length);
        std::vector<uint8_t> bytes = cdrip::BuildCdaFile(record);
        char name[32];
        snprintf(name, sizeof(name), "Track%02d.cda", tracks[i].number);
        std::string path = dir + "/" + name;
        FILE* file = fopen(path.c_str(), "wb");
        if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            if (file)
                fclose(file);
            return 1;
        }
        fclose(file);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (strcmp(argv[1], "toc") != 0 && strcmp(argv[1], "cda") != 0) ||
        (strcmp(argv[1], "cda") == 0 && argc < 4)) {
        fprintf(stderr, "usage: cdbench toc CUE | cdbench cda CUE DIR\n");
        return 2;
    }
    auto disc = std::make_shared<cdbench::DiscImage>();
    std::string error;
    if (!disc->LoadCue(argv[2], error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (strcmp(argv[1], "cda") == 0)
        return WriteCdaFiles(*disc, argv[3]);
    cdbench::MmcDevice drive;
    drive.Insert(disc, false);
    return PrintToc(drive);
}
