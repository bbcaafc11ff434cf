// Winsock first: the Windows headers must not pull in the old socket declarations.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "CDDB.h"

#include "TrackRecord.h"
#include "Trace.h"
#include "Trelvox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

namespace cdrip {

namespace {

constexpr const char* kSection = "AudioCD";
constexpr const char* kDefaultServer = "gnudb.gnudb.org";
constexpr const char* kDefaultCgi = "/~cddb/cddb.cgi";
constexpr const char* kCacheFile = "cdplayer.ini";
constexpr int kDefaultTimeoutSeconds = 10;
// Values of the local cache are read through a buffer of this size.
constexpr DWORD kCacheValueSize = 4096;

std::string ReadSettingText(const char* key, const char* fallback) {
    char value[1024];
    return GetProfileStringA(kSection, key, value) ? std::string(value) : std::string(fallback);
}

int ReadSettingNumber(const char* key, int fallback) {
    int value = fallback;
    GetProfileIntA(kSection, key, &value);
    return value;
}

std::string Hex(const char* format, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, format, value);
    return text;
}

// The texts that the disc getters copy out (cut to the buffer).
template <class Getter> std::string DiscText(Getter getter) {
    char buffer[1024] = "";
    getter(buffer, int(sizeof buffer));
    return buffer;
}

cddb::DiscInfo ReadDiscInfo(IAudioCD* disc) {
    cddb::DiscInfo info;
    info.artist = DiscText([&](char* b, int n) { disc->GetArtist(b, n); });
    info.title = DiscText([&](char* b, int n) { disc->GetTitle(b, n); });
    info.genre = DiscText([&](char* b, int n) { disc->GetGenre(b, n); });
    info.category = DiscText([&](char* b, int n) { disc->GetCategory(b, n); });
    disc->GetYear(&info.year);
    int tracks = 0;
    disc->GetTrackCount(&tracks);
    for (int i = 0; i < tracks; ++i) {
        info.trackTitles.push_back(DiscText([&](char* b, int n) { disc->GetTrackTitle(i, b, n); }));
        info.trackExtras.push_back(DiscText([&](char* b, int n) { disc->GetTrackExtra(i, b, n); }));
    }
    return info;
}

// The disc key of the local cache, the one every track record of the disc carries: the sum of
// the packed start times of the audio tracks; 0 for a disc without tracks. It is worked out
// from the table of contents rather than read from a track object, because the disc saves to
// the cache from its destructor, where handing out a track (and a reference) must not happen.
// Data tracks sit before the audio tracks on a mixed-mode disc (whose CDDB id is 0) and after
// them on an enhanced one.
uint32_t DiscKeyOf(IAudioCD* disc) {
    const DiscToc* toc = disc->GetToc();
    int audio = 0;
    if (!toc || FAILED(disc->GetTrackCount(&audio)) || audio <= 0 || audio > toc->count)
        return 0;
    const int first = audio < toc->count && disc->GetDiscId() == 0 ? toc->count - audio : 0;
    uint32_t key = 0;
    for (int i = first; i < first + audio; ++i)
        key += PackLba(toc->start[i]);
    return key;
}

std::string CacheText(const std::string& section, const char* key, const char* fallback = "") {
    std::unique_ptr<char[]> value(new char[kCacheValueSize]);
    GetPrivateProfileStringA(section.c_str(), key, fallback, value.get(), kCacheValueSize, kCacheFile);
    // Line ends and tabs are kept escaped in the file, whose lines cannot hold them.
    return cddb::UnescapeValue(value.get());
}

void PutCacheText(const std::string& section, const char* key, const std::string& value) {
    WritePrivateProfileStringA(section.c_str(), key, cddb::EscapeValue(value).c_str(), kCacheFile);
}

class Socket {
public:
    explicit Socket(SOCKET socket) : m_socket(socket) {}
    ~Socket() {
        if (m_socket != INVALID_SOCKET)
            closesocket(m_socket);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return m_socket; }

private:
    SOCKET m_socket;
};

struct AddressList {
    addrinfo* list = nullptr;
    ~AddressList() {
        if (list)
            freeaddrinfo(list);
    }
};

class Clock {
public:
    Clock() {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_start);
    }
    double ElapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - m_start.QuadPart) * 1000.0 / double(m_frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

// Waits until the socket can be read (or written), at most until the deadline; false on
// time-out or error.
bool WaitFor(SOCKET socket, bool write, const Clock& clock, int timeoutMs) {
    const double left = timeoutMs - clock.ElapsedMs();
    if (left <= 0)
        return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    timeval wait;
    wait.tv_sec = long(left / 1000);
    wait.tv_usec = long(left - wait.tv_sec * 1000.0) * 1000;
    const int ready = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &wait);
    return ready > 0 && FD_ISSET(socket, &set) && !FD_ISSET(socket, &failed);
}

} // namespace

