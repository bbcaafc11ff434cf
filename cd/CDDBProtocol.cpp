#include "CDDBProtocol.h"

#include "TrackRecord.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace cdrip::cddb {

namespace {

constexpr const char* kHelloUser = "unknown";
constexpr const char* kHelloHost = "localhost";
constexpr const char* kClientVersion = "v5.0";
constexpr const char* kUserAgent = "Harvanex";

// Whole seconds of an LBA counted from the start of the lead-in (minutes x 60 + seconds of its
// packed time).
int32_t SecondsOf(int32_t lba) {
    const uint32_t packed = PackLba(lba);
    return int32_t((packed >> 16) * 60 + ((packed >> 8) & 0xFF));
}

int DigitSum(int32_t value) {
    int sum = 0;
    for (; value > 0; value /= 10)
        sum += value % 10;
    return sum;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return std::string(buffer, length < 0                       ? 0
                               : size_t(length) < sizeof buffer ? size_t(length)
                                                                : sizeof buffer - 1);
}

// The hello and protocol tail of a form body. Servers split the hello on "+", so blanks and
// "@" in the configured names must not survive (the leading "+" or "&" stays).
std::string HelloTail(std::string prefix) {
    prefix += Format("&hello=%s+%s+trelvox+%s&proto=5", kHelloUser, kHelloHost, kClientVersion);
    for (size_t i = 1; i < prefix.size(); ++i)
        if (prefix[i] == ' ' || prefix[i] == '@')
            prefix[i] = '+';
    return prefix;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view FirstLine(std::string_view text, std::string_view* rest) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    *rest = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string IndexedKey(std::string_view key, int index) {
    return std::string(key) + std::to_string(index);
}

} // namespace

int32_t FrameOffset(int32_t lba) {
    const uint32_t packed = PackLba(lba);
    return SecondsOf(lba) * 75 + int32_t(packed & 0xFF);
}

int32_t DiscSeconds(const DiscToc& toc) {
    return SecondsOf(toc.leadOut);
}

uint32_t DiscId(const DiscToc& toc) {
    if (toc.count <= 0 || toc.count > 99)
        return 0;
    uint32_t sum = 0;
    for (int i = 0; i < toc.count; ++i)
        sum += uint32_t(DigitSum(SecondsOf(toc.start[i])));
    const uint32_t length = uint32_t(SecondsOf(toc.leadOut) - SecondsOf(toc.start[0]));
    return (sum % 255) << 24 | (length & 0xFFFF) << 8 | uint32_t(toc.count);
}

std::string BuildQueryBody(const DiscToc& toc) {
    const int count = toc.count < 0 ? 0 : toc.count > 99 ? 99 : toc.count;
    std::string body = Format("cmd=cddb+query+%08x+%d", DiscId(toc), count);
    for (int i = 0; i < count; ++i)
        body += Format("+%d", FrameOffset(toc.start[i]));
    return body + HelloTail(Format("+%d", DiscSeconds(toc)));
}

std::string BuildReadBody(std::string_view category, std::string_view discId) {
    return "cmd=cddb+read+" + std::string(category) + "+" + std::string(discId) + HelloTail("");
}

Endpoint ParseEndpoint(std::string_view text, uint16_t defaultPort) {
    Endpoint endpoint;
    endpoint.port = defaultPort;
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos && colon + 1 < text.size() && text.find(':') == colon) {
        unsigned long port = 0;
        bool digits = true;
        for (char c : text.substr(colon + 1))
            digits = digits && c >= '0' && c <= '9' && (port = port * 10 + unsigned(c - '0')) <= 65535;
        if (digits && port != 0) {
            endpoint.port = uint16_t(port);
            text = text.substr(0, colon);
        }
    }
    endpoint.host = std::string(text);
    return endpoint;
}

std::string BuildFormRequest(std::string_view server, std::string_view cgi, bool viaProxy,
                             std::string_view body) {
    std::string target = viaProxy ? "http://" + std::string(server) + std::string(cgi) : std::string(cgi);
    std::string request =
        "POST " + target + " HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n";
    request += Format("User-Agent: %s\r\n", kUserAgent);
    // The length counts the line end that follows the body.
    request += Format("Content-Length: %d\r\n\r\n", int(body.size() + 2));
    request += body;
    return request + "\r\n";
}

