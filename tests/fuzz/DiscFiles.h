// The files a fuzzed cue sheet can name: "a.bin" (20 raw frames) and "w.wav" (whatever the
// target writes there), in a directory of their own that lives as long as the process.
#pragma once

#include "FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

namespace fuzz {

inline std::string DiscDirectory() {
    static std::string dir = [] {
        // In memory where there is a tmpfs: the targets write their files on every run.
        char pattern[] = "/dev/shm/trelvox-fuzz-disc-XXXXXX";
        char fallback[] = "/tmp/trelvox-fuzz-disc-XXXXXX";
        const char* made = mkdtemp(pattern) ? pattern : mkdtemp(fallback);
        if (!made)
            abort();
        static std::string path = std::string(made) + "/";
        atexit([] {
            for (const char* name : {"a.bin", "w.wav", "disc.cue", "mmc.cue"})
                remove((path + name).c_str());
            rmdir(path.c_str());
        });
        std::vector<uint8_t> frames(20 * 2352);
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<uint8_t>(i * 7);
        FILE* bin = fopen((path + "a.bin").c_str(), "wb");
        if (!bin || fwrite(frames.data(), 1, frames.size(), bin) != frames.size() || fclose(bin) != 0)
            abort();
        return path;
    }();
    return dir;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fclose(file) != 0)
        abort();
}

// A 44.1 kHz 16-bit stereo WAV file header for dataBytes of samples.
inline std::string WavHeader(uint32_t dataBytes) {
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    return "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + std::string("\x01\x00\x02\x00", 4) +
           le32(44100) + le32(176400) + std::string("\x04\x00\x10\x00", 4) + "data" + le32(dataBytes);
}

} // namespace fuzz
