#pragma once

#include "TrelvoxConvert.h"

// The error log every source and destination reports through. Lines go to the caller's
// callback as they are made; nothing is stored.
class CDefErrLog {
public:
    void SetCallback(IConvertCallback* cb) { m_callback = cb; }
    IConvertCallback* Callback() const { return m_callback; }

    // Formats with the wvsprintf rules into at most 1024 bytes (the text is cut so that
    // "\n" and the terminator fit), appends "\n" and reports it with kind "e".
    void SetError(const char* format, ...) const;
    // The same with kind "i": hints and help links after an error, and warnings.
    void SetInfo(const char* format, ...) const;

private:
    void Report(const char* kind, const char* format, va_list args) const;

    IConvertCallback* m_callback = nullptr; // not owned
};
