#include "LibraryEntry.h"
#include "SettingsStore.h"
#include "TXSlider.h"
#include "Trelvox.h"

#include <atomic>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
std::atomic<bool> g_initialised{false};
}

extern "C" int32_t __cdecl InitTX(const char*) {
    // Once per process; the text argument is not used.
    if (g_initialised.exchange(true))
        return 0;
    trelvox::OpenSettingsRoot();
    trelvox::LoadReferrer();
    CTXSlider::Register(reinterpret_cast<HINSTANCE>(&__ImageBase));
    return 0;
}
