// Frame bodies of ID3v2.4 in their ID3v2.3 form: texts re-encoded (2.3 knows only ISO-8859-1
// and UTF-16 with a byte-order mark), lists of values joined, and the frames that 2.4
// renamed or replaced mapped onto their 2.3 counterparts.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace trelvox {

struct ID3v23Frame {
    std::string id; // four characters
    std::vector<uint8_t> body;
};

// Converts one ID3v2.4 frame (id: four characters; data: its body with unsynchronisation,
// compression and the data length indicator already undone) and appends the result to out:
// usually one frame, three for a recording time (year, date, time), none for frames without
// a 2.3 counterpart or with a body that does not hold what its kind needs.
void ConvertID3v24Frame(const std::string& id, const std::vector<uint8_t>& data,
                        std::vector<ID3v23Frame>& out);

} // namespace trelvox
