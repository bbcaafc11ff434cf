#include "DefErrLog.h"

#include <stdarg.h>
#include <string.h>

namespace {
constexpr int kMessageSize = 1024;
}

void CDefErrLog::Report(const char* kind, const char* format, va_list args) const {
    if (!m_callback || !format)
        return;
    char text[kMessageSize];
    // wvsprintfA writes at most 1024 bytes with its terminator; leave room for the newline.
    char body[kMessageSize];
    int length = wvsprintfA(body, format, args);
    if (length < 0)
        length = 0;
    if (length > kMessageSize - 2)
        length = kMessageSize - 2;
    memcpy(text, body, static_cast<size_t>(length));
    text[length] = '\n';
    text[length + 1] = '\0';
    m_callback->ReportError(text, kind);
}

void CDefErrLog::SetError(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Report("e", format, args);
    va_end(args);
}

void CDefErrLog::SetInfo(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Report("i", format, args);
    va_end(args);
}
