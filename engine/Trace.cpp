#include "Trace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace trelvox {

volatile uint32_t g_traceMask = 0;

namespace {

const char* const kChannelNames[] = {"conv", "wave", "mp3",  "wm",   "dshow",
                                     "cd",   "scsi", "cddb", "tags", "ui"};
static_assert(sizeof(kChannelNames) / sizeof(kChannelNames[0]) == static_cast<size_t>(TraceChannel::count),
              "one name per channel");

// The trace file's name; empty when lines go to the debugger. Written before the mask is
// published, read only after.
char g_traceFile[MAX_PATH];
// Appends from several threads go through the same open-append-close, so that each line
// lands whole.
CRITICAL_SECTION g_fileLock;
volatile LONG g_fileLockReady = 0;

void InitFileLock() {
    // 0 = not made, 1 = being made, 2 = ready.
    if (InterlockedCompareExchange(&g_fileLockReady, 1, 0) == 0) {
        InitializeCriticalSection(&g_fileLock);
        InterlockedExchange(&g_fileLockReady, 2);
    }
    while (g_fileLockReady != 2)
        Sleep(0);
}

} // namespace

uint32_t ParseTraceChannels(const char* list) {
    uint32_t mask = 0;
    const char* p = list;
    while (p && *p) {
        const char* end = strchr(p, ',');
        size_t len = end ? static_cast<size_t>(end - p) : strlen(p);
        if (len == 3 && _strnicmp(p, "all", 3) == 0)
            mask |= (1u << static_cast<uint32_t>(TraceChannel::count)) - 1;
        for (uint32_t i = 0; i < static_cast<uint32_t>(TraceChannel::count); ++i) {
            if (strlen(kChannelNames[i]) == len && _strnicmp(p, kChannelNames[i], len) == 0)
                mask |= 1u << i;
        }
        p = end ? end + 1 : nullptr;
    }
    return mask;
}

uint32_t ReadTraceSettings() {
    char list[256] = {};
    DWORD got = GetEnvironmentVariableA("TRELVOX_TRACE", list, sizeof(list));
    uint32_t mask = got > 0 && got < sizeof(list) ? ParseTraceChannels(list) : 0;
    got = GetEnvironmentVariableA("TRELVOX_TRACE_FILE", g_traceFile, sizeof(g_traceFile));
    if (got == 0 || got >= sizeof(g_traceFile))
        g_traceFile[0] = '\0';
    mask |= kTraceMaskRead;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_traceMask), static_cast<LONG>(mask));
    return mask;
}

void ResetTraceSettings() {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_traceMask), 0);
}

void TraceWrite(TraceChannel channel, const char* format, ...) {
    char line[1024];
    int prefix = snprintf(line, sizeof(line), "trelvox:%s: ", kChannelNames[static_cast<uint32_t>(channel)]);
    va_list args;
    va_start(args, format);
    vsnprintf(line + prefix, sizeof(line) - prefix - 1, format, args);
    va_end(args);
    // msvcrt's vsnprintf leaves a cut line unterminated.
    line[sizeof(line) - 2] = '\0';
    size_t len = strlen(line);
    line[len] = '\n';
    line[len + 1] = '\0';
    if (!g_traceFile[0]) {
        OutputDebugStringA(line);
        return;
    }
    InitFileLock();
    EnterCriticalSection(&g_fileLock);
    HANDLE file = CreateFileA(g_traceFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(len + 1), &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&g_fileLock);
}

} // namespace trelvox
