// The displays that need the user's locale, the ANSI code page or the genre list.
#include "FrameDisplay.h"

#include "TextRules.h"
#include "TrelvoxMetadata.h"

#include <windows.h>

#include <stdlib.h>

#include <vector>

namespace trelvox {

std::wstring DisplayDate(const std::wstring& text) {
    int value = _wtoi(text.c_str());
    SYSTEMTIME date = {};
    date.wYear = 2000;
    date.wMonth = static_cast<WORD>(value % 100);
    date.wDay = static_cast<WORD>(value / 100);
    wchar_t buf[128] = L"";
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, &date, L"d. MMMM", buf, 128))
        return text;
    return buf;
}

std::wstring DisplayTime(const std::wstring& text) {
    int value = _wtoi(text.c_str());
    SYSTEMTIME time = {};
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wHour = static_cast<WORD>(value / 100);
    time.wMinute = static_cast<WORD>(value % 100);
    wchar_t buf[128] = L"";
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, buf, 128))
        return text;
    return buf;
}

std::wstring DisplayGenre(const std::wstring& text) {
    return Widen(ResolveGenreText(Narrow(text, kAnsiCodePage), GenreGet), kAnsiCodePage);
}

std::wstring BuildGenreText(const std::vector<std::wstring>& entries) {
    std::vector<std::string> narrow;
    for (const std::wstring& entry : entries)
        narrow.push_back(Narrow(entry, kAnsiCodePage));
    return Widen(BuildGenreText(narrow, GenreGet), kAnsiCodePage);
}

std::wstring LanguageName(const std::wstring& code) {
    for (unsigned primary = 1; primary <= 254; ++primary) {
        for (unsigned sub = 1; sub <= 31; ++sub) {
            LCID locale = MAKELCID(static_cast<WORD>((sub << 10) | primary), SORT_DEFAULT);
            wchar_t abbrev[16] = L"";
            if (!GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, abbrev, 16) ||
                lstrcmpiW(abbrev, code.c_str()) != 0)
                continue;
            wchar_t name[256] = L"";
            if (GetLocaleInfoW(locale, LOCALE_SLANGUAGE, name, 256))
                return name;
        }
    }
    return code;
}

} // namespace trelvox
