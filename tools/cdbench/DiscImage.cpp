#include "DiscImage.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

namespace cdbench {

namespace {

bool SeekTo(FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

uint64_t FileSize(FILE* file) {
#ifdef _WIN32
    _fseeki64(file, 0, SEEK_END);
    return static_cast<uint64_t>(_ftelli64(file));
#else
    fseeko(file, 0, SEEK_END);
    return static_cast<uint64_t>(ftello(file));
#endif
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Finds the PCM data of a 44.1 kHz 16-bit stereo WAV file.
bool FindWavData(FILE* file, uint64_t& offset, uint64_t& bytes, std::string& error) {
    uint8_t header[12];
    if (!SeekTo(file, 0) || fread(header, 1, 12, file) != 12 || memcmp(header, "RIFF", 4) != 0 ||
        memcmp(header + 8, "WAVE", 4) != 0) {
        error = "not a RIFF WAVE file";
        return false;
    }
    uint64_t pos = 12;
    bool formatOk = false;
    for (;;) {
        uint8_t chunk[8];
        if (!SeekTo(file, pos) || fread(chunk, 1, 8, file) != 8) {
            error = "no data chunk";
            return false;
        }
        uint32_t size = Le32(chunk + 4);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (size < 16 || fread(fmt, 1, 16, file) != 16)
                break;
            formatOk = Le16(fmt) == 1 && Le16(fmt + 2) == 2 && Le32(fmt + 4) == 44100 && Le16(fmt + 14) == 16;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!formatOk) {
                error = "not 44100 Hz 16-bit stereo PCM";
                return false;
            }
            offset = pos + 8;
            bytes = size;
            return true;
        }
        // In 64 bits: a size near 4 GB must not wrap around to the same chunk again.
        pos += 8 + uint64_t(size) + (size & 1);
    }
    error = "bad fmt chunk";
    return false;
}

} // namespace

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            word = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

uint8_t Bcd(int value) {
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

struct CueTrack {
    int number = 0;
    uint32_t sectorBytes = kFrameBytes;
    uint32_t userDataOffset = 0; // of the 2048 user bytes within a data sector
    bool audio = true;
    size_t file = 0;
    int32_t index0 = -1;
    int32_t index1 = -1;
    int32_t pregap = 0;
    int32_t postgap = 0;
    int session = 1;
    std::string title;
    std::string performer;
    int32_t FileStart() const { return index0 >= 0 ? index0 : index1; }
};

} // namespace

int32_t ParseCueTime(const std::string& text) {
    int m = 0, s = 0, f = 0;
    char tail = 0;
    // Minutes beyond four digits would overflow the frame count; no image is that long.
    if (sscanf(text.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) != 3 || m < 0 || m > 9999 || s < 0 || s > 59 ||
        f < 0 || f > 74)
        return -1;
    return (m * 60 + s) * 75 + f;
}

DiscImage::DiscImage() = default;

DiscImage::~DiscImage() {
    for (File& file : m_files)
        if (file.stream)
            fclose(file.stream);
}

bool DiscImage::LoadCue(const std::string& path, std::string& error) {
    FILE* cue = fopen(path.c_str(), "rb");
    if (!cue) {
        error = "cannot open " + path;
        return false;
    }
    std::string dir;
    size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos)
        dir = path.substr(0, slash + 1);