std::string BuildSubmitRequest(std::string_view target, const SubmitHeaders& headers,
                               std::string_view entry) {
    std::string request = "POST " + std::string(target) + " HTTP/1.0\r\n";
    request += Format("User-Agent: %s\r\n", kUserAgent);
    request += "Submit-Mode: submit\r\nCategory: " + headers.category + "\r\nDiscid: " + headers.discId +
               "\r\nUser-Email: " + headers.email + "\r\n";
    request += "X-Cddbd-Note: Sent by Harvanex; problems with this entry? Contact Harvane Support "
               "<cddb-support@harvane.example>\r\n";
    request += Format("Content-Length: %d\r\n\r\n", int(entry.size() + 2));
    request += entry;
    return request + "\r\n";
}

bool AnswerBody(std::string_view answer, std::string_view* body) {
    *body = answer;
    if (answer.substr(0, 4) != "HTTP")
        return true;
    // "HTTP/1.x NNN": anything but a 2xx is a server or proxy refusing the request.
    size_t blank = answer.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= answer.size() || answer[blank + 1] != '2')
        return false;
    size_t end = answer.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return false;
    *body = answer.substr(end + 4);
    return true;
}

int AnswerStatus(std::string_view body) {
    if (body.size() < 3)
        return 0;
    int status = 0;
    for (int i = 0; i < 3; ++i) {
        if (body[i] < '0' || body[i] > '9')
            return 0;
        status = status * 10 + (body[i] - '0');
    }
    return status;
}

void CopyField(char* field, size_t size, std::string_view text) {
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    if (length) // an empty view may have no data at all
        memcpy(field, text.data(), length);
    field[length] = '\0';
}

bool ParseMatchLine(std::string_view line, CDDBMatch* match) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    const size_t slash = line.find('/');
    if (slash == std::string_view::npos)
        return false;
    CDDBMatch parsed{};
    size_t pos = 0;
    while (pos < line.size() && !IsBlank(line[pos]))
        ++pos;
    CopyField(parsed.category, sizeof parsed.category, line.substr(0, pos));
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    size_t idStart = pos;
    while (pos < line.size() && pos - idStart < 8 && IsHex(line[pos]))
        ++pos;
    CopyField(parsed.discId, sizeof parsed.discId, line.substr(idStart, pos - idStart));
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    // A category or id that runs into the "/" leaves the artist empty.
    std::string_view artist = pos < slash ? line.substr(pos, slash - pos) : std::string_view();
    if (!artist.empty() && artist.back() == ' ')
        artist.remove_suffix(1);
    CopyField(parsed.artist, sizeof parsed.artist, artist);
    pos = slash + 1;
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    CopyField(parsed.title, sizeof parsed.title, line.substr(pos));
    *match = parsed;
    return true;
}

int ParseQueryAnswer(std::string_view body, CDDBMatch* matches, int capacity, int* status) {
    *status = AnswerStatus(body);
    std::string_view rest;
    std::string_view line = FirstLine(body, &rest);
    int count = 0;
    if (*status == 200) {
        if (capacity > 0 && line.size() > 4 && ParseMatchLine(line.substr(4), &matches[0])) {
            matches[0].flag = 1;
            count = 1;
        }
        return count;
    }
    if (*status != 210 && *status != 211)
        return 0;
    for (int lines = 0; lines < kMaxListLines && count < capacity && !rest.empty(); ++lines) {
        line = FirstLine(rest, &rest);
        if (line == ".")
            break;
        if (ParseMatchLine(line, &matches[count])) {
            matches[count].flag = 0;
            ++count;
        }
    }
    return count;
}

bool ReadAnswerEntry(std::string_view body, std::string* entry) {
    if (AnswerStatus(body) != 210)
        return false;
    size_t end = body.find('\n');
    *entry = end == std::string_view::npos ? std::string() : std::string(body.substr(end + 1));
    return true;
}

std::string UnescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += value[i];
    }
    return out;
}

std::string EscapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            // Escaped too, so that the reader gives back a backslash followed by n or t as
            // it was written.
            out += "\\\\";
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            out += '_';
        else
            out += c;
    }
    return out;
}

