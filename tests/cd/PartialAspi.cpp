// An ASPI manager that lacks one of its two required entry points.
#include <stdint.h>

extern "C" {
#ifdef WITH_SUPPORT_INFO
__declspec(dllexport) uint32_t __cdecl GetASPI32SupportInfo() {
    return 0x0101;
}
#endif
#ifdef WITH_SEND_COMMAND
__declspec(dllexport) uint32_t __cdecl SendASPI32Command(void*) {
    return 0x04;
}
#endif
}
