#include "RiffChunks.h"

namespace trelvox {
namespace {

constexpr size_t kHeaderBytes = 8;

// The chunk header at offset: false when fewer than 8 bytes are there.
bool ReadHeader(RiffReader& file, uint64_t offset, RiffChunk& chunk) {
    uint8_t header[kHeaderBytes];
    if (file.ReadAt(offset, header, sizeof header) != sizeof header)
        return false;
    chunk.id = ReadLe32(header);
    chunk.size = ReadLe32(header + 4);
    chunk.dataOffset = offset + kHeaderBytes;
    return true;
}

// Where the chunk after this one starts: chunks of odd size are padded to an even one.
uint64_t EndOf(const RiffChunk& chunk) {
    return chunk.dataOffset + ((uint64_t(chunk.size) + 1) & ~uint64_t(1));
}

} // namespace

uint32_t ReadLe32(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
}

uint16_t ReadLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
uint32_t ReadBe32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

bool FindRiffForm(RiffReader& file, uint32_t formType, RiffChunk& form) {
    for (uint64_t offset = 0;; offset = EndOf(form)) {
        if (!ReadHeader(file, offset, form))
            return false;
        uint8_t type[4];
        if (form.id == FourCC('R', 'I', 'F', 'F') && file.ReadAt(form.dataOffset, type, 4) == 4 &&
            ReadLe32(type) == formType)
            return true;
    }
}

bool NextRiffChunk(RiffReader& file, const RiffChunk& form, const RiffChunk* previous, RiffChunk& chunk) {
    // The first sub-chunk follows the form type.
    uint64_t offset = previous ? EndOf(*previous) : form.dataOffset + 4;
    if (offset >= form.dataOffset + form.size)
        return false;
    return ReadHeader(file, offset, chunk);
}

} // namespace trelvox
