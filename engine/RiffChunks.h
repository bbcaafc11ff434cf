// Walking the chunks of a RIFF form the way the multimedia file functions do (mmioDescend with
// MMIO_FINDRIFF for the form, then mmioDescend and mmioAscend for each sub-chunk), over any
// readable bytes: the readers of Wave and .cda files are plain C++ and the file stays in
// their thin Windows shells.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace trelvox {

// The bytes of a file, read at any offset.
class RiffReader {
public:
    // Copies up to size bytes from offset on into out; fewer (0 too) at the end of the file
    // or on a failure.
    virtual size_t ReadAt(uint64_t offset, void* out, size_t size) = 0;

protected:
    ~RiffReader() = default;
};

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint64_t dataOffset = 0; // of the contents; for a form, of its form type
};

// Finds the first RIFF chunk of the form type from the start of the file, stepping over
// others of other types.
bool FindRiffForm(RiffReader& file, uint32_t formType, RiffChunk& form);

// The sub-chunk of form after previous (its first one when previous is null); false when none
// can be entered: the form or the file ends.
bool NextRiffChunk(RiffReader& file, const RiffChunk& form, const RiffChunk* previous, RiffChunk& chunk);

uint32_t ReadLe32(const uint8_t* bytes);
uint16_t ReadLe16(const uint8_t* bytes);
// Most significant byte first, as AIFF and AU headers store their fields.
uint32_t ReadBe32(const uint8_t* bytes);

} // namespace trelvox
