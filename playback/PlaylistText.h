// The text rules of the M3U and PLS playlists: how a file's bytes become lines, how a line
// becomes an entry, and what an M3U file holds. No Windows here, so that the rules compile
// natively for fast tests and fuzzing; the playlist objects add the file and the path joining.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace trelvox::playlist {

// Longest line piece and longest entry, in characters (a MAX_PATH buffer without terminator).
constexpr size_t kMaxText = 259;

enum class Format { M3U, PLS };

// The lines of text as the reader sees them: each runs up to and including its '\n', and a
// longer line is cut into pieces of kMaxText characters, each of which counts as a line.
std::vector<std::string_view> SplitLines(std::string_view text);

// The raw values of a file, in order, before the path rules: for M3U every line that is not a
// comment; for PLS the values of the "File..." keys.
std::vector<std::string> M3UValues(std::string_view text);
std::vector<std::string> PLSValues(std::string_view text);

// Where a value's path goes.
enum class Placement {
    None,     // no entry: empty, or a network address
    AsIs,     // a drive or root path, taken as it stands
    Resolved, // begins with "..": joined to the directory with the "." and ".." parts resolved
    Appended, // relative: appended to the directory
};

struct LineEntry {
    Placement placement = Placement::None;
    std::string path; // separators turned to '\', trailing white space gone
};

LineEntry ClassifyLine(std::string_view value, Format format);

// The entry for a classified line in the playlist directory dir (no trailing '\'). Resolved
// lines use resolve(dir, path). Empty when there is no entry or it would exceed kMaxText.
template <class Resolve>
std::string EntryFor(const LineEntry& line, std::string_view dir, Resolve&& resolve) {
    std::string entry;
    switch (line.placement) {
    case Placement::None:
        return entry;
    case Placement::AsIs:
        entry = line.path;
        break;
    case Placement::Resolved:
        entry = resolve(dir, line.path);
        break;
    case Placement::Appended: {
        // ".\" is how the library writes entries beside the playlist.
        std::string_view rest = line.path;
        if (rest.substr(0, 2) == ".\\")
            rest.remove_prefix(2);
        entry.reserve(dir.size() + 1 + rest.size());
        entry.append(dir).append(1, '\\').append(rest);
        break;
    }
    }
    if (entry.size() > kMaxText)
        entry.clear();
    return entry;
}

// dir plus '\' plus rel with "." and ".." parts resolved, never climbing above the drive or
// the first part of dir; the native stand-in for the shell's joining.
std::string JoinResolved(std::string_view dir, std::string_view rel);

// An M3U file: the two header lines, then each entry inside dir (ignoring case) as ".\" plus
// the rest, others as they are, every line ended by CR LF.
std::string M3UText(const std::vector<std::string>& entries, std::string_view dir, std::string_view homePage);

} // namespace trelvox::playlist
