// Disc images for the CD tests, made in a temporary directory: a cue sheet with one .bin file
// (or one WAV file per track) holding pseudo-random frames, and what each LBA should read.
#pragma once

#include "TestSupport.h"

#include <stdint.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace cdtest {

constexpr uint32_t kFrameBytes = 2352;

struct TrackSpec {
    uint32_t frames = 0; // from index 1 to the end of the track's data
    bool audio = true;
    int session = 1;
    uint32_t indexZero = 0; // frames of pregap kept in the file before index 1
};

struct DiscSpec {
    std::vector<TrackSpec> tracks;
    bool wavPerTrack = false;
};

class DiscFixture {
public:
    // Writes NAME.cue and its files into dir.
    DiscFixture(const std::string& dir, const DiscSpec& spec, const std::string& name = "disc");

    const std::string& CuePath() const { return m_cue; }
    // LBA of each track's index 1, and the lead-out.
    const std::vector<int32_t>& Starts() const { return m_starts; }
    int32_t LeadOut() const { return m_leadOut; }
    // The bytes a drive returns for frames lba.. (zeros where no file backs a frame).
    std::string Frames(int32_t lba, uint32_t count) const;

private:
    std::string m_cue;
    std::vector<int32_t> m_starts;
    int32_t m_leadOut = 0;
    // Backed frames: first LBA and the bytes.
    std::vector<std::pair<int32_t, std::string>> m_extents;
};

// Frames of pseudo-random bytes, the same for the same seed.
std::string RandomFrames(uint32_t frames, uint32_t seed);

// n audio tracks of the given lengths in one .bin file.
DiscSpec AudioDisc(std::initializer_list<uint32_t> frames);

// The stand-in ASPI manager's drive list, in dir. Each change goes to a new file named by
// CDBENCH_CONFIG, which the manager reads at its next request; a drive whose disc changed
// sees it as just inserted. CDBENCH_CONFIG is unset again when the list goes.
class BenchDrives {
public:
    explicit BenchDrives(const std::string& dir) : m_dir(dir) {}
    ~BenchDrives();
    BenchDrives(const BenchDrives&) = delete;
    BenchDrives& operator=(const BenchDrives&) = delete;

    // Puts a drive at that address, or changes its disc: cue "" for an empty drive; settings
    // is the text of the drive's settings file (read when the drive first appears).
    void Set(int adapter, int target, int lun, const std::string& cue, const std::string& settings = "");
    // Puts a CD-R writer with a blank disc at that address; what it records goes to outCue
    // and its .bin.
    void SetBlank(int adapter, int target, int lun, const std::string& outCue,
                  const std::string& settings = "");
    // Takes every drive away.
    void Clear();

private:
    void Write();

    std::string m_dir;
    std::map<std::tuple<int, int, int>, std::string> m_lines;
    int m_files = 0;
};

// The commands the stand-in's drive at that address received, one per entry.
std::vector<std::string> BenchLog(int adapter = 0, int target = 0, int lun = 0);

} // namespace cdtest
