// Playlists on txconv's command line: one given as an input stands for its entries, and
// --playlist writes the converted files as a new one.
#pragma once

#include "Console.h"

#include <string>
#include <vector>

namespace txconv {

// True when path ends in ".m3u" or ".pls", the extensions the library reads (compared
// exactly, as the library compares them).
bool IsPlaylist(const std::string& path);

// The entries of the playlist at path, in order. False after reporting when it cannot be read.
bool ReadPlaylist(Console& console, const std::string& path, std::vector<std::string>& entries);

// Writes entries (full paths) as the M3U file path, replacing it. False after reporting.
bool WritePlaylist(Console& console, const std::string& path, const std::vector<std::string>& entries);

} // namespace txconv
