#include "RuntimeCaller.h"

#include <objbase.h>

#include <stdlib.h>

#include <mutex>
#include <new>

namespace trelvox {

namespace {

constexpr DWORD kDefaultStallMs = 30000;
constexpr DWORD kLeastStallMs = 100;
// How long a cancelled call may take to unwind; cancelling makes the runtime's reads fail, and
// it gives up within a fraction of a second when it listens at all.
constexpr DWORD kMostCancelMs = 5000;

} // namespace

DWORD StallLimitMs() {
    char text[32];
    const DWORD length = GetEnvironmentVariableA("TRELVOX_STALL_MS", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return kDefaultStallMs;
    char* end = nullptr;
    const unsigned long value = strtoul(text, &end, 10);
    if (end == text || *end != '\0')
        return kDefaultStallMs;
    return value < kLeastStallMs ? kLeastStallMs : static_cast<DWORD>(value);
}

DWORD StallLimitSeconds() {
    return (StallLimitMs() + 999) / 1000;
}

// What the waiting thread and the calling thread share; the last of the two frees it.
struct RuntimeCaller::Channel {
    std::mutex lock;
    std::function<HRESULT()> call; // under lock: the call to make next
    HRESULT result = S_OK;         // under lock: the result of the last call
    bool quit = false;             // under lock: end after the current call
    UniqueEvent request{CreateEventW(nullptr, FALSE, FALSE, nullptr)}; // a call or quit is waiting
    UniqueEvent done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};    // the call has returned
};

namespace {

struct ThreadStart {
    std::shared_ptr<RuntimeCaller::Channel> channel;
    HMODULE module; // one reference to this module, or null
};

DWORD WINAPI CallerThread(void* parameter) {
    HMODULE module = nullptr;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
        module = start->module;
        std::shared_ptr<RuntimeCaller::Channel> channel = std::move(start->channel);
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (;;) {
            WaitForSingleObject(channel->request.get(), INFINITE);
            std::function<HRESULT()> call;
            {
                std::lock_guard<std::mutex> hold(channel->lock);
                if (channel->quit)
                    break;
                call = std::move(channel->call);
            }
            HRESULT result = E_UNEXPECTED;
            try {
                if (call)
                    result = call();
            } catch (...) {
            }
            // The references the call captured go here, on this thread, before the caller
            // hears of the result.
            call = nullptr;
            {
                std::lock_guard<std::mutex> hold(channel->lock);
                channel->result = result;
            }
            SetEvent(channel->done.get());
        }
        if (SUCCEEDED(com))
            CoUninitialize();
    }
    if (module)
        FreeLibraryAndExitThread(module, 0);
    return 0;
}

} // namespace

RuntimeCaller::~RuntimeCaller() {
    if (!m_channel)
        return;
    Quit();
    WaitForSingleObject(m_thread.get(), StallLimitMs());
}

void RuntimeCaller::Quit() {
    {
        std::lock_guard<std::mutex> hold(m_channel->lock);
        m_channel->quit = true;
    }
    SetEvent(m_channel->request.get());
}

bool RuntimeCaller::Start() {
    std::shared_ptr<Channel> channel(new (std::nothrow) Channel());
    if (!channel || !channel->request || !channel->done)
        return false;
    std::unique_ptr<ThreadStart> start(new (std::nothrow) ThreadStart{channel, nullptr});
    if (!start)
        return false;
    // The thread holds this module until it ends: an abandoned call may still come back into
    // its code after the caller has let go of everything.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&CallerThread),
                            &start->module))
        start->module = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, CallerThread, start.get(), 0, nullptr);
    if (!thread) {
        if (start->module)
            FreeLibrary(start->module);
        return false;
    }
    start.release();
    m_thread.reset(thread);
    m_channel = std::move(channel);
    return true;
}

void RuntimeCaller::Abandon() {
    Quit();
    m_channel.reset();
    m_thread.reset();
    m_abandoned = true;
}

RuntimeCaller::End RuntimeCaller::RunFunction(std::function<HRESULT()> call, HRESULT* result,
                                              ProgressClock& clock, StallCancel* cancel) {
    if (!m_channel && !Start()) {
        *result = call();
        return End::Returned;
    }
    Channel& channel = *m_channel;
    {
        std::lock_guard<std::mutex> hold(channel.lock);
        channel.call = std::move(call);
    }
    clock.Touch();
    SetEvent(channel.request.get());
    const DWORD limit = StallLimitMs();
    auto returned = [&](DWORD waitMs) {
        if (WaitForSingleObject(channel.done.get(), waitMs) != WAIT_OBJECT_0)
            return false;
        std::lock_guard<std::mutex> hold(channel.lock);
        *result = channel.result;
        return true;
    };
    for (;;) {
        const DWORD idle = clock.IdleMs();
        if (returned(idle >= limit ? 0 : limit - idle))
            return End::Returned;
        if (clock.IdleMs() >= limit)
            break;
    }
    if (cancel) {
        cancel->CancelStalled();
        if (returned(limit < kMostCancelMs ? limit : kMostCancelMs))
            return End::Cancelled;
    }
    Abandon();
    *result = E_ABORT;
    return End::Abandoned;
}

} // namespace trelvox
