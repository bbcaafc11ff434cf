#pragma once

#include "Handles.h"

// A temporary file, by default in the library's temporary directory (TXTempPath), named by
// the Windows GetTempFileName with a three-letter prefix ("ana", "wpp", ...) and opened "w+b".
// The owner closes and deletes it, whatever happened in between, unless it keeps it.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() { Reset(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates and opens a new file; false (and nothing left on disk) when either step fails.
    // A file created before is deleted first.
    bool Create(const char* prefix);
    // The same in the directory dir, for a file that is later renamed into that directory.
    bool CreateIn(const char* dir, const char* prefix);
    // Closes the stream and deletes the file.
    void Reset();
    // Closes the stream but keeps the file, still to be deleted by this object. False when
    // what the stream still buffered could not be written.
    bool Close();
    // Gives the file up after it was renamed away: it is no longer deleted here.
    void Keep() { m_path[0] = '\0'; }

    bool IsOpen() const { return m_file != nullptr; }
    // The open stream, owned by this object; null when none is open.
    FILE* get() const { return m_file.get(); }
    // The stream's Windows file handle, for callers that need each write's error code. They
    // use either the stream or the handle, never both.
    HANDLE Handle() const;
    const char* Path() const { return m_path; }

private:
    char m_path[MAX_PATH] = {};
    trelvox::UniqueFile m_file;
};
