#pragma once

#include "Handles.h"

// A temporary file in the library's temporary directory (TXTempPath), named by the Windows
// GetTempFileName with a three-letter prefix ("ana", "wpp", ...) and opened "w+b". The owner
// closes and deletes it, whatever happened in between.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() { Reset(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates and opens a new file; false (and nothing left on disk) when either step fails.
    // A file created before is deleted first.
    bool Create(const char* prefix);
    // Closes the stream and deletes the file.
    void Reset();

    bool IsOpen() const { return m_file != nullptr; }
    // The open stream, owned by this object; null when none is open.
    FILE* get() const { return m_file.get(); }
    const char* Path() const { return m_path; }

private:
    char m_path[MAX_PATH] = {};
    trelvox::UniqueFile m_file;
};
