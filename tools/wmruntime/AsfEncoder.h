// Encodes PCM into a WMA stream of an ASF file with FFmpeg's libraries: libswresample brings
// the input to the stream's rate, channels and sample format, libavcodec's wmav1/wmav2
// encoder codes it and libavformat's ASF muxer writes the file. No FFmpeg header shows here.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

namespace wmruntime {

struct EncodeTarget {
    int version;      // 1 for wmav1, 2 for wmav2
    DWORD sampleRate; // Hz
    WORD channels;
    DWORD bitrate; // bits per second
};

// Interleaved PCM: integers of 8 (unsigned), 16, 24 or 32 bits, or 32-bit floats.
struct PcmInput {
    bool floating;
    WORD channels;
    DWORD sampleRate;
    WORD bits;
};

class AsfEncoder {
public:
    AsfEncoder();
    // A file not finished is deleted.
    ~AsfEncoder();
    AsfEncoder(const AsfEncoder&) = delete;
    AsfEncoder& operator=(const AsfEncoder&) = delete;

    // Creates the file (replacing one that exists) and writes its header.
    HRESULT Open(const std::u16string& path, const EncodeTarget& target, const PcmInput& input);
    // Takes whole PCM frames; a partial frame at the end of bytes is kept for the next call.
    HRESULT Write(const uint8_t* pcm, size_t bytes);
    // Codes what is left (the last frame padded with silence), ends the file and closes it.
    HRESULT Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace wmruntime
