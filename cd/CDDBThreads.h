// The CDDB side of a disc object: the lookup and submission threads, and the matches of the
// disc's last lookup behind cdrip::ICDDBQuery. The disc object holds one of these and passes
// itself in; a thread holds a reference to the disc and to the callback while it runs, so
// the disc (and with it this object) outlives the thread.
#pragma once

#include "TrelvoxCD.h"
#include "CDDBProtocol.h"

#include <atomic>

namespace cdrip {

class CDDBRequests {
public:
    // Start a thread: 0 when it started, and also when a thread of this disc is already
    // running (no second one starts); E_INVALIDARG without a callback, E_UNEXPECTED for a
    // disc without tracks, E_FAIL when the thread cannot be made.
    HRESULT StartLookup(IAudioCD* disc, ICDDBCallback* callback) { return Start(kLookup, disc, callback); }
    HRESULT StartSubmit(IAudioCD* disc, ICDDBCallback* callback) { return Start(kSubmit, disc, callback); }
    // True from a successful start until the thread has finished its work.
    bool Busy() const { return m_busy.load(); }

    // ICDDBQuery, on the caller's thread.
    int QueryCDDB(IAudioCD* disc);
    int GetMatchCount() const { return m_count; }
    HRESULT GetMatchText(int index, char* artist, char* title) const;
    int ReadMatch(IAudioCD* disc, int index);
    int GetQueryStatus() const { return m_status; }

    // Writes the disc's information to the local cache (the disc does so before it forgets
    // modified information). Throws nothing.
    static void SaveLocal(IAudioCD* disc);

private:
    enum Mode { kLookup = 0, kSubmit = 1 };
    struct Job;

    HRESULT Start(Mode mode, IAudioCD* disc, ICDDBCallback* callback);
    static unsigned long __stdcall ThreadMain(void* job);
    void RunLookup(IAudioCD* disc, ICDDBCallback* callback);
    void RunSubmit(IAudioCD* disc, ICDDBCallback* callback);

    std::atomic<bool> m_busy{false};
    CDDBMatch m_matches[cddb::kMaxMatches] = {};
    int m_count = 0;
    int m_status = 0;
};

} // namespace cdrip
