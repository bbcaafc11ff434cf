#include "DiscFixture.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace cdtest {

namespace {

std::string CueTime(uint32_t frames) {
    char text[16];
    snprintf(text, sizeof(text), "%02u:%02u:%02u", frames / 4500, frames / 75 % 60, frames % 75);
    return text;
}

std::string WavFile(const std::string& pcm) {
    auto le32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    std::string fmt("\x01\x00\x02\x00", 4);
    fmt += le32(44100) + le32(176400) + std::string("\x04\x00\x10\x00", 4);
    return "RIFF" + le32(static_cast<uint32_t>(36 + pcm.size())) + "WAVEfmt " + le32(16) + fmt + "data" +
           le32(static_cast<uint32_t>(pcm.size())) + pcm;
}

} // namespace

std::string RandomFrames(uint32_t frames, uint32_t seed) {
    std::string bytes(static_cast<size_t>(frames) * kFrameBytes, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < bytes.size(); i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        memcpy(&bytes[i], &x, 4);
    }
    return bytes;
}

DiscSpec AudioDisc(std::initializer_list<uint32_t> frames) {
    DiscSpec spec;
    for (uint32_t n : frames) {
        TrackSpec track;
        track.frames = n;
        spec.tracks.push_back(track);
    }
    return spec;
}

DiscFixture::DiscFixture(const std::string& dir, const DiscSpec& spec, const std::string& name) {
    m_cue = dir + "\\" + name + ".cue";
    std::string cue;
    std::string bin;
    if (!spec.wavPerTrack)
        cue += "FILE \"" + name + ".bin\" BINARY\n";
    int32_t cursor = 0;
    uint32_t fileFrames = 0;
    for (size_t i = 0; i < spec.tracks.size(); ++i) {
        const TrackSpec& track = spec.tracks[i];
        std::string pcm = RandomFrames(track.indexZero + track.frames, static_cast<uint32_t>(i + 1));
        if (i > 0 && track.session != spec.tracks[i - 1].session) {
            cue += "REM SESSION 0" + std::to_string(track.session) + "\n";
            cursor += 11400;
        }
        char number[8];
        snprintf(number, sizeof(number), "%02zu", i + 1);
        if (spec.wavPerTrack) {
            std::string file = name + "-" + number + ".wav";
            txtest::WriteFile(dir + "\\" + file, WavFile(pcm));
            cue += "FILE \"" + file + "\" WAVE\n";
            fileFrames = 0;
        }
        cue += std::string("  TRACK ") + number + (track.audio ? " AUDIO\n" : " MODE1/2352\n");
        if (track.indexZero)
            cue += "    INDEX 00 " + CueTime(fileFrames) + "\n";
        cue += "    INDEX 01 " + CueTime(fileFrames + track.indexZero) + "\n";
        m_extents.emplace_back(cursor, pcm);
        m_starts.push_back(cursor + static_cast<int32_t>(track.indexZero));
        cursor += static_cast<int32_t>(track.indexZero + track.frames);
        fileFrames += track.indexZero + track.frames;
        bin += pcm;
    }
    m_leadOut = cursor;
    if (!spec.wavPerTrack)
        txtest::WriteFile(dir + "\\" + name + ".bin", bin);
    txtest::WriteFile(m_cue, cue);
}

std::string DiscFixture::Frames(int32_t lba, uint32_t count) const {
    std::string out(static_cast<size_t>(count) * kFrameBytes, '\0');
    for (const auto& extent : m_extents) {
        int32_t frames = static_cast<int32_t>(extent.second.size() / kFrameBytes);
        int32_t from = std::max(lba, extent.first);
        int32_t to = std::min(lba + static_cast<int32_t>(count), extent.first + frames);
        if (from < to)
            memcpy(&out[static_cast<size_t>(from - lba) * kFrameBytes],
                   &extent.second[static_cast<size_t>(from - extent.first) * kFrameBytes],
                   static_cast<size_t>(to - from) * kFrameBytes);
    }
    return out;
}

BenchDrives::~BenchDrives() {
    SetEnvironmentVariableA("CDBENCH_CONFIG", nullptr);
}

void BenchDrives::SetBlank(int adapter, int target, int lun, const std::string& outCue,
                           const std::string& settings) {
    Set(adapter, target, lun, "blank\" \"" + outCue, settings);
}

void BenchDrives::Set(int adapter, int target, int lun, const std::string& cue, const std::string& settings) {
    std::string address = std::to_string(adapter) + " " + std::to_string(target) + " " + std::to_string(lun);
    std::string line = "drive " + address + " \"" + (cue.empty() ? "none" : cue) + "\"";
    if (!settings.empty()) {
        std::string path = m_dir + "\\drive-" + std::to_string(adapter) + "-" + std::to_string(target) + "-" +
                           std::to_string(lun) + ".txt";
        txtest::WriteFile(path, settings);
        line += " \"" + path + "\"";
    }
    m_lines[std::make_tuple(adapter, target, lun)] = line;
    Write();
}

void BenchDrives::Clear() {
    m_lines.clear();
    Write();
}

void BenchDrives::Write() {
    std::string config = "# the drives of a test\n";
    for (const auto& entry : m_lines)
        config += entry.second + "\n";
    std::string path = m_dir + "\\cdbench" + std::to_string(m_files++) + ".ini";
    txtest::WriteFile(path, config);
    SetEnvironmentVariableA("CDBENCH_CONFIG", path.c_str());
}

std::vector<std::string> BenchLog(int adapter, int target, int lun) {
    using LogFn = int(__cdecl*)(int, int, int, char*, int);
    auto fn = reinterpret_cast<LogFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("wnaspi32.dll"), "CdBenchCommandLog")));
    std::vector<std::string> lines;
    if (!fn) {
        ADD_FAILURE() << "the stand-in manager is not loaded";
        return lines;
    }
    std::string text(static_cast<size_t>(fn(adapter, target, lun, nullptr, 0)) + 1, '\0');
    fn(adapter, target, lun, &text[0], static_cast<int>(text.size()));
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

} // namespace cdtest