void XmcdEntry::Parse(std::string_view text) {
    m_items.clear();
    while (!text.empty()) {
        std::string_view line = FirstLine(text, &text);
        if (!line.empty() && line[0] == '#') {
            AddComment(line.substr(1));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        Add(line.substr(0, equals), UnescapeValue(line.substr(equals + 1)));
    }
}

std::string XmcdEntry::Write() const {
    // Room for the two closing line ends.
    constexpr size_t kBudget = kEntryCap - 4;
    std::string text;
    auto addLine = [&](const std::string& line) {
        if (text.size() + line.size() + 2 > kBudget)
            return false;
        text += line;
        text += "\r\n";
        return true;
    };
    for (const Item& item : m_items) {
        if (item.comment) {
            if (!addLine("#" + item.value))
                break;
            continue;
        }
        const std::string escaped = EscapeValue(item.value);
        const size_t room = item.key.size() + 1 < kLineLimit ? kLineLimit - item.key.size() - 1 : 1;
        size_t pos = 0;
        bool fits = true;
        do {
            size_t piece = escaped.size() - pos < room ? escaped.size() - pos : room;
            // An escape pair stays on one line: the reader unescapes each line by itself.
            if (pos + piece < escaped.size() && piece > 1) {
                size_t backslashes = 0;
                while (backslashes < piece && escaped[pos + piece - 1 - backslashes] == '\\')
                    ++backslashes;
                if (backslashes % 2 == 1)
                    --piece;
            }
            fits = addLine(item.key + "=" + escaped.substr(pos, piece));
            pos += piece;
        } while (fits && pos < escaped.size());
        if (!fits)
            break;
    }
    return text + "\r\n\r\n";
}

void XmcdEntry::AddComment(std::string_view text) {
    m_items.push_back({true, std::string(), std::string(text)});
}

void XmcdEntry::Add(std::string_view key, std::string_view value) {
    for (Item& item : m_items) {
        if (!item.comment && item.key == key) {
            item.value += value;
            return;
        }
    }
    m_items.push_back({false, std::string(key), std::string(value)});
}

void XmcdEntry::Add(std::string_view key, int index, std::string_view value) {
    Add(IndexedKey(key, index), value);
}

const std::string* XmcdEntry::Find(std::string_view key) const {
    for (const Item& item : m_items)
        if (!item.comment && item.key == key)
            return &item.value;
    return nullptr;
}

const std::string* XmcdEntry::Find(std::string_view key, int index) const {
    return Find(IndexedKey(key, index));
}

int XmcdEntry::Revision() const {
    for (const Item& item : m_items) {
        const size_t at = item.comment ? item.value.find(" Revision:") : std::string::npos;
        if (at != std::string::npos)
            return atoi(item.value.c_str() + at + strlen(" Revision:"));
    }
    return -1;
}

XmcdEntry BuildSubmission(const DiscInfo& info, const DiscToc& toc, const XmcdEntry* previous) {
    XmcdEntry entry;
    entry.AddComment(" xmcd");
    entry.AddComment("");
    entry.AddComment(" Track frame offsets:");
    for (int i = 0; i < toc.count && i < 99; ++i)
        entry.AddComment(Format("\t%d", FrameOffset(toc.start[i])));
    entry.AddComment("");
    entry.AddComment(Format(" Disc length: %d seconds", DiscSeconds(toc)));
    entry.AddComment("");
    const int previousRevision = previous ? previous->Revision() : -1;
    entry.AddComment(Format(" Revision: %d", previousRevision >= 0 ? previousRevision + 1 : 0));
    entry.AddComment(Format(" Submitted via: %s %s (Trelvox CDDB client)", kUserAgent, kClientVersion));
    entry.AddComment("");
    entry.Add("DISCID", Format("%08x", DiscId(toc)));
    entry.Add("DTITLE", info.artist + " / " + info.title);
    entry.Add("DYEAR", info.year >= 0 ? std::to_string(info.year) : std::string());
    entry.Add("DGENRE", info.genre);
    for (size_t i = 0; i < info.trackTitles.size(); ++i)
        entry.Add("TTITLE", int(i), info.trackTitles[i]);
    const std::string* extd = previous ? previous->Find("EXTD") : nullptr;
    entry.Add("EXTD", extd ? *extd : std::string());
    for (size_t i = 0; i < info.trackTitles.size(); ++i)
        entry.Add("EXTT", int(i), i < info.trackExtras.size() ? info.trackExtras[i] : std::string());
    const std::string* order = previous ? previous->Find("PLAYORDER") : nullptr;
    entry.Add("PLAYORDER", order ? *order : std::string());
    return entry;
}

XmcdEntry BuildLocalEntry(const CDDBMatch& match, std::string_view genre, std::string_view year,
                          const std::vector<std::string>& trackTitles,
                          const std::vector<std::string>& trackExtras) {
    XmcdEntry entry;
    entry.Add("DTITLE", std::string(match.artist) + " / " + match.title);
    entry.Add("DGENRE", genre);
    entry.Add("DYEAR", year);
    for (size_t i = 0; i < trackTitles.size(); ++i) {
        entry.Add("TTITLE", int(i), trackTitles[i]);
        entry.Add("EXTT", int(i), i < trackExtras.size() ? trackExtras[i] : std::string());
    }
    return entry;
}

} // namespace cdrip::cddb