CCDDB::CCDDB()
    : m_useProxy(ReadSettingNumber("CDDB_UseProxy", 0) != 0),
      m_proxyHost(ReadSettingText("CDDB_ProxyAddress", "")),
      m_proxyPort(ReadSettingNumber("CDDB_ProxyPort", 0)),
      m_server(ReadSettingText("CDDB_Server", kDefaultServer)),
      m_cgi(ReadSettingText("CDDB_CGI", kDefaultCgi)) {
    // Not part of the published settings: a whole request (connecting, sending, receiving)
    // gives up after this many seconds, so that a server that stops answering cannot hold a
    // lookup thread.
    int seconds = ReadSettingNumber("CDDB_Timeout", kDefaultTimeoutSeconds);
    m_timeoutMs = (seconds < 1 ? 1 : seconds > 300 ? 300 : seconds) * 1000;
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CCDDB::~CCDDB() {
    if (m_winsock)
        WSACleanup();
}

std::string CCDDB::Exchange(const cddb::Endpoint& endpoint, const std::string& request, size_t cap) {
    m_lastTiming = Timing();
    if (!m_winsock || endpoint.host.empty())
        return std::string();
    Clock clock;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddressList addresses;
    const std::string port = std::to_string(endpoint.port);
    if (getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &addresses.list) != 0 || !addresses.list) {
        TX_TRACE(cddb, "cannot resolve %s", endpoint.host.c_str());
        return std::string();
    }
    Socket socket(
        ::socket(addresses.list->ai_family, addresses.list->ai_socktype, addresses.list->ai_protocol));
    if (socket.get() == INVALID_SOCKET)
        return std::string();
    // Non-blocking throughout: every wait below is bounded by the one deadline.
    u_long nonBlocking = 1;
    ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
    if (connect(socket.get(), addresses.list->ai_addr, int(addresses.list->ai_addrlen)) != 0) {
        int error = 0;
        int errorSize = sizeof error;
        if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitFor(socket.get(), true, clock, m_timeoutMs) ||
            getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorSize) !=
                0 ||
            error != 0) {
            TX_TRACE(cddb, "cannot connect to %s:%u (%d)", endpoint.host.c_str(), endpoint.port, error);
            return std::string();
        }
    }
    m_lastTiming.connectMs = clock.ElapsedMs();
    for (size_t sent = 0; sent < request.size();) {
        if (!WaitFor(socket.get(), true, clock, m_timeoutMs))
            return std::string();
        const int n = send(socket.get(), request.data() + sent, int(request.size() - sent), 0);
        if (n <= 0 && WSAGetLastError() != WSAEWOULDBLOCK)
            return std::string();
        sent += n > 0 ? size_t(n) : 0;
    }
    std::string answer;
    char piece[cddb::kReceivePiece];
    // A terminator's byte is kept free, as the answer buffers of the protocol count it.
    while (answer.size() + cddb::kReceivePiece < cap) {
        if (!WaitFor(socket.get(), false, clock, m_timeoutMs)) {
            TX_TRACE(cddb, "no answer from %s:%u within %d ms (%u bytes so far)", endpoint.host.c_str(),
                     endpoint.port, m_timeoutMs, unsigned(answer.size()));
            return std::string();
        }
        const int n = recv(socket.get(), piece, int(sizeof piece), 0);
        if (n == 0)
            break;
        if (n < 0) {
            if (WSAGetLastError() == WSAEWOULDBLOCK)
                continue;
            // A connection reset after a complete answer still gave the answer.
            break;
        }
        answer.append(piece, size_t(n));
    }
    m_lastTiming.totalMs = clock.ElapsedMs();
    TX_TRACE(cddb, "%u bytes from %s:%u: %.40s", unsigned(answer.size()), endpoint.host.c_str(),
             endpoint.port, answer.c_str());
    return answer;
}

