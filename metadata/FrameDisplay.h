// The one-line texts that frame lists show, as plain functions of the frame's fields.
#pragma once

#include <string>
#include <vector>

namespace trelvox {

// TLEN: milliseconds as "%dm %ds" (leading digits only; none reads as 0).
std::wstring DisplaySongLength(const std::wstring& text);
// TDAT "DDMM" in the user's locale as "d. MMMM".
std::wstring DisplayDate(const std::wstring& text);
// TIME "HHMM" in the user's time format without seconds.
std::wstring DisplayTime(const std::wstring& text);
// TCON with its "(n)" genre references and the "(RX)" and "(CR)" refinements resolved, and
// the pieces joined with ", ".
std::wstring DisplayGenre(const std::wstring& text);
// DisplayGenre on 8-bit text; genreName gives the name of a genre number (null beyond the list).
std::string ResolveGenreText(const std::string& text, const char* (*genreName)(unsigned));
// The TCON text for a list of genre names: known names become "(n)", others stay as written.
std::wstring BuildGenreText(const std::vector<std::wstring>& entries);
// BuildGenreText on 8-bit texts, with the genre list of ResolveGenreText.
std::string BuildGenreText(const std::vector<std::string>& entries, const char* (*genreName)(unsigned));
// The language name of a three-letter Windows language code, or the code when unknown.
std::wstring LanguageName(const std::wstring& code);
// "Copyright (c) " + text.
std::wstring DisplayCopyright(const std::wstring& text);
// "%s (%s)" as user texts and user URLs show.
std::wstring DisplayWithDescription(const std::wstring& text, const std::wstring& description);
// Text, then " (description)" when there is one.
std::wstring DisplayComment(const std::wstring& text, const std::wstring& description);
// "image/png (desc, 1234 bytes)", "no desc." for an empty description.
std::wstring DisplayPicture(const std::wstring& mimeType, const std::wstring& description, size_t bytes);

} // namespace trelvox
