#include "FrameDisplay.h"

#include "FieldText.h"
#include "TrelvoxMetadata.h"

#include <windows.h>
#include <shlwapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

namespace trelvox {
namespace {

unsigned LeadingNumber(const std::wstring& text) {
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            break;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value;
}

std::string Trimmed(std::string text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

} // namespace

std::wstring DisplaySongLength(const std::wstring& text) {
    unsigned ms = LeadingNumber(text);
    wchar_t buf[64];
    swprintf(buf, 64, L"%dm %ds", static_cast<int>(ms / 60000), static_cast<int>((ms / 1000) % 60));
    return buf;
}

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
    std::string genre = Trimmed(Narrow(text, CP_ACP));
    std::string joined;
    bool first = true;
    auto append = [&](const std::string& piece) {
        if (!first)
            joined += ", ";
        joined += piece;
        first = false;
    };
    size_t pos = 0;
    while (pos < genre.size()) {
        if (genre[pos] == '(') {
            size_t close = genre.find(')', pos + 1);
            std::string inner =
                genre.substr(pos + 1, close == std::string::npos ? std::string::npos : close - pos - 1);
            if (!inner.empty() && inner[0] == '(') {
                append(inner);
            } else if (inner == "RX" || inner == "CR") {
                // The two refinements ID3v2 adds to the numbered genres.
                append(inner == "RX" ? "Remix" : "Cover");
            } else {
                const char* name = GenreGet(static_cast<unsigned>(atoi(inner.c_str())));
                std::string piece = name ? std::string(name) : std::string();
                piece.erase(piece.find_last_not_of(' ') + 1);
                append(piece);
            }
            pos = close == std::string::npos ? genre.size() : close + 1;
        } else {
            size_t open = genre.find('(', pos);
            append(genre.substr(pos, open == std::string::npos ? std::string::npos : open - pos));
            pos = open == std::string::npos ? genre.size() : open;
        }
    }
    return Widen(joined, CP_ACP);
}

std::wstring BuildGenreText(const std::vector<std::wstring>& entries) {
    std::string text;
    for (const std::wstring& entry : entries) {
        std::string wanted = Trimmed(Narrow(entry, CP_ACP));
        int match = -1;
        for (int i = 0; i < GenreGetCount() && match < 0; ++i) {
            if (lstrcmpiA(Trimmed(GenreGet(static_cast<unsigned>(i))).c_str(), wanted.c_str()) == 0)
                match = i;
        }
        if (match >= 0) {
            text += "(" + std::to_string(match) + ")";
        } else {
            std::string piece = Narrow(entry, CP_ACP);
            if (!piece.empty() && piece[0] == '(')
                text += "(";
            text += piece;
        }
    }
    return Widen(text, CP_ACP);
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

std::wstring DisplayCopyright(const std::wstring& text) {
    return L"Copyright (c) " + text;
}

std::wstring DisplayWithDescription(const std::wstring& text, const std::wstring& description) {
    return text + L" (" + description + L")";
}

std::wstring DisplayComment(const std::wstring& text, const std::wstring& description) {
    return description.empty() ? text : text + L" (" + description + L")";
}

std::wstring DisplayPicture(const std::wstring& mimeType, const std::wstring& description, size_t bytes) {
    return mimeType + L" (" + (description.empty() ? std::wstring(L"no desc.") : description) + L", " +
           std::to_wstring(bytes) + L" bytes)";
}

} // namespace trelvox
