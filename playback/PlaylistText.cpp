#include "PlaylistText.h"

#include <ctype.h>

namespace trelvox::playlist {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (tolower(static_cast<unsigned char>(text[i])) != tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool IsSpace(char c) {
    return isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        size_t length = end == std::string_view::npos ? text.size() : end + 1;
        if (length > kMaxText)
            length = kMaxText;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

std::vector<std::string> M3UValues(std::string_view text) {
    std::vector<std::string> values;
    for (std::string_view line : SplitLines(text)) {
        if (line[0] != '#')
            values.emplace_back(line);
    }
    return values;
}

std::vector<std::string> PLSValues(std::string_view text) {
    std::vector<std::string> values;
    std::string pending;
    for (std::string_view line : SplitLines(text)) {
        if (line[0] == '[')
            continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || !StartsWithNoCase(line, "File"))
            continue; // Title, Length, NumberOfEntries, Version and the rest are not kept
        if (!pending.empty())
            values.push_back(std::move(pending));
        pending.assign(line.substr(equals + 1));
    }
    if (!pending.empty())
        values.push_back(std::move(pending));
    return values;
}

LineEntry ClassifyLine(std::string_view value, Format format) {
    LineEntry line;
    bool url = StartsWithNoCase(value, "http://") || StartsWithNoCase(value, "ftp://") ||
               StartsWithNoCase(value, "file://");
    line.path.assign(value);
    if (!url) {
        for (char& c : line.path) {
            if (c == '/')
                c = '\\';
        }
    }
    while (!line.path.empty() && IsSpace(line.path.back()))
        line.path.pop_back();
    const std::string& path = line.path;
    if (path.empty())
        return line;
    // PLS names rtp:// where M3U names ftp://; a PLS ftp:// value falls through to the
    // relative rule below. Checked on the value as written, before rtp's slashes turned.
    bool network = url || StartsWithNoCase(value, format == Format::M3U ? "ftp://" : "rtp://");
    if (format == Format::PLS && StartsWithNoCase(value, "ftp://"))
        network = false;
    if (network)
        line.placement = Placement::None;
    else if (path.compare(0, 2, "..") == 0)
        line.placement = Placement::Resolved;
    else if (path.compare(1, 2, ":\\") == 0 || path[0] == '\\')
        line.placement = Placement::AsIs;
    else
        line.placement = Placement::Appended;
    return line;
}

std::string JoinResolved(std::string_view dir, std::string_view rel) {
    std::string joined(dir);
    // The part that ".." never removes: "C:" or the first component.
    size_t floor = joined.find('\\');
    if (floor == std::string::npos)
        floor = joined.size();
    while (!rel.empty()) {
        size_t end = rel.find('\\');
        std::string_view part = rel.substr(0, end);
        rel.remove_prefix(end == std::string_view::npos ? rel.size() : end + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            size_t cut = joined.rfind('\\');
            if (cut != std::string::npos && cut >= floor)
                joined.resize(cut);
            continue;
        }
        joined.append(1, '\\').append(part);
    }
    return joined;
}

std::string M3UText(const std::vector<std::string>& entries, std::string_view dir,
                    std::string_view homePage) {
    std::string text = "# Created by Harvane v7.0\r\n# Get this program at: ";
    text.append(homePage).append("\r\n");
    for (const std::string& entry : entries) {
        // Only whole directory names count: C:\music2\a.mp3 is not inside C:\music.
        bool inside = !dir.empty() && entry.size() > dir.size() && entry[dir.size()] == '\\' &&
                      StartsWithNoCase(entry, dir);
        if (inside)
            text.append(1, '.').append(entry, dir.size());
        else
            text.append(entry);
        text.append("\r\n");
    }
    return text;
}

} // namespace trelvox::playlist
