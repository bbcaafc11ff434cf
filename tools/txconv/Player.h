// txconv --play: plays one file through the library's playback and the sound card, with the
// position on the progress line. Ctrl-C (the console's cancel flag) stops it.
#pragma once

#include "Console.h"

#include <string>

namespace txconv {

// 0 when the file played to its end, 1 when it could not be played, 130 when stopped by Ctrl-C.
int PlayFile(Console& console, const std::string& path);

} // namespace txconv
