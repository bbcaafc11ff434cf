#include "TempFile.h"

#include "Trelvox.h"

#include <fcntl.h>
#include <io.h>

namespace {

// The "w+b" stream over the file GetTempFileName has just made, opened without truncating it.
// fopen would truncate the empty file, and on some Linux file systems under Wine (ext4's
// replace-by-truncate heuristic) that makes the last close write out and allocate all the
// data of a file that is about to be deleted: 60 ms per 100 MB, twice. Shared like fopen's
// files: a reader may open the file by name while it is written (the DirectShow source does).
FILE* OpenEmpty(const char* path) {
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, "w+b");
    if (!file)
        _close(fd);
    return file;
}

} // namespace

bool TempFile::Create(const char* prefix) {
    char dir[MAX_PATH] = {};
    TXTempPath(dir);
    return CreateIn(dir, prefix);
}

bool TempFile::CreateIn(const char* dir, const char* prefix) {
    Reset();
    // GetTempFileName creates the (empty) file, so that the name stays ours.
    if (!GetTempFileNameA(dir, prefix, 0, m_path)) {
        m_path[0] = '\0';
        return false;
    }
    m_file.reset(OpenEmpty(m_path));
    if (!m_file) {
        DeleteFileA(m_path);
        m_path[0] = '\0';
        return false;
    }
    return true;
}

HANDLE TempFile::Handle() const {
    return m_file ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(m_file.get()))) : INVALID_HANDLE_VALUE;
}

bool TempFile::Close() {
    FILE* file = m_file.release();
    return !file || fclose(file) == 0;
}

void TempFile::Reset() {
    m_file.reset();
    if (m_path[0]) {
        DeleteFileA(m_path);
        m_path[0] = '\0';
    }
}
