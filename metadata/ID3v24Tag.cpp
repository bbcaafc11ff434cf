#include "ID3v24Tag.h"

#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kHeaderSize = trelvox::kID3v24HeaderSize;
constexpr size_t kFrameHeaderSize = 10;
// Tag header flags.
constexpr uint8_t kTagUnsynchronised = 0x80, kTagExtendedHeader = 0x40;
// Frame format flags.
constexpr uint8_t kFrameGrouped = 0x40, kFrameCompressed = 0x08, kFrameEncrypted = 0x04,
                  kFrameUnsynchronised = 0x02, kFrameDataLength = 0x01;
// No frame worth reading inflates beyond this; a larger claim is a broken or hostile file.
constexpr size_t kMaxInflatedSize = 64 * 1024 * 1024;

bool ReadSyncSafe(const uint8_t* bytes, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] & 0x80)
            return false;
        value = value << 7 | bytes[i];
    }
    return true;
}

uint32_t ReadBigEndian(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

bool IsFrameId(const uint8_t* id) {
    for (int i = 0; i < 4; ++i) {
        if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9')))
            return false;
    }
    return true;
}

// True if offset, within a tag that ends at end, is where a frame header, the padding or the
// end of the tag may be.
bool FrameMayStartAt(const uint8_t* bytes, size_t end, uint64_t offset) {
    if (offset == end)
        return true;
    if (offset > end)
        return false;
    return bytes[offset] == 0 || (end - offset >= kFrameHeaderSize && IsFrameId(bytes + offset));
}

// Undoes unsynchronisation: every 0xFF 0x00 pair was 0xFF.
Bytes RemoveUnsynchronisation(const Bytes& data) {
    Bytes plain;
    plain.reserve(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        plain.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < data.size() && data[i + 1] == 0x00)
            ++i;
    }
    return plain;
}

bool Inflate(const Bytes& compressed, Bytes& plain) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    plain.clear();
    int result = Z_OK;
    while (result == Z_OK) {
        if (plain.size() >= kMaxInflatedSize)
            break;
        size_t done = plain.size();
        plain.resize(done + 64 * 1024);
        stream.next_out = plain.data() + done;
        stream.avail_out = static_cast<uInt>(plain.size() - done);
        result = inflate(&stream, Z_NO_FLUSH);
        plain.resize(plain.size() - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

// The frame's body as its kind defines it, or false for a frame that cannot be read
// (encrypted, or broken).
bool DecodeFrameData(const uint8_t* stored, size_t size, uint8_t format, bool tagUnsynchronised,
                     Bytes& data) {
    data.assign(stored, stored + size);
    if ((format & kFrameUnsynchronised) || tagUnsynchronised)
        data = RemoveUnsynchronisation(data);
    if (format & kFrameEncrypted)
        return false;
    size_t skip = (format & kFrameGrouped) ? 1 : 0;
    if (format & kFrameDataLength) {
        uint32_t length;
        if (data.size() < skip + 4 || !ReadSyncSafe(data.data() + skip, length))
            return false;
        skip += 4;
    }
    if (skip > data.size())
        return false;
    data.erase(data.begin(), data.begin() + static_cast<ptrdiff_t>(skip));
    if (format & kFrameCompressed) {
        Bytes plain;
        if (!Inflate(data, plain))
            return false;
        data.swap(plain);
    }
    return true;
}

} // namespace

namespace trelvox {

int64_t ID3v24TagSize(const uint8_t* bytes, size_t size) {
    uint32_t tagSize;
    if (size < kHeaderSize || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3' || bytes[3] != 4 ||
        bytes[4] == 0xFF || !ReadSyncSafe(bytes + 6, tagSize))
        return -1;
    return tagSize;
}

void ReadID3v24Frames(const uint8_t* bytes, size_t size, std::vector<ID3v23Frame>& out) {
    int64_t tagSize = ID3v24TagSize(bytes, size);
    if (tagSize < 0)
        return;
    const uint8_t flags = bytes[5];
    const size_t available = size - kHeaderSize;
    const size_t end =
        kHeaderSize + (static_cast<uint64_t>(tagSize) < available ? static_cast<size_t>(tagSize) : available);
    size_t pos = kHeaderSize;
    if (flags & kTagExtendedHeader) {
        // Its size counts itself.
        uint32_t extendedSize;
        if (end - pos < 6 || !ReadSyncSafe(bytes + pos, extendedSize) || extendedSize < 6 ||
            extendedSize > end - pos)
            return;
        pos += extendedSize;
    }

    Bytes data;
    while (end - pos >= kFrameHeaderSize && IsFrameId(bytes + pos)) {
        const uint8_t* header = bytes + pos;
        pos += kFrameHeaderSize;
        // Some writers put plain 32-bit sizes into 2.4 tags. Such a size is taken when a byte
        // of it has its top bit set, or when only the plain reading ends where another frame
        // (or the padding, or the tag) begins.
        uint32_t frameSize;
        const uint32_t plainSize = ReadBigEndian(header + 4);
        if (!ReadSyncSafe(header + 4, frameSize) ||
            (frameSize != plainSize && !FrameMayStartAt(bytes, end, pos + frameSize) &&
             FrameMayStartAt(bytes, end, pos + plainSize)))
            frameSize = plainSize;
        if (frameSize > end - pos)
            break; // cut short: the frames before it stay
        const uint8_t* stored = bytes + pos;
        pos += frameSize;
        if (!DecodeFrameData(stored, frameSize, header[9], (flags & kTagUnsynchronised) != 0, data))
            continue;
        ConvertID3v24Frame(std::string(reinterpret_cast<const char*>(header), 4), data, out);
    }
}

} // namespace trelvox
