#pragma once

#include "TrelvoxConvert.h"

namespace trelvox {

constexpr uint32_t kFormatCount = 18;

// Copies row index (fetching its description first) into out. index must be valid.
void FetchFormat(FormatRecord* out, uint32_t index);

// Index of the row named name (ignoring case), or -1.
int32_t FindFormatByName(const char* name);

} // namespace trelvox
