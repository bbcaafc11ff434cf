// txconv --burn: writes the files named on the command line to an audio CD, disc-at-once,
// through the library's disc recording, with CD-Text from their tags.
#pragma once

#include "Console.h"
#include "Options.h"

namespace txconv {

// Returns the exit status: 0 written, 1 failed, 2 for a drive or file that is not there,
// 130 cancelled.
int RunBurn(const Options& options, Console& console);

} // namespace txconv
