// The text rules of the system code page that the parsers need, declared without windows.h so
// that the parsers build and run as plain C++ (the native fuzz targets link their own
// versions). The library's versions, in PathText.cpp, are Windows' own functions.
#pragma once

#include <stddef.h>

#include <string>

namespace trelvox {

// The code pages the library converts between: the ANSI one (CP_ACP) and UTF-8 (CP_UTF8).
constexpr unsigned kAnsiCodePage = 0;
constexpr unsigned kUtf8CodePage = 65001;

// Text in codePage to UTF-16 and back; empty when it cannot convert.
std::wstring Widen(const std::string& text, unsigned codePage);
std::string Narrow(const std::wstring& text, unsigned codePage);

// The ANSI code page's comparison without regard to case (lstrcmpiA), as an equality.
bool EqualsIgnoringCase(const char* a, const char* b);

// True if c starts a double-byte character of the ANSI code page.
bool IsLeadByte(char c);

// Copies at most size-1 characters of src and terminates; size must be at least 1.
void CopyTruncated(char* dest, size_t size, const char* src);

} // namespace trelvox
