#include "LibraryEntry.h"
#include "SettingsStore.h"
#include "Trelvox.h"

#include <atomic>

namespace {
std::atomic<bool> g_initialised{false};
}

extern "C" int32_t __cdecl InitTX(const char*) {
    // Once per process; the text argument is not used.
    if (g_initialised.exchange(true))
        return 0;
    trelvox::OpenSettingsRoot();
    trelvox::LoadReferrer();
    return 0;
}
