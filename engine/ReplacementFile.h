#pragma once

#include "Handles.h"
#include "TempFile.h"

#include <stddef.h>
#include <stdint.h>

#include <string>

// Rewrites a file all or nothing, for the containers that write tags. The new contents are
// built in a temporary file beside the original (the same directory, hence the same volume),
// flushed to the disk, read back and compared with what was written, and only then renamed
// over the original in one step. Until Commit succeeds the original is not changed at all;
// when any step fails, or the object goes without Commit, the new file is deleted.
//
// Usage: Begin, then Write and CopyOriginal in file order, then Commit. After a failed step
// the others fail too, so a caller may chain them and read Error once.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Opens the original at path and creates the new file beside it. A missing, read-only or
    // locked original (held by another handle that does not share delete access) fails here,
    // before anything is written, since it could not be replaced at the end.
    bool Begin(const char* path);
    // The original's size in bytes, as found by Begin.
    uint64_t OriginalSize() const { return m_originalSize; }
    // Appends size bytes.
    bool Write(const void* data, size_t size);
    // Appends size bytes of the original, from offset on; fails unless all of them are read.
    bool CopyOriginal(uint64_t offset, uint64_t size);
    // Flushes the new file, checks every byte of it and renames it over the original.
    bool Commit();
    // Why the step that failed did: the file, what went wrong and the Windows error code.
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const char* what, DWORD code);

    std::string m_path;
    trelvox::UniqueHandle m_original;
    uint64_t m_originalSize = 0;
    DWORD m_originalAttributes = 0;
    FILETIME m_originalCreated = {};
    TempFile m_new;
    uint64_t m_written = 0;
    uint64_t m_hash = 0;
    std::string m_error;
};
