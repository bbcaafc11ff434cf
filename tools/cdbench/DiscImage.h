// A disc image as users keep them: a cue sheet with one .bin file, or with one WAV file per
// track. The bench's drive model reads its frames; nothing here touches Windows, so that the
// model also builds and runs natively.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

namespace cdbench {

constexpr uint32_t kFrameBytes = 2352;
// Lead-out, lead-in and pregap between the sessions of an enhanced disc, in frames.
constexpr int32_t kSessionGap = 11400;

struct DiscTrack {
    int number = 0;
    bool audio = true;
    int session = 1;
    int32_t start = 0;  // LBA of index 1
    int32_t length = 0; // frames up to the next track's start or the lead-out
    std::string title;
    std::string performer;
};

class DiscImage {
public:
    DiscImage();
    ~DiscImage();
    DiscImage(const DiscImage&) = delete;
    DiscImage& operator=(const DiscImage&) = delete;

    // Reads a cue sheet and opens its files; false with a message naming the line when the
    // sheet or a file cannot be used.
    bool LoadCue(const std::string& path, std::string& error);

    const std::vector<DiscTrack>& Tracks() const { return m_tracks; }
    int32_t LeadOut() const { return m_leadOut; }
    const std::string& Title() const { return m_title; }
    const std::string& Performer() const { return m_performer; }
    // CD-Text packs as a writer received them; they stand in for the cue sheet's texts.
    void SetTextPacks(std::vector<uint8_t> packs) { m_textPacks = std::move(packs); }
    const std::vector<uint8_t>& TextPacks() const { return m_textPacks; }
    // The track that holds lba, or null in a gap between sessions or outside the disc.
    const DiscTrack* TrackAt(int32_t lba) const;

    // The 2352 bytes of frame lba as the disc holds them: audio samples, or a data sector
    // with its sync and header (user data from the image, EDC/ECC left zero). Frames that no
    // file backs (pregaps, the gap between sessions) are zero.
    void ReadRawFrame(int32_t lba, uint8_t* out) const;
    // The 2048 user-data bytes of a data frame.
    void ReadUserData(int32_t lba, uint8_t* out) const;

private:
    struct Extent {
        int32_t lba = 0;
        int32_t frames = 0;
        size_t file = 0;
        uint64_t offset = 0; // of the extent's first frame in the file's data
        uint32_t sectorBytes = kFrameBytes;
        bool audio = true;
    };
    struct File {
        FILE* stream = nullptr;
        uint64_t dataOffset = 0;
        uint64_t dataBytes = 0;
    };
    const Extent* ExtentAt(int32_t lba) const;
    void ReadFileBytes(const Extent& extent, uint64_t offset, uint8_t* out, uint32_t count) const;

    std::vector<File> m_files;
    std::vector<Extent> m_extents;
    std::vector<DiscTrack> m_tracks;
    // Per track (and extent): where a raw data sector keeps its 2048 user bytes.
    std::vector<uint32_t> m_userDataOffsets;
    int32_t m_leadOut = 0;
    std::string m_title;
    std::string m_performer;
    std::vector<uint8_t> m_textPacks;
};

// Splits a line into blank-separated words; a quoted word keeps its blanks.
std::vector<std::string> SplitWords(const std::string& line);

// "mm:ss:ff" in frames; -1 when malformed.
int32_t ParseCueTime(const std::string& text);

} // namespace cdbench