bool CCDDB::PostForm(const std::string& body, size_t cap, std::string* answer) {
    const bool viaProxy = m_useProxy && !m_proxyHost.empty();
    const cddb::Endpoint endpoint =
        viaProxy ? cddb::Endpoint{m_proxyHost, uint16_t(m_proxyPort)} : cddb::ParseEndpoint(m_server);
    const std::string raw = Exchange(endpoint, cddb::BuildFormRequest(m_server, m_cgi, viaProxy, body), cap);
    std::string_view content;
    if (raw.empty() || !cddb::AnswerBody(raw, &content))
        return false;
    *answer = std::string(content);
    return true;
}

int CCDDB::Query(IAudioCD* disc, int* count, CDDBMatch* matches, int* status) {
    const int capacity = *count;
    *count = 0;
    *status = 0;
    const DiscToc* toc = disc ? disc->GetToc() : nullptr;
    if (!toc || capacity <= 0)
        return 1;
    std::string answer;
    const bool reached = PostForm(cddb::BuildQueryBody(*toc), cddb::kQueryAnswerCap, &answer);
    int found = reached ? cddb::ParseQueryAnswer(answer, matches, capacity, status) : 0;
    CDDBMatch local;
    if (FindLocal(disc, &local)) {
        bool listed = false;
        for (int i = 0; i < found && !listed; ++i)
            listed = !strcmp(matches[i].category, local.category) && !strcmp(matches[i].title, local.title) &&
                     !strcmp(matches[i].artist, local.artist) && !strcmp(matches[i].discId, local.discId);
        // A full list gives its last place to the cache, which answers without the network.
        if (!listed)
            matches[found < capacity ? found++ : capacity - 1] = local;
    }
    *count = found;
    return reached ? 0 : 1;
}

bool CCDDB::ReadEntry(const CDDBMatch& match, std::string* text) {
    if (match.localKey != 0) {
        const std::string section = Hex("%X", match.localKey);
        const int tracks = int(GetPrivateProfileIntA(section.c_str(), "NumTracks", 0, kCacheFile));
        if (tracks <= 0)
            return false;
        std::vector<std::string> titles, extras;
        for (int i = 0; i < tracks && i < 99; ++i) {
            const std::string number = std::to_string(i);
            titles.push_back(CacheText(section, number.c_str(), ("Track " + std::to_string(i + 1)).c_str()));
            extras.push_back(CacheText(section, ("Ext" + number).c_str()));
        }
        *text = cddb::BuildLocalEntry(match, CacheText(section, "ID3Genre"), CacheText(section, "Year"),
                                      titles, extras)
                    .Write();
        return true;
    }
    std::string answer;
    return PostForm(cddb::BuildReadBody(match.category, match.discId), cddb::kEntryCap, &answer) &&
           cddb::ReadAnswerEntry(answer, text);
}

int CCDDB::ReadText(const CDDBMatch* match, char* text) {
    std::string entry;
    if (!match || !text || !ReadEntry(*match, &entry))
        return 1;
    cddb::CopyField(text, cddb::kEntryCap, entry);
    return 0;
}

