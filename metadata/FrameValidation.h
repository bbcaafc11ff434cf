// The checks the frame edit dialogs run on OK, as plain functions so that they work without
// a window. Each returns the message to show, or an empty string when the input is valid.
#pragma once

#include <string>

namespace trelvox {

// TYER: the whole text an unsigned number within [lower, upper].
std::string ValidateNumber(const std::wstring& text, unsigned lower, unsigned upper);
// TCOP: begins with a year within [lower, upper]; anything may follow.
std::string ValidateCopyright(const std::wstring& text, unsigned lower, unsigned upper);
// TDAT: four digits DDMM.
std::string ValidateDate(const std::wstring& text);
// TIME: four digits HHMM.
std::string ValidateTime(const std::wstring& text);
// TRCK, TPOS: "a" or "a/b" with both within [lower, upper] and a <= b.
std::string ValidatePartNumber(const std::wstring& text, unsigned lower, unsigned upper);
// W*** frames.
std::string ValidateURL(const std::wstring& url);
// WXXX.
std::string ValidateUserURL(const std::wstring& url, const std::wstring& description);
// COMM.
std::string ValidateComment(const std::wstring& text);
// TCON: the number of entries in the dialog's list.
std::string ValidateGenreList(size_t entries);
// APIC: mimeType is empty until a picture was loaded.
std::string ValidatePicture(const std::wstring& description, const std::wstring& mimeType);

} // namespace trelvox
