// Diagnostic trace lines, one channel per subsystem, for bug reports from users' machines.
//
// TRELVOX_TRACE names the channels to switch on ("cd,scsi", or "all"); the lines go through
// OutputDebugStringA (Wine shows them with WINEDEBUG=+debugstr) or, when TRELVOX_TRACE_FILE
// names a file, are appended to that file. Both variables are read once per process, at the
// first trace point reached. With tracing off a trace point costs one load and one test:
// the arguments are not evaluated.
#pragma once

#include <stdint.h>

namespace trelvox {

enum class TraceChannel : uint32_t { conv, wave, mp3, wm, dshow, cd, scsi, cddb, tags, ui, count };

// Bit 31 marks the mask as read from the environment.
extern volatile uint32_t g_traceMask;
constexpr uint32_t kTraceMaskRead = 0x80000000u;

uint32_t ReadTraceSettings();

// The channel bits named by a comma-separated list ("all" names every channel; unknown names
// are ignored).
uint32_t ParseTraceChannels(const char* list);

inline bool TraceEnabled(TraceChannel channel) {
    uint32_t mask = g_traceMask;
    if (!(mask & kTraceMaskRead))
        mask = ReadTraceSettings();
    return (mask >> static_cast<uint32_t>(channel)) & 1u;
}

// Formats one line ("trelvox:cd: ..." plus a newline) and writes it out.
void TraceWrite(TraceChannel channel, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Re-reads the environment at the next trace point (tests switch channels with it).
void ResetTraceSettings();

} // namespace trelvox

#define TX_TRACE(channel, ...)                                                                               \
    do {                                                                                                     \
        if (::trelvox::TraceEnabled(::trelvox::TraceChannel::channel))                                       \
            ::trelvox::TraceWrite(::trelvox::TraceChannel::channel, __VA_ARGS__);                            \
    } while (0)
