// The library entry's own parts: the referrer id that InitTX reads for AddReferer.
#pragma once

#include <stddef.h>

namespace trelvox {

// The referrer id holds at most this many characters.
constexpr size_t kReferrerLength = 80;

// Reads the first kReferrerLength bytes of the file at path into referrer, each byte that is
// not an ASCII letter or digit turned into 'x'. Leaves referrer alone if the file cannot be read.
void ReadReferrer(const char* path, char (&referrer)[kReferrerLength + 1]);

// Reads the referrer id from "Ref.txt" beside the library, once, before AddReferer is used.
void LoadReferrer();

} // namespace trelvox
