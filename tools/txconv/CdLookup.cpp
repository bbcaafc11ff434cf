#include "CdLookup.h"

#include "ScopedSetting.h"

#include "Handles.h"

#include "Trelvox.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>

namespace txconv {

namespace {

constexpr const char* kSection = "AudioCD";

// The disc's thread reports through this; the thread's release of it is the end.
class ConsoleCddbCallback : public cdrip::ICDDBCallback {
public:
    ConsoleCddbCallback(Console& console, const CddbOptions& options)
        : m_console(console), m_options(options), m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ConsoleCddbCallback(const ConsoleCddbCallback&) = delete;
    ConsoleCddbCallback& operator=(const ConsoleCddbCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = IsEqualIID(riid, IID_IUnknown) ? this : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    // Lives on the caller's stack; only the thread's reference comes and goes.
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 1 && m_done)
            SetEvent(m_done.get());
        return left;
    }
    HRESULT TX_THISCALL Reserved() override { return E_NOTIMPL; }
    HRESULT TX_THISCALL SetStatus(const char* text) override {
        const std::string status = text ? text : "";
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_last = status;
        }
        if (status == "REVISION") {
            // The server already holds an entry of this disc: the submission makes a new
            // revision of it. Without a console to ask, --cddb-submit stands as the answer.
            const bool go = !m_console.Interactive() ||
                            m_console.Ask("CDDB already has an entry for this disc; submit a new revision?");
            return go ? S_OK : E_ABORT;
        }
        if (!status.empty())
            m_console.Report("info", "", "CDDB: " + status);
        return S_OK;
    }
    HRESULT TX_THISCALL ChooseMatch(int count, const cdrip::CDDBMatch* matches, int* chosen) override {
        for (int i = 0; i < count; ++i) {
            const cdrip::CDDBMatch& m = matches[i];
            char line[400];
            snprintf(line, sizeof line, "%2d. %s %s %s / %s%s", i + 1, m.category, m.discId, m.artist,
                     m.title,
                     m.localKey ? " (local cache)"
                     : m.flag   ? ""
                                : " (inexact)");
            m_console.Result(line);
        }
        int pick = m_options.match;
        if (pick == 0 && m_console.Interactive()) {
            const std::string answer = m_console.AskLine("Which match (1-" + std::to_string(count) + ")?");
            pick = atoi(answer.c_str());
        }
        if (pick < 1 || pick > count) {
            m_console.Report("info", "",
                             pick == 0 ? "several CDDB matches: pick one with --cddb-match N"
                                       : "--cddb-match " + std::to_string(pick) + ": there are " +
                                             std::to_string(count) + " matches");
            return E_ABORT;
        }
        *chosen = pick - 1;
        return S_OK;
    }

    bool CanWait() const { return bool(m_done); }
    // Waits for the thread's end and returns its last status text. The wait has no limit of
    // its own: the thread's requests time out, and the thread may be waiting for the user's
    // choice; this object must outlive the thread's reference anyway.
    std::string Wait() {
        WaitForSingleObject(m_done.get(), INFINITE);
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }

private:
    Console& m_console;
    const CddbOptions& m_options;
    trelvox::UniqueEvent m_done;
    std::atomic<ULONG> m_refs{1};
    std::mutex m_mutex;
    std::string m_last;
};

// Runs one of the disc's CDDB threads to its end; false (reported) when it could not start. last receives its
// last status text.
bool RunThread(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options, bool submit,
               std::string* last) {
    ScopedText server(kSection, "CDDB_Server", options.server);
    ScopedText script(kSection, "CDDB_CGI", options.script);
    ConsoleCddbCallback callback(console, options);
    const HRESULT started = !callback.CanWait() ? E_OUTOFMEMORY
                            : submit            ? disc->StartSubmit(&callback)
                                                : disc->StartLookup(&callback);
    if (FAILED(started)) {
        char text[64];
        snprintf(text, sizeof text, "the CDDB request cannot start (%08lX)",
                 static_cast<unsigned long>(started));
        console.Report("error", "", text);
        return false;
    }
    *last = callback.Wait();
    return true;
}

} // namespace

LookupResult LookUpDisc(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options) {
    std::string last;
    if (!RunThread(console, disc, options, false, &last))
        return LookupResult::Untitled;
    // A choice that was not made ends the thread on an empty status.
    return last == "Retrieving CD information..." ? LookupResult::Titled
           : last.empty()                         ? LookupResult::Stopped
                                                  : LookupResult::Untitled;
}

bool ApplyEdits(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options) {
    if (!options.title.empty())
        disc->SetTitle(options.title.c_str());
    if (!options.artist.empty())
        disc->SetArtist(options.artist.c_str());
    for (const auto& [number, title] : options.trackTitles) {
        if (!disc->SetTrackTitle(number - 1, title.c_str())) {
            console.Report("error", "",
                           "--track-title " + std::to_string(number) + ": the disc has no such track");
            return false;
        }
    }
    return true;
}

bool SubmitDisc(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options) {
    ScopedText address(kSection, "CDDB_EMailAddress", options.email);
    char email[1024] = {};
    if (!GetProfileStringA(kSection, "CDDB_EMailAddress", email) || !email[0]) {
        console.Report("error", "",
                       "CDDB submissions need the submitter's e-mail address: --cddb-email ADDRESS");
        return false;
    }
    std::string last;
    if (!RunThread(console, disc, options, true, &last))
        return false;
    if (last == "REVISION")
        console.Report("info", "", "nothing submitted");
    return last == "Submission succeeded";
}

} // namespace txconv