    std::vector<CueTrack> tracks;
    int session = 1;
    char buffer[1024];
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        error = path + ":" + std::to_string(lineNo) + ": " + what;
        fclose(cue);
        return false;
    };
    while (fgets(buffer, sizeof(buffer), cue)) {
        ++lineNo;
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        std::vector<std::string> w = SplitWords(line);
        if (w.empty())
            continue;
        std::string key = Upper(w[0]);
        if (key == "REM") {
            if (w.size() >= 3 && Upper(w[1]) == "SESSION")
                session = atoi(w[2].c_str());
        } else if (key == "FILE" && w.size() >= 3) {
            File file;
            std::string name = w[1];
            std::string full = name.size() > 1 && (name[0] == '/' || name[1] == ':') ? name : dir + name;
            file.stream = fopen(full.c_str(), "rb");
            if (!file.stream)
                return fail("cannot open " + full);
            m_files.push_back(file);
            std::string type = Upper(w.back());
            if (type == "WAVE") {
                std::string why;
                if (!FindWavData(m_files.back().stream, m_files.back().dataOffset, m_files.back().dataBytes,
                                 why))
                    return fail(full + ": " + why);
            } else if (type == "BINARY") {
                m_files.back().dataBytes = FileSize(m_files.back().stream);
            } else {
                return fail("unsupported file type " + w.back());
            }
        } else if (key == "TRACK" && w.size() >= 3) {
            if (m_files.empty())
                return fail("TRACK before FILE");
            CueTrack track;
            track.number = atoi(w[1].c_str());
            track.file = m_files.size() - 1;
            track.session = session;
            std::string mode = Upper(w[2]);
            track.audio = mode == "AUDIO";
            if (mode == "MODE1/2048")
                track.sectorBytes = 2048;
            else if (mode == "MODE1/2352")
                track.userDataOffset = 16;
            else if (mode == "MODE2/2352")
                track.userDataOffset = 24;
            else if (!track.audio) {
                return fail("unsupported track mode " + w[2]);
            }
            if (track.number < 1 || track.number > 99 ||
                (!tracks.empty() && track.number != tracks.back().number + 1))
                return fail("track numbers must run from 1 to 99 in order");
            tracks.push_back(track);
        } else if (key == "INDEX" && w.size() >= 3 && !tracks.empty()) {
            int32_t time = ParseCueTime(w[2]);
            int index = atoi(w[1].c_str());
            if (time < 0)
                return fail("bad time " + w[2]);
            if (index == 0)
                tracks.back().index0 = time;
            else if (index == 1)
                tracks.back().index1 = time;
        } else if ((key == "PREGAP" || key == "POSTGAP") && w.size() >= 2 && !tracks.empty()) {
            int32_t time = ParseCueTime(w[1]);
            if (time < 0)
                return fail("bad time " + w[1]);
            (key == "PREGAP" ? tracks.back().pregap : tracks.back().postgap) = time;
        } else if (key == "TITLE" && w.size() >= 2) {
            (tracks.empty() ? m_title : tracks.back().title) = w[1];
        } else if (key == "PERFORMER" && w.size() >= 2) {
            (tracks.empty() ? m_performer : tracks.back().performer) = w[1];
        }
    }
    fclose(cue);
    lineNo = 0;
    if (tracks.empty()) {
        error = path + ": no tracks";
        return false;
    }
    for (const CueTrack& track : tracks) {
        if (track.index1 < 0) {
            error = path + ": track " + std::to_string(track.number) + " has no INDEX 01";
            return false;
        }
    }

    // Lay the files end to end; pregaps and the gap in front of a second session take disc
    // frames that no file holds. The sums are 64-bit, and a disc whose addresses (or their
    // times, 150 frames on) would not fit the drive's 32-bit LBAs is refused.
    constexpr int64_t kLastFrame = INT32_MAX - 150;
    int64_t cursor = 0;
    for (size_t f = 0; f < m_files.size(); ++f) {
        std::vector<const CueTrack*> inFile;
        for (const CueTrack& track : tracks)
            if (track.file == f)
                inFile.push_back(&track);
        if (inFile.empty())
            continue;
        const int64_t base = cursor;
        int64_t shift = 0;
        uint64_t byteOffset = static_cast<uint64_t>(inFile[0]->FileStart()) * inFile[0]->sectorBytes;
        for (size_t i = 0; i < inFile.size(); ++i) {
            const CueTrack& track = *inFile[i];
            if (i > 0)
                byteOffset += static_cast<uint64_t>(track.FileStart() - inFile[i - 1]->FileStart()) *
                              inFile[i - 1]->sectorBytes;
            int32_t frames;
            if (i + 1 < inFile.size()) {
                frames = inFile[i + 1]->FileStart() - track.FileStart();
            } else {
                uint64_t left = m_files[f].dataBytes > byteOffset ? m_files[f].dataBytes - byteOffset : 0;
                frames = static_cast<int32_t>((left + track.sectorBytes - 1) / track.sectorBytes);
            }
            if (frames < 0) {
                error = path + ": track " + std::to_string(track.number) + " starts before the one in front";
                return false;
            }
            bool newSession = &track != &tracks.front() && track.session > (&track - 1)->session;
            if (newSession)
                shift += kSessionGap;
            shift += track.pregap;
            const int64_t lba = base + shift + track.FileStart(), start = base + shift + track.index1;
            cursor = lba + frames + track.postgap;
            if (cursor > kLastFrame || start > kLastFrame) {
                error = path + ": track " + std::to_string(track.number) + " ends beyond the last address";
                return false;
            }
            Extent extent;
            extent.lba = static_cast<int32_t>(lba);
            extent.frames = frames;
            extent.file = f;
            extent.offset = byteOffset;
            extent.sectorBytes = track.sectorBytes;
            extent.audio = track.audio;
            m_extents.push_back(extent);
            DiscTrack disc;
            disc.number = track.number;
            disc.audio = track.audio;
            disc.session = track.session;
            disc.start = static_cast<int32_t>(start);
            disc.title = track.title;
            disc.performer = track.performer;
            m_tracks.push_back(disc);
            m_userDataOffsets.push_back(track.userDataOffset);
            shift += track.postgap;
        }
    }
    m_leadOut = static_cast<int32_t>(cursor);
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        m_tracks[i].length =
            (i + 1 < m_tracks.size() ? m_tracks[i + 1].start : m_leadOut) - m_tracks[i].start;
        // No disc has an empty track, nor one that starts where the next one does.
        if (m_tracks[i].length <= 0) {
            error = path + ": track " + std::to_string(m_tracks[i].number) + " has no frames";
            return false;
        }
    }
    return true;
}

