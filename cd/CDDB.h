// The CDDB client: lookups, entry reads and submissions over HTTP/1.0, and the local cache of
// disc information in "cdplayer.ini". One CCDDB serves one operation (it reads its settings
// when made); it reaches the disc only through cdrip::IAudioCD.
#pragma once

#include "CDDBProtocol.h"
#include "TrelvoxCD.h"

#include <string>

namespace cdrip {

class CCDDB {
public:
    // Reads the "AudioCD" settings of the server, the proxy and the time-out.
    CCDDB();
    ~CCDDB();
    CCDDB(const CCDDB&) = delete;
    CCDDB& operator=(const CCDDB&) = delete;

    // Looks the disc up: *count holds the capacity of matches on the way in and the number of
    // matches on the way out, the local cache's match included. 0 when the server answered
    // (with or without matches), nonzero when it could not be reached; *status gets the
    // answer's three-digit status (0 without one).
    int Query(IAudioCD* disc, int* count, CDDBMatch* matches, int* status);
    // Fetches the match's entry and sets its fields on the disc: 0 on success.
    int Read(const CDDBMatch* match, IAudioCD* disc);
    // The match's entry text into text (at least cddb::kEntryCap bytes): 0 on success.
    int ReadText(const CDDBMatch* match, char* text);
    // Sends the disc's information as an entry, its revision one above that of previous
    // (an entry text, or null). False without a submitter's address, or unless the server
    // answered 200.
    bool Submit(const char* previous, IAudioCD* disc);
    void SaveLocal(IAudioCD* disc);
    bool FindLocal(IAudioCD* disc, CDDBMatch* match);

    // How long the last request took, in milliseconds: connecting, and connecting plus
    // sending and receiving.
    struct Timing {
        double connectMs = 0;
        double totalMs = 0;
    };
    const Timing& LastTiming() const { return m_lastTiming; }

private:
    // Sends request to endpoint and returns the answer (at most cap bytes), empty when the
    // host is unknown, the connection fails, or the time-out passes first.
    std::string Exchange(const cddb::Endpoint& endpoint, const std::string& request, size_t cap);
    // A form POST to the query script, directly or through the proxy; the answer's body, or
    // false when nothing usable came back.
    bool PostForm(const std::string& body, size_t cap, std::string* answer);
    bool ReadEntry(const CDDBMatch& match, std::string* text);

    bool m_winsock = false;
    bool m_useProxy = false;
    std::string m_proxyHost;
    int m_proxyPort = 0;
    std::string m_server;
    std::string m_cgi;
    // For the whole of one request, connecting included.
    int m_timeoutMs = 0;
    Timing m_lastTiming;
};

} // namespace cdrip
