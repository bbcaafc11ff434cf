// The ID3v2.4 reader up to the point where id3lib takes the frames in their 2.3 form.
#include "FuzzSupport.h"
#include "ID3v24Tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input's bytes, so that a read past the tag's end is seen.
    std::vector<uint8_t> bytes(data, data + size);
    std::vector<trelvox::ID3v23Frame> frames;
    trelvox::ReadID3v24Frames(bytes.data(), bytes.size(), frames);
    for (const trelvox::ID3v23Frame& frame : frames)
        FUZZ_CHECK(frame.id.size() == 4, "frame id '%s'", frame.id.c_str());
    if (!frames.empty())
        FUZZ_CHECK(trelvox::ID3v24TagSize(bytes.data(), bytes.size()) >= 0, "frames without a tag header");
    return 0;
}
