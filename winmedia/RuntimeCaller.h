// Calls into the Windows Media runtime and DirectShow that may never return. Under Wine both
// decode through GStreamer, whose parsers can loop for ever on a damaged file (reading at its
// end again and again) or wait for an event that never comes, and then Open, Connect, Stop or
// GetNextSample do not return. The sources make those calls on a thread of a RuntimeCaller and
// wait only as long as the decoder makes progress.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <utility>

namespace trelvox {

// How long a decoder may go without making progress before the source gives up, in
// milliseconds: 30 seconds, or the value of the environment variable TRELVOX_STALL_MS (at least
// 100), which lets the checks use a short limit. The limit counts idle time, not total time: a
// long file that decodes slowly but steadily never reaches it. 30 seconds is far above any pause
// of a working decoder, even on a busy machine, yet short enough for a user to wait for.
DWORD StallLimitMs();
// The limit in whole seconds, rounded up, for messages.
DWORD StallLimitSeconds();

// When a decoder last made progress. Touched from any thread (the caller, the runtime's
// streaming and reading threads); shared with the filters that report progress, which may
// outlive the source that made them.
class ProgressClock {
public:
    ProgressClock() { Touch(); }
    void Touch() { m_last.store(GetTickCount()); }
    DWORD IdleMs() const { return GetTickCount() - m_last.load(); }

private:
    std::atomic<DWORD> m_last{0};
};

// The reads of one decoder's input, for the filters and streams that serve them: a read that
// reaches further into the file than any read before counts as progress on the clock, and once
// cancelled, reads are to be refused. Any thread.
class ReadWatch {
public:
    explicit ReadWatch(std::shared_ptr<ProgressClock> clock) : m_clock(std::move(clock)) {}

    // A read ended at byte end of the input.
    void Reached(LONGLONG end) {
        LONGLONG known = m_highWater.load();
        while (end > known) {
            if (m_highWater.compare_exchange_weak(known, end)) {
                m_clock->Touch();
                return;
            }
        }
    }
    void Cancel() { m_cancelled.store(true); }
    bool Cancelled() const { return m_cancelled.load(); }

private:
    std::shared_ptr<ProgressClock> m_clock;
    std::atomic<LONGLONG> m_highWater{0}; // bytes
    std::atomic<bool> m_cancelled{false};
};

// Something that can make a stalled runtime call give up, from another thread.
class StallCancel {
public:
    virtual void CancelStalled() = 0;

protected:
    ~StallCancel() = default;
};

// One thread that makes runtime calls for one source, one call at a time. A call that stalls is
// cancelled when the caller knows how, and abandoned when it still does not return: the thread
// is then left to finish it whenever it does (possibly never), with the references the call
// holds, and a new thread serves the next call. An abandoned thread keeps this module loaded
// until it ends, because it runs the module's code and may still call into its filters.
class RuntimeCaller {
public:
    enum class End {
        Returned,  // the call returned; *result is its result
        Cancelled, // it stalled, was cancelled and then returned; *result is its result
        Abandoned, // it stalled and did not return after cancelling; *result is E_ABORT
    };

    // What the caller and its thread share; defined with the thread.
    struct Channel;

    RuntimeCaller() = default;
    // Ends the thread and waits until it is gone (at most StallLimitMs()): a thread still on its
    // way out when the process ends can crash Wine's teardown. An abandoned thread is not waited
    // for.
    ~RuntimeCaller();
    RuntimeCaller(const RuntimeCaller&) = delete;
    RuntimeCaller& operator=(const RuntimeCaller&) = delete;

    // Runs call (HRESULT()) on the thread (COM initialised multithreaded there) and waits while
    // clock shows progress: clock is touched when the call starts, and the call is given up once
    // clock.IdleMs() reaches StallLimitMs(). Then cancel (if given) is asked on this thread and
    // the call has min(limit, 5 s) more to return. Whatever call captures is released on the
    // thread when it returns. When no thread can be started the call runs on this thread.
    template <class Call>
    End Run(Call&& call, HRESULT* result, ProgressClock& clock, StallCancel* cancel = nullptr) {
        std::function<HRESULT()> function;
        try {
            function = std::forward<Call>(call);
        } catch (const std::bad_alloc&) {
            *result = E_OUTOFMEMORY;
            return End::Returned;
        }
        return RunFunction(std::move(function), result, clock, cancel);
    }

    // True once a call was abandoned: the objects it used must not be called again, only
    // released.
    bool Abandoned() const { return m_abandoned; }
    // Forgets an abandoned call, once its objects are no longer used: calls are made again, on
    // a new thread.
    void StartOver() { m_abandoned = false; }

private:
    End RunFunction(std::function<HRESULT()> call, HRESULT* result, ProgressClock& clock,
                    StallCancel* cancel);
    bool Start();
    // Tells the thread to end after its current call.
    void Quit();
    void Abandon();

    std::shared_ptr<Channel> m_channel;
    UniqueHandleOf<HANDLE, KernelHandleCloser> m_thread; // the thread serving m_channel
    bool m_abandoned = false;
};

} // namespace trelvox
