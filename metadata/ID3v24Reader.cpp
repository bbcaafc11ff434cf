#include "ID3v24Reader.h"

#include "Handles.h"
#include "FieldText.h"

#include <id3/readers.h>

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kHeaderSize = trelvox::kID3v24HeaderSize;

// Hands a 2.3 frame to id3lib to parse; null when id3lib does not know the frame or
// cannot read its body.
std::unique_ptr<ID3_Frame> ParseAsID3v23(const trelvox::ID3v23Frame& converted) {
    Bytes stored(converted.id.begin(), converted.id.end());
    uint32_t size = static_cast<uint32_t>(converted.body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        stored.push_back(static_cast<uint8_t>(size >> shift));
    stored.insert(stored.end(), {0, 0});
    stored.insert(stored.end(), converted.body.begin(), converted.body.end());
    ID3_MemoryReader reader(stored.data(), stored.size());
    std::unique_ptr<ID3_Frame> frame(new ID3_Frame);
    frame->SetSpec(ID3V2_3_0);
    if (!frame->Parse(reader) || frame->GetID() == ID3FID_NOFRAME)
        return nullptr;
    return frame;
}

} // namespace

namespace trelvox {

size_t ParseID3v24Tag(const uint8_t* bytes, size_t size, ID3_Tag& tag) {
    std::vector<ID3v23Frame> frames;
    ReadID3v24Frames(bytes, size, frames);
    size_t appended = 0;
    for (const ID3v23Frame& frame : frames) {
        std::unique_ptr<ID3_Frame> parsed = ParseAsID3v23(frame);
        if (parsed && tag.AttachFrame(parsed.get())) {
            parsed.release();
            ++appended;
        }
    }
    return appended;
}

bool ReadID3v24File(const char* path, ID3_Tag& tag) {
    UniqueFile file(fopen(path, "rb"));
    if (!file)
        return false;
    uint8_t header[kHeaderSize];
    if (fread(header, 1, kHeaderSize, file.get()) != kHeaderSize)
        return false;
    int64_t tagSize = ID3v24TagSize(header, kHeaderSize);
    if (tagSize < 0)
        return false;
    // A tag that claims more than the file holds is read as far as the file goes.
    if (fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    long fileSize = ftell(file.get());
    if (fileSize < static_cast<long>(kHeaderSize) || fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    int64_t wanted = static_cast<int64_t>(kHeaderSize) + tagSize;
    size_t size = static_cast<size_t>(wanted < fileSize ? wanted : fileSize);
    Bytes bytes(size);
    if (fread(bytes.data(), 1, size, file.get()) != size)
        return false;
    ParseID3v24Tag(bytes.data(), bytes.size(), tag);
    return true;
}

void LinkID3Tags(const char* path, ID3_Tag& tag) {
    if (!ReadID3v24File(path, tag)) {
        tag.Link(path, ID3TT_ALL);
        return;
    }
    ID3_Tag trailing;
    trailing.Link(path, static_cast<flags_t>(ID3TT_ALL & ~ID3TT_ID3V2));
    for (ID3_Frame* frame : FramesOf(trailing)) {
        if (!tag.Find(frame->GetID()))
            tag.AddFrame(*frame);
    }
}

} // namespace trelvox