const DiscTrack* DiscImage::TrackAt(int32_t lba) const {
    for (size_t i = m_tracks.size(); i-- > 0;) {
        if (lba >= m_tracks[i].start)
            return lba < m_tracks[i].start + m_tracks[i].length ? &m_tracks[i] : nullptr;
    }
    return nullptr;
}

const DiscImage::Extent* DiscImage::ExtentAt(int32_t lba) const {
    for (const Extent& extent : m_extents)
        if (lba >= extent.lba && lba < extent.lba + extent.frames)
            return &extent;
    return nullptr;
}

void DiscImage::ReadFileBytes(const Extent& extent, uint64_t offset, uint8_t* out, uint32_t count) const {
    const File& file = m_files[extent.file];
    size_t got = 0;
    if (offset < file.dataBytes) {
        uint64_t avail = file.dataBytes - offset;
        size_t want = static_cast<size_t>(std::min<uint64_t>(count, avail));
        if (SeekTo(file.stream, file.dataOffset + offset))
            got = fread(out, 1, want, file.stream);
    }
    memset(out + got, 0, count - got);
}

void DiscImage::ReadRawFrame(int32_t lba, uint8_t* out) const {
    const Extent* extent = ExtentAt(lba);
    if (!extent) {
        memset(out, 0, kFrameBytes);
        return;
    }
    uint64_t offset = extent->offset + static_cast<uint64_t>(lba - extent->lba) * extent->sectorBytes;
    if (extent->sectorBytes == kFrameBytes) {
        ReadFileBytes(*extent, offset, out, kFrameBytes);
        return;
    }
    // A cooked data track: build the raw sector around its user data.
    memset(out, 0, kFrameBytes);
    memset(out + 1, 0xFF, 10);
    int32_t msf = lba + 150;
    out[12] = Bcd(msf / 4500);
    out[13] = Bcd(msf / 75 % 60);
    out[14] = Bcd(msf % 75);
    out[15] = 1;
    ReadFileBytes(*extent, offset, out + 16, 2048);
}

void DiscImage::ReadUserData(int32_t lba, uint8_t* out) const {
    const Extent* extent = ExtentAt(lba);
    if (!extent || extent->sectorBytes == 2048) {
        uint8_t raw[kFrameBytes];
        ReadRawFrame(lba, raw);
        memcpy(out, raw + 16, 2048);
        return;
    }
    size_t track = static_cast<size_t>(extent - &m_extents[0]);
    uint64_t offset = extent->offset + static_cast<uint64_t>(lba - extent->lba) * extent->sectorBytes;
    ReadFileBytes(*extent, offset + m_userDataOffsets[track], out, 2048);
}

} // namespace cdbench
