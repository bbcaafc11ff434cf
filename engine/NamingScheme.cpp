#include "NamingScheme.h"

#include "TextRules.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

using trelvox::IsLeadByte;

const char* const kTagElements[] = {"<artist>", "<album>", "<genre>", "<title>", "<year>", "<tracknum>"};

// Element names are ASCII, so ASCII case folding is enough and independent of the locale.
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

bool EqualsNoCase(const std::string& text, const char* name) {
    size_t length = strlen(name);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (LowerAscii(text[i]) != name[i])
            return false;
    }
    return true;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Index of the last path separator of text, skipping the trail bytes of double-byte
// characters; npos if there is none.
size_t LastSeparator(const std::string& text) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(text[i]) && i + 1 < text.size())
            ++i;
        else if (IsSeparator(text[i]))
            last = i;
    }
    return last;
}

std::string Format(const char* format, const std::string& argument) {
    int length = snprintf(nullptr, 0, format, argument.c_str());
    if (length <= 0)
        return format;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    snprintf(&text[0], text.size(), format, argument.c_str());
    text.resize(static_cast<size_t>(length));
    return text;
}

// A complete decimal number with an optional sign; values beyond the range of long saturate
// (any of them skips every component anyway).
bool ParseNumber(const std::string& text, long& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        int digit = text[i] - '0';
        result = result > (LONG_MAX - digit) / 10 ? LONG_MAX : result * 10 + digit;
    }
    value = negative ? -result : result;
    return true;
}

// Appends the expansion of element (the text between '<' and '>') to out; on failure out
// receives the message.
bool ExpandElement(const std::string& element, const trelvox::NamingValues& values, std::string& out) {
    static const char kSourcePathPrefix[] = "sourcepath:";
    const size_t prefixLength = sizeof(kSourcePathPrefix) - 1;
    if (EqualsNoCase(element, "sourcedir")) {
        if (!out.empty()) {
            out = Format("Naming scheme element '%s' can only be used in the first position.", "sourcedir");
            return false;
        }
        out += values.sourceDir;
    } else if (EqualsNoCase(element, "sourcename")) {
        out += values.sourceName;
    } else if (EqualsNoCase(element, "sourcepath")) {
        out += trelvox::SkipPathComponents(values.sourceDir, 1);
    } else if (element.size() >= prefixLength &&
               EqualsNoCase(element.substr(0, prefixLength), kSourcePathPrefix)) {
        long skip = 0;
        if (!ParseNumber(element.substr(prefixLength), skip)) {
            out = Format("Expected number after '%s:'", "sourcepath");
            return false;
        }
        out += trelvox::SkipPathComponents(values.sourceDir, skip);
    } else if (EqualsNoCase(element, "artist")) {
        out += values.artist;
    } else if (EqualsNoCase(element, "album")) {
        out += values.album;
    } else if (EqualsNoCase(element, "title")) {
        out += values.title;
    } else if (EqualsNoCase(element, "genre")) {
        out += values.genre;
    } else if (EqualsNoCase(element, "year")) {
        out += values.year;
    } else if (EqualsNoCase(element, "tracknum")) {
        out += values.trackNumber;
    } else if (EqualsNoCase(element, "time")) {
        out += values.time;
    } else if (EqualsNoCase(element, "date")) {
        out += values.date;
    } else {
        out = Format("Unknown naming scheme element '%s'", element);
        return false;
    }
    return true;
}

} // namespace

namespace trelvox {

void CleanTagText(std::string& text, bool trimTrailingSpaces) {
    static const char kForbidden[] = "\"*/:<>?\\|";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(text[i]) && i + 1 < text.size())
            ++i;
        else if (c < 0x20 || strchr(kForbidden, c))
            text[i] = ' ';
    }
    if (trimTrailingSpaces) {
        size_t end = text.find_last_not_of(' ');
        text.erase(end == std::string::npos ? 0 : end + 1);
    }
}

std::string TrackNumberOf(const std::string& text) {
    std::string number = text.substr(0, text.find('/'));
    if (number.size() == 1)
        number.insert(0, "0");
    return number;
}

std::string SkipPathComponents(const std::string& dir, long skip) {
    std::string path = dir;
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    size_t start = 0;
    for (long i = 0; i < skip && start < path.size(); ++i) {
        size_t separator = path.find_first_of("\\/", start);
        start = separator == std::string::npos ? path.size() : separator + 1;
    }
    return path.substr(start);
}

bool MentionsTagElement(const std::string& text) {
    std::string lower = LowerAscii(text);
    for (const char* element : kTagElements) {
        if (lower.find(element) != std::string::npos)
            return true;
    }
    return false;
}

std::string FallBackToSourceName(const std::string& scheme) {
    size_t separator = LastSeparator(scheme);
    size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    if (!MentionsTagElement(scheme.substr(nameStart)))
        return scheme;
    return scheme.substr(0, nameStart) + "<sourcename>";
}

bool ExpandScheme(const std::string& scheme, const NamingValues& values, std::string& out) {
    out.clear();
    for (size_t i = 0; i < scheme.size();) {
        char c = scheme[i];
        if (IsLeadByte(c) && i + 1 < scheme.size()) {
            out.append(scheme, i, 2);
            i += 2;
        } else if (c == '<') {
            size_t close = scheme.find('>', i + 1);
            if (close == std::string::npos) {
                out = Format("Naming scheme element '%s' not closed with a '>' character.",
                             scheme.substr(i + 1));
                return false;
            }
            if (!ExpandElement(scheme.substr(i + 1, close - i - 1), values, out))
                return false;
            i = close + 1;
        } else if (c == '\\') {
            // One separator where the scheme writes several in a row; a leading "\\" of a
            // network path stays.
            if (!(out.size() > 1 && out.back() == '\\'))
                out += c;
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    return true;
}

} // namespace trelvox
