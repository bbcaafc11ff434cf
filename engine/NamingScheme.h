// Expansion of output naming schemes: "<sourcedir>\<artist> - <title>" and the like.
// Text work only; the source, its tags and the clock are read in OutputNaming.cpp.
#pragma once

#include <string>

namespace trelvox {

// What the elements of a scheme expand to for one source. Tag values arrive cleaned.
struct NamingValues {
    std::string sourceDir;  // with its trailing separator, as the source reports it
    std::string sourceName; // file title without extension
    std::string artist = "Unknown";
    std::string album = "Unknown";
    std::string title = "Unknown";
    std::string genre = "Unknown";
    std::string year = "0000";
    std::string trackNumber = "00";
    std::string time; // "HH-mm" in the user's locale
    std::string date; // "MM-dd-yyyy" in the user's locale
};

// Replaces the characters a file name cannot hold (and control characters) by spaces, then
// drops trailing spaces if asked to. Knows the lead bytes of the ANSI code page, so the trail
// byte of a double-byte character is never taken for a separator.
void CleanTagText(std::string& text, bool trimTrailingSpaces);

// "7/12" -> "07", "11" -> "11": the part before the first '/', padded to two characters.
std::string TrackNumberOf(const std::string& text);

// The directory without its first skip components (trailing separator dropped first);
// skip <= 0 keeps it whole, and skipping stops at the end.
std::string SkipPathComponents(const std::string& dir, long skip);

// True if text (ignoring case) names one of the six tag elements.
bool MentionsTagElement(const std::string& text);

// Replaces the file-name part of scheme (after its last separator) by "<sourcename>" when
// that part uses a tag element; the directory part stays.
std::string FallBackToSourceName(const std::string& scheme);

// Expands scheme into out. On failure returns false with the message in out.
bool ExpandScheme(const std::string& scheme, const NamingValues& values, std::string& out);

} // namespace trelvox
