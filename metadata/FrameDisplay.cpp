#include "FrameDisplay.h"

#include "TextRules.h"

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

std::string ResolveGenreText(const std::string& text, const char* (*genreName)(unsigned)) {
    std::string genre = Trimmed(text);
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
                const char* name = genreName(static_cast<unsigned>(atoi(inner.c_str())));
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
    return joined;
}

std::string BuildGenreText(const std::vector<std::string>& entries, const char* (*genreName)(unsigned)) {
    std::string text;
    for (const std::string& entry : entries) {
        std::string wanted = Trimmed(entry);
        int match = -1;
        for (unsigned i = 0; genreName(i) && match < 0; ++i) {
            if (EqualsIgnoringCase(Trimmed(genreName(i)).c_str(), wanted.c_str()))
                match = static_cast<int>(i);
        }
        if (match >= 0) {
            text += "(" + std::to_string(match) + ")";
        } else {
            if (!entry.empty() && entry[0] == '(')
                text += "(";
            text += entry;
        }
    }
    return text;
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
