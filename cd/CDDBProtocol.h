// The CDDB protocol without the network: disc ids, request texts, answer parsing and the xmcd
// entry format. Everything here works on bytes and strings only (no Windows headers), so that
// it builds natively for fuzzing and fast tests; CCDDB wraps it with sockets and INI files.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "TrelvoxCDTypes.h"

namespace cdrip::cddb {

// Each entry line, "KEY=" included, stays within this many characters.
constexpr size_t kLineLimit = 254;
// The largest entry text, written or read (the read answer's buffer).
constexpr size_t kEntryCap = 32000;
// The query answer's buffer.
constexpr size_t kQueryAnswerCap = 2048;
// Answers arrive in pieces of this size; reception stops when less than this is left.
constexpr size_t kReceivePiece = 128;
constexpr int kMaxMatches = 10;
// A 210/211 list is read for at most this many lines.
constexpr int kMaxListLines = 100;

// The published CDDB disc id of a table of contents (0 for a table without tracks).
uint32_t DiscId(const DiscToc& toc);
// The frame offset of an LBA as queries and entries list it: the LBA counted from the start of
// the 2-second lead-in.
int32_t FrameOffset(int32_t lba);
// The disc length in whole seconds, from the lead-out.
int32_t DiscSeconds(const DiscToc& toc);

// Form bodies (without the trailing line end that the request adds).
std::string BuildQueryBody(const DiscToc& toc);
std::string BuildReadBody(std::string_view category, std::string_view discId);

// Where a request goes: host and port, and whether it passes through a proxy.
struct Endpoint {
    std::string host;
    uint16_t port = 80;
};
// "host" or "host:port" (port 80 unless given).
Endpoint ParseEndpoint(std::string_view text, uint16_t defaultPort = 80);

// The POST of a form body to the query script: relative to the server, or through a proxy as
// an absolute address ("http://" server script).
std::string BuildFormRequest(std::string_view server, std::string_view cgi, bool viaProxy,
                             std::string_view body);

struct SubmitHeaders {
    std::string category;
    std::string discId;
    std::string email;
};
constexpr const char* kSubmitScript = "/~cddb/submit.cgi";
std::string BuildSubmitRequest(std::string_view target, const SubmitHeaders& headers, std::string_view entry);

// The answer without its HTTP head (everything to the first blank line, when it begins
// "HTTP"). An HTTP status other than 2xx (a proxy or web server refusing) gives false.
bool AnswerBody(std::string_view answer, std::string_view* body);
// The three-digit status at the start of a body, 0 when there is none.
int AnswerStatus(std::string_view body);

// One match line ("category discid artist / title"); false for a line without "/".
bool ParseMatchLine(std::string_view line, CDDBMatch* match);
// A query answer body into at most capacity matches; *status gets its status. Returns the
// number of matches.
int ParseQueryAnswer(std::string_view body, CDDBMatch* matches, int capacity, int* status);
// The entry text of a read answer (status 210); false for any other answer.
bool ReadAnswerEntry(std::string_view body, std::string* entry);

// Copies text into a fixed field of size bytes, cut to fit and zero-terminated.
void CopyField(char* field, size_t size, std::string_view text);

// "\n", "\t" and "\\" in a value, as entries store them.
std::string UnescapeValue(std::string_view value);
// The opposite; other control characters become "_".
std::string EscapeValue(std::string_view value);

// An xmcd entry: comments and key/value pairs in their order.
class XmcdEntry {
public:
    struct Item {
        bool comment = false;
        std::string key; // empty for a comment
        std::string value;
    };

    // Reads an entry text; a key that repeats continues the value of its first occurrence.
    void Parse(std::string_view text);
    // The entry text: escaped, cut into lines of at most kLineLimit characters, CR LF line
    // ends, two more at the end, at most kEntryCap bytes (lines that do not fit are left out).
    std::string Write() const;

    void AddComment(std::string_view text);
    // Appends a value to the key's first occurrence, or adds the key.
    void Add(std::string_view key, std::string_view value);
    void Add(std::string_view key, int index, std::string_view value);
    // Null when the key is absent.
    const std::string* Find(std::string_view key) const;
    const std::string* Find(std::string_view key, int index) const;
    // The number after " Revision:" in a comment, -1 without one.
    int Revision() const;

    const std::vector<Item>& Items() const { return m_items; }

private:
    std::vector<Item> m_items;
};

// What a disc holds, as entries carry it.
struct DiscInfo {
    std::string artist;
    std::string title;
    std::string genre;
    std::string category;
    int year = -1;
    std::vector<std::string> trackTitles;
    std::vector<std::string> trackExtras;
};

// The entry a submission sends: comments with the frame offsets, length and revision (one
// more than the previous entry's, else 0), then the disc's fields; EXTD and PLAYORDER come
// from the previous entry.
XmcdEntry BuildSubmission(const DiscInfo& info, const DiscToc& toc, const XmcdEntry* previous);

// The entry of a local-cache match from what the cache holds.
XmcdEntry BuildLocalEntry(const CDDBMatch& match, std::string_view genre, std::string_view year,
                          const std::vector<std::string>& trackTitles,
                          const std::vector<std::string>& trackExtras);

} // namespace cdrip::cddb
