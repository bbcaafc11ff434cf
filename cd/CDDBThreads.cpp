#include "CDDBThreads.h"

#include "CDDB.h"
#include "ComPtr.h"
#include "Trace.h"

#include <string.h>

#include <memory>
#include <new>

namespace cdrip {

struct CDDBRequests::Job {
    CDDBRequests* requests;
    Mode mode;
    trelvox::ComPtr<IAudioCD> disc;
    trelvox::ComPtr<ICDDBCallback> callback;
};

HRESULT CDDBRequests::Start(Mode mode, IAudioCD* disc, ICDDBCallback* callback) {
    if (!disc || !callback)
        return E_INVALIDARG;
    int tracks = 0;
    if (!disc->GetToc() || FAILED(disc->GetTrackCount(&tracks)) || tracks <= 0)
        return E_UNEXPECTED;
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true))
        return S_OK;
    std::unique_ptr<Job> job(new (std::nothrow) Job{this, mode, {}, {}});
    if (!job) {
        m_busy = false;
        return E_FAIL;
    }
    job->disc.assign(disc);
    job->callback.assign(callback);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, job.get(), 0, &id);
    if (!thread) {
        m_busy = false;
        return E_FAIL;
    }
    job.release();
    CloseHandle(thread);
    return S_OK;
}

unsigned long __stdcall CDDBRequests::ThreadMain(void* parameter) {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    try {
        if (job->mode == kLookup)
            job->requests->RunLookup(job->disc.get(), job->callback.get());
        else
            job->requests->RunSubmit(job->disc.get(), job->callback.get());
    } catch (...) {
        TX_TRACE(cddb, "CDDB thread ended by an exception");
    }
    // The busy mark goes first and the callback last: the caller sees the release of its
    // callback as the end of the request, and may start the next one or let the disc go then.
    job->requests->m_busy = false;
    job->disc.reset();
    job->callback.reset();
    return 0;
}

void CDDBRequests::RunLookup(IAudioCD* disc, ICDDBCallback* callback) {
    callback->SetStatus("Contacting CDDB Server...");
    CCDDB cddb;
    int count = cddb::kMaxMatches;
    const int unreachable = cddb.Query(disc, &count, m_matches, &m_status);
    m_count = count;
    if (unreachable) {
        callback->SetStatus("Unable to contact CDDB server");
        // The local cache may still know the disc.
        if (count == 0)
            return;
    } else if (count == 0) {
        callback->SetStatus("No matches in CDDB database");
        return;
    }
    int chosen = 0;
    if (count > 1) {
        callback->SetStatus("Multiple CDDB Matches");
        if (FAILED(callback->ChooseMatch(count, m_matches, &chosen)) || chosen < 0 || chosen >= count) {
            callback->SetStatus("");
            return;
        }
    }
    callback->SetStatus("Retrieving CD information...");
    if (cddb.Read(&m_matches[chosen], disc) != 0)
        callback->SetStatus("Unable to retrieve CDDB information");
}

void CDDBRequests::RunSubmit(IAudioCD* disc, ICDDBCallback* callback) {
    char category[sizeof(CDDBMatch::category)] = "";
    disc->GetCategory(category, int(sizeof category));
    callback->SetStatus("Contacting CDDB Server...");
    CCDDB cddb;
    CDDBMatch matches[cddb::kMaxMatches];
    int count = cddb::kMaxMatches;
    int status = 0;
    cddb.Query(disc, &count, matches, &status);
    const CDDBMatch* existing = nullptr;
    for (int i = count - 1; i >= 0 && !existing; --i)
        if (matches[i].localKey == 0 && !strcmp(matches[i].category, category))
            existing = &matches[i];
    std::unique_ptr<char[]> previous;
    if (existing) {
        // The server holds an entry of this disc in this category: the submission replaces it.
        if (FAILED(callback->SetStatus("REVISION")))
            return;
        previous.reset(new char[cddb::kEntryCap]);
        if (cddb.ReadText(existing, previous.get()) != 0)
            previous.reset();
    }
    callback->SetStatus("Submitting to CDDB Server...");
    callback->SetStatus(cddb.Submit(previous.get(), disc) ? "Submission succeeded" : "Submission failed");
}

int CDDBRequests::QueryCDDB(IAudioCD* disc) {
    try {
        CCDDB cddb;
        int count = cddb::kMaxMatches;
        const int result = cddb.Query(disc, &count, m_matches, &m_status);
        m_count = count;
        return result;
    } catch (...) {
        m_count = 0;
        return 1;
    }
}

HRESULT CDDBRequests::GetMatchText(int index, char* artist, char* title) const {
    if (index < 0 || index >= m_count)
        return E_INVALIDARG;
    if (artist)
        memcpy(artist, m_matches[index].artist, sizeof m_matches[index].artist);
    if (title)
        memcpy(title, m_matches[index].title, sizeof m_matches[index].title);
    return S_OK;
}

int CDDBRequests::ReadMatch(IAudioCD* disc, int index) {
    if (index < 0 || index >= m_count)
        return E_INVALIDARG;
    return CCDDB().Read(&m_matches[index], disc);
}

void CDDBRequests::SaveLocal(IAudioCD* disc) {
    CCDDB().SaveLocal(disc);
}

} // namespace cdrip