int CCDDB::Read(const CDDBMatch* match, IAudioCD* disc) {
    std::string text;
    if (!match || !disc || !ReadEntry(*match, &text))
        return 1;
    cddb::XmcdEntry entry;
    entry.Parse(text);
    disc->SetTitle(match->title);
    disc->SetArtist(match->artist);
    disc->SetCategory(match->category);
    if (const std::string* genre = entry.Find("DGENRE"); genre && !genre->empty())
        disc->SetGenre(genre->c_str());
    if (const std::string* year = entry.Find("DYEAR"); year && !year->empty())
        disc->SetYear(atoi(year->c_str()));
    int tracks = 0;
    disc->GetTrackCount(&tracks);
    for (int i = 0; i < tracks; ++i) {
        if (const std::string* title = entry.Find("TTITLE", i))
            disc->SetTrackTitle(i, title->c_str());
        if (const std::string* extra = entry.Find("EXTT", i))
            disc->SetTrackExtra(i, extra->c_str());
    }
    return 0;
}

bool CCDDB::Submit(const char* previous, IAudioCD* disc) {
    const std::string email = ReadSettingText("CDDB_EMailAddress", "");
    const DiscToc* toc = disc ? disc->GetToc() : nullptr;
    if (email.empty() || !toc) {
        TX_TRACE(cddb, "no submission: %s", email.empty() ? "no e-mail address" : "no tracks");
        return false;
    }
    cddb::XmcdEntry previousEntry;
    if (previous)
        previousEntry.Parse(previous);
    const cddb::DiscInfo info = ReadDiscInfo(disc);
    const std::string entry = cddb::BuildSubmission(info, *toc, previous ? &previousEntry : nullptr).Write();
    const cddb::SubmitHeaders headers{info.category, Hex("%08x", cddb::DiscId(*toc)), email};
    const std::string raw =
        Exchange(cddb::ParseEndpoint(m_server), cddb::BuildSubmitRequest(cddb::kSubmitScript, headers, entry),
                 cddb::kQueryAnswerCap);
    std::string_view body;
    return !raw.empty() && cddb::AnswerBody(raw, &body) && cddb::AnswerStatus(body) == 200;
}

void CCDDB::SaveLocal(IAudioCD* disc) {
    const uint32_t key = disc ? DiscKeyOf(disc) : 0;
    if (key == 0)
        return;
    const cddb::DiscInfo info = ReadDiscInfo(disc);
    const std::string section = Hex("%X", key);
    // Drops the keys of a previous entry for the same disc.
    WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, kCacheFile);
    PutCacheText(section, "EntryType", "1");
    PutCacheText(section, "Artist", info.artist);
    PutCacheText(section, "Title", info.title);
    PutCacheText(section, "Genre", info.category);
    PutCacheText(section, "ID3Genre", info.genre);
    PutCacheText(section, "Year", info.year == -1 ? std::string() : std::to_string(info.year));
    PutCacheText(section, "NumTracks", std::to_string(info.trackTitles.size()));
    for (size_t i = 0; i < info.trackTitles.size(); ++i) {
        PutCacheText(section, std::to_string(i).c_str(), info.trackTitles[i]);
        PutCacheText(section, ("Ext" + std::to_string(i)).c_str(), info.trackExtras[i]);
    }
}

bool CCDDB::FindLocal(IAudioCD* disc, CDDBMatch* match) {
    const DiscToc* toc = disc ? disc->GetToc() : nullptr;
    const uint32_t key = toc ? DiscKeyOf(disc) : 0;
    if (key == 0)
        return false;
    const std::string section = Hex("%X", key);
    if (GetPrivateProfileIntA(section.c_str(), "NumTracks", 0, kCacheFile) == 0)
        return false;
    CDDBMatch found{};
    cddb::CopyField(found.category, sizeof found.category, CacheText(section, "Genre"));
    cddb::CopyField(found.discId, sizeof found.discId, Hex("%08x", cddb::DiscId(*toc)));
    cddb::CopyField(found.artist, sizeof found.artist, CacheText(section, "Artist"));
    cddb::CopyField(found.title, sizeof found.title, CacheText(section, "Title"));
    found.localKey = key;
    found.flag = 1;
    *match = found;
    return true;
}

} // namespace cdrip
