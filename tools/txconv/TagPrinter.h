// txconv --tags FILE: the frames of a file's tag, one per line.
#pragma once

#include "Console.h"

#include <string>

namespace txconv {

// Prints "TIT2  Title/songname/content description: text" for every frame the tag model can
// show, on stdout in UTF-8. Returns the exit status (1 when the tag cannot be read).
int PrintTags(Console& console, const std::string& path);

} // namespace txconv
